// The firmware images built into the program: resource type "BINARY", looked up by name.
// The four chip images are the IC type definitions' default images ("Def Bin"); the
// customer images are named "FFU_" + VID + "_" + PID (hexadecimal, upper case), with a
// trailing "H" or "L" for the two board variants of one product.
#pragma once

#include <span>
#include <string_view>

namespace vantor {

inline constexpr std::string_view kBuiltInImageType = "BINARY";

struct BuiltInImage {
  std::string_view name;
  unsigned resourceId;
};

// Every built-in image, in resource order.
std::span<const BuiltInImage> BuiltInImages();

// The resource number of the image with exactly that name (letter case counts), or 0.
unsigned FindBuiltInImageId(std::string_view name);

}  // namespace vantor
