#include "support/inventory_nodes.h"

#include <algorithm>
#include <vector>

namespace vantor::test {

namespace P = platform;

P::DevInst NodeWithId(std::wstring_view part, std::wstring_view part2) {
  auto inventory = P::GetDeviceInventory();
  std::vector<P::DevInst> nodes;
  for (const P::Guid* setupClass :
       {&P::kGuidClassMedia, &P::kGuidClassImage, &P::kGuidClassCamera, &P::kGuidClassUsb}) {
    std::vector<P::DevInst> found;
    if (inventory->ListClassDevices(*setupClass, L"", found) == 0) {
      nodes.insert(nodes.end(), found.begin(), found.end());
    }
  }
  std::sort(nodes.begin(), nodes.end());
  for (P::DevInst node : nodes) {
    std::wstring id = InstanceIdOf(node);
    if (id.find(part) != std::wstring::npos && id.find(part2) != std::wstring::npos) return node;
  }
  return 0;
}

std::wstring InstanceIdOf(P::DevInst device) {
  std::wstring id;
  if (P::GetDeviceInventory()->GetDeviceInstanceId(device, id) != 0) id.clear();
  return id;
}

std::wstring TextPropertyOf(P::DevInst device, P::DeviceProperty property) {
  std::wstring text;
  if (P::GetDeviceInventory()->GetTextProperty(device, property, text) != 0) text.clear();
  return text;
}

P::DevInst ParentOf(P::DevInst device) {
  P::DevInst parent = 0;
  if (P::GetDeviceInventory()->GetParent(device, parent) != 0) parent = 0;
  return parent;
}

P::DevInst FirstChildOf(P::DevInst device) {
  P::DevInst child = 0;
  if (P::GetDeviceInventory()->GetFirstChild(device, child) != 0) child = 0;
  return child;
}

}  // namespace vantor::test
