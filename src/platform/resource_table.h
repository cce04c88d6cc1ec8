// Layout of the generated table of built-in resources (see cmake/Resources.cmake).
#pragma once

#include <cstddef>

namespace vantor::platform::detail {

struct ResourceRow {
  const char* type;
  unsigned id;
  const unsigned char* data;
  const std::size_t* size;
};

// Ends with a row whose type is null.
extern const ResourceRow kResourceRows[];

}  // namespace vantor::platform::detail
