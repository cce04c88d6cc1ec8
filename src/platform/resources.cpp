#include "platform/resources.h"

#include "platform/resource_table.h"

namespace vantor::platform {

std::span<const std::uint8_t> FindResource(std::string_view type, unsigned id) {
  for (const detail::ResourceRow* row = detail::kResourceRows; row->type != nullptr; ++row) {
    if (row->id == id && type == row->type) {
      return {reinterpret_cast<const std::uint8_t*>(row->data), *row->size};
    }
  }
  return {};
}

std::string ResourceText(std::string_view type, unsigned id) {
  auto bytes = FindResource(type, id);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace vantor::platform
