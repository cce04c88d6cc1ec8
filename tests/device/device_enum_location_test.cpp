// Recognising a device at the same place of the bus: by ancestors and address, by
// location path (interface part ignored, both root-hub forms), by the companion port of
// a USB 3 root hub; and which parents end the walk up and what USB generation they mean.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <utility>

#include "device/device_enum.h"

namespace vantor {
namespace {

struct Case {
  const wchar_t* a;
  const wchar_t* b;
  bool same;
};

class SameLocation : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLocationPathsInUse(true);
    SetCompanionPort(0, 0);
    for (CamDevRecord* r : {&a, &b}) {
      r->ancestorCount = 3;
      r->ancestors[0] = 40;
      r->ancestors[1] = 7;
    }
  }
  void TearDown() override {
    SetLocationPathsInUse(true);
    SetCompanionPort(0, 0);
  }
  // The reset argument and kind never change the answer.
  bool Same(bool compareAncestors = false) {
    const bool answer = IsSameLocation(a, b, 0, 7, compareAncestors);
    for (std::uint32_t kind : {8u, 9u, 10u}) {
      EXPECT_EQ(IsSameLocation(a, b, 2, kind, compareAncestors), answer);
    }
    return answer;
  }

  // Each pair of location paths, in both orders.
  template <std::size_t N>
  void CheckBothWays(const Case (&cases)[N]) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << std::string(c.a, c.a + std::wcslen(c.a)) << " / "
                                      << std::string(c.b, c.b + std::wcslen(c.b)));
      a.locationPath = c.a;
      b.locationPath = c.b;
      EXPECT_EQ(Same(), c.same);
      std::swap(a.locationPath, b.locationPath);
      EXPECT_EQ(Same(), c.same);
    }
  }

  CamDevRecord a;
  CamDevRecord b;
};

TEST_F(SameLocation, AncestorCountsMustAgree) {
  a.locationPath = b.locationPath = L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)";
  EXPECT_TRUE(Same());
  b.ancestorCount = 2;
  EXPECT_FALSE(Same());
  EXPECT_FALSE(Same(true));
}

TEST_F(SameLocation, AncestorsAndAddressWhenAskedOrWithoutLocationPaths) {
  // Different paths do not matter when ancestors are compared.
  a.locationPath = L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)";
  b.locationPath = L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(5)";
  for (bool pathsInUse : {true, false}) {
    SCOPED_TRACE(pathsInUse);
    SetLocationPathsInUse(pathsInUse);
    a.address = b.address = 0;
    const bool compare = pathsInUse;  // with paths in use, only when asked
    EXPECT_TRUE(Same(compare));
    a.address = 3;
    EXPECT_FALSE(Same(compare));
    b.address = 3;
    EXPECT_TRUE(Same(compare));
    b.ancestors[1] = 8;
    EXPECT_FALSE(Same(compare));
    b.ancestors[1] = 7;
    // Slots beyond the stored ancestors are not compared.
    b.ancestors[2] = 99;
    EXPECT_TRUE(Same(compare));
    b.ancestors[2] = 0;
  }
  SetLocationPathsInUse(true);
  EXPECT_FALSE(Same(false));  // the paths differ
}

TEST_F(SameLocation, LocationPaths) {
  SetCompanionPort(0, 0);
  const Case cases[] = {
      // Two interfaces of one device.
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USBMI(0)",
       L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USBMI(2)", true},
      // An interface and its composite device: the cut needs both.
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USBMI(0)",
       L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)", false},
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)", L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)", false},
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)", L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)", true},
      // Only the part from the root hub on counts.
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)", L"PCIROOT(0)#PCI(0801)#USBROOT(0)#USB(2)", true},
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(3)",
       L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(4)", false},
      // Root hubs named by ACPI: from "RHUB" on.
      {L"ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS02)",
       L"ACPI(_SB_)#ACPI(PC00)#ACPI(XHCI)#ACPI(RHUB)#ACPI(HS02)", true},
      {L"ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS02)",
       L"ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS03)", false},
      // One of each form.
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)",
       L"ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS02)", false},
      {L"", L"", true},
  };
  CheckBothWays(cases);
}

TEST_F(SameLocation, CompanionPortOfAUsb3RootHub) {
  a.locationPath = L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)";
  b.locationPath = L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(17)";
  EXPECT_FALSE(Same());  // no companion port known
  SetCompanionPort(3, 17);
  EXPECT_EQ(CompanionPort(), 17u);
  EXPECT_TRUE(Same());
  std::swap(a.locationPath, b.locationPath);
  EXPECT_TRUE(Same());
  SetCompanionPort(17, 3);
  EXPECT_TRUE(Same());

  SetCompanionPort(3, 17);
  const Case cases[] = {
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)#USBMI(0)",
       L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(17)#USBMI(2)", true},
      // Port 17 is the companion of port 3, not of port 5.
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(5)", L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(17)",
       false},
      // Different below the root port.
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)#USB(1)",
       L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(17)#USB(2)", false},
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)#USB(1)",
       L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(17)#USB(1)", true},
      // Another root hub.
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)", L"PCIROOT(0)#PCI(1400)#USBROOT(1)#USB(17)",
       false},
      // Not a port number.
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)", L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(17", false},
      {L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB()", L"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(17)", false},
  };
  CheckBothWays(cases);
}

TEST(ParentWalk, GenerationAndEndOfTheWalk) {
  struct Case {
    const wchar_t* id;
    std::uint32_t generation;
    bool ends;
  };
  const Case cases[] = {
      {L"USB\\ROOT_HUB30\\4&1B5E1D2A&0&0", 3, true},
      {L"USB\\ROOT_HUB20\\4&2E1A2C3&0", 2, true},
      {L"USB\\ROOT_HUB\\4&1&0", 1, true},
      {L"TIUSBD\\TIUSBD_HUB\\5&1", 3, true},
      {L"USB\\ROOT_HUB_FL30\\4&2", 3, true},
      {L"USB\\VIA_ROOT_HUB\\4&3", 3, true},
      {L"ASMEDIA\\ASMEDIAUSBD_HUB\\4&4", 3, true},
      {L"IWSEPAL\\VRHUB\\1", 2, true},
      {L"VMUSB\\HUB\\1", 1, true},
      {L"USB\\VID_05E3&PID_0610\\5&1&0&3", 1, false},
      {L"USB\\VID_3A4B&PID_0310\\0310000001", 1, false},
      {L"usb\\root_hub30\\4&1", 1, false},  // compared with letter case
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.id, c.id + std::wcslen(c.id)));
    EXPECT_EQ(UsbGenerationOfParent(c.id), c.generation);
    EXPECT_EQ(EndsParentWalk(c.id), c.ends);
  }
}

}  // namespace
}  // namespace vantor
