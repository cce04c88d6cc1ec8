// A front-end window for tests: records what the flows post and keeps a device list.
// Registered for its lifetime.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flows/flow_window.h"

namespace vantor::test {

struct PostedMessage {
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  bool operator==(const PostedMessage&) const = default;
};

class TestFlowWindow : public CFlowWindow {
 public:
  TestFlowWindow() { RegisterFlowWindow(this); }
  ~TestFlowWindow() override { RegisterFlowWindow(nullptr); }

  void PostFlowWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) override {
    posted.push_back({message, wParam, lParam});
  }
  void ClearDeviceList() override {
    entries.clear();
    selected = -1;
  }
  int AppendDeviceEntry(const std::wstring& text) override {
    entries.push_back(text);
    return static_cast<int>(entries.size()) - 1;
  }
  bool SelectDeviceEntry(int position) override {
    if (position < 0 || position >= static_cast<int>(entries.size())) return false;
    selected = position;
    return true;
  }
  std::wstring DeviceEntryText(int position) const override {
    if (position < 0 || position >= static_cast<int>(entries.size())) return {};
    return entries[position];
  }

  // The messages of one number, in order.
  std::vector<std::uintptr_t> Params(std::uint32_t message) const {
    std::vector<std::uintptr_t> out;
    for (const PostedMessage& m : posted) {
      if (m.message == message) out.push_back(m.wParam);
    }
    return out;
  }

  std::vector<PostedMessage> posted;
  std::vector<std::wstring> entries;
  int selected = -1;
};

}  // namespace vantor::test
