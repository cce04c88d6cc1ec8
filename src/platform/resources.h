// Built-in resources: texts and images carried inside the program, identified by a
// resource type ("ICINI", "BINARY") and a number.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vantor::platform {

// The bytes of a built-in resource; empty when there is none of that type and number.
std::span<const std::uint8_t> FindResource(std::string_view type, unsigned id);

// The same bytes as single-byte text.
std::string ResourceText(std::string_view type, unsigned id);

}  // namespace vantor::platform
