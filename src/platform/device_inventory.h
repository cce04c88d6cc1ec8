// The device-inventory seam: the attached devices as the platform's device installation
// and configuration manager presents them. Devices are nodes of one tree (device
// instances with Windows-shaped instance IDs such as USB\VID_3A4B&PID_0310&MI_00\...),
// listed by setup class or by device-interface class, with their registry properties,
// node status, parents, and the facts a USB hub reports about its ports. A device's
// interface is opened by its path; the handle is what the proxy driver's attach record
// carries.
//
// Backends: SetupDi / CM_* / hub I/O controls on Windows, libusb + sysfs on Linux, the
// simulated topology of sim/. Results are platform error codes: 0 success,
// kErrorNoMoreItems when a list is exhausted, kErrorNotFound for a missing node,
// kErrorInvalidData for a property the device does not have, kErrorInsufficientBuffer
// (with the needed size) for a short buffer, kErrorFileNotFound for an interface path
// that names nothing, kErrorSharingViolation for an interface already open, and
// kErrorDeviceNotConnected for a device that has gone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::platform {

// A GUID in its usual text order {d1-d2-d3-d4[0..1]-d4[2..7]}.
struct Guid {
  std::uint32_t d1 = 0;
  std::uint16_t d2 = 0;
  std::uint16_t d3 = 0;
  std::uint8_t d4[8] = {};

  friend bool operator==(const Guid&, const Guid&) = default;
  // The 16 bytes as the platform stores a GUID in memory and USB descriptors carry it
  // (d1, d2, d3 little-endian, then d4).
  void ToBytes(std::uint8_t out[16]) const;
  static Guid FromBytes(const std::uint8_t in[16]);
  // "{6994ad04-93ef-11d0-a3cc-00a0c9223196}" (lower case, with braces).
  std::wstring ToText() const;
};

// Setup classes.
inline constexpr Guid kGuidClassMedia{
    0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr Guid kGuidClassImage{
    0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
inline constexpr Guid kGuidClassCamera{
    0xCA3E7AB9, 0xB4C3, 0x4AE6, {0x82, 0x51, 0x57, 0x9E, 0xF9, 0x33, 0x89, 0x0F}};
inline constexpr Guid kGuidClassUsb{
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr Guid kGuidClassSystem{
    0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Device-interface classes.
inline constexpr Guid kGuidDevInterfaceUsbDevice{
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
inline constexpr Guid kGuidDevInterfaceUsbHub{
    0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};
inline constexpr Guid kGuidKsCategoryAudio{
    0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr Guid kGuidKsCategoryVideo{
    0x6994AD05, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr Guid kGuidKsCategoryVideoCamera{
    0x24E552D7, 0x6523, 0x47F7, {0xA6, 0x47, 0xD3, 0x46, 0x5B, 0xF1, 0xF5, 0xCA}};

// Error codes of this seam beyond those of last_error.h.
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorInvalidData = 13;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorNotFound = 1168;

// Configuration-manager device instance handle (0 = none).
using DevInst = std::uint32_t;
// An opened device interface (a file handle on Windows; 0 = none).
using InterfaceHandle = std::uint32_t;

// Node status bits.
inline constexpr std::uint32_t kDnDriverLoaded = 0x00000002;
inline constexpr std::uint32_t kDnStarted = 0x00000008;
inline constexpr std::uint32_t kDnHasProblem = 0x00000400;

// Registry properties of a device instance.
enum class DeviceProperty {
  kFriendlyName,   // text
  kDeviceDesc,     // text
  kClass,          // text: "Media", "Image", "Camera", "USB", ...
  kLocationPaths,  // list of texts, e.g. PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USBMI(0)
  kAddress,        // number: a USB device's port on its hub, an interface's number
  kPdoName,        // text: the physical device object's name, e.g. \Device\USBPDO-7
  kDriver,         // text: the driver key, e.g. {4d36e96c-e325-11ce-bfc1-08002be10318}\0003
};

// Value types of GetPropertyData.
inline constexpr std::uint32_t kPropertyTypeText = 1;      // REG_SZ
inline constexpr std::uint32_t kPropertyTypeNumber = 4;    // REG_DWORD
inline constexpr std::uint32_t kPropertyTypeTextList = 7;  // REG_MULTI_SZ

struct DeviceInterfaceEntry {
  DevInst device = 0;
  std::wstring path;
};

// What a hub reports about one of its ports.
struct HubPortConnection {
  bool connected = false;
  bool isHub = false;
  std::uint8_t speed = 0;  // 0 low, 1 full, 2 high, 3 super
  std::uint16_t deviceAddress = 0;
  std::uint8_t deviceDescriptor[18] = {};
  std::wstring driverKey;  // the connected device's driver key (kDriver)
};

class DeviceInventory {
 public:
  virtual ~DeviceInventory() = default;

  // Present devices of a setup class whose enumerator is `enumerator` ("USB"; empty:
  // any), in enumeration order.
  virtual std::uint32_t ListClassDevices(const Guid& setupClass, std::wstring_view enumerator,
                                         std::vector<DevInst>& out) = 0;
  // Present device interfaces of an interface class, in enumeration order; with
  // `onlyDevice` non-zero, only that device's interfaces.
  virtual std::uint32_t ListDeviceInterfaces(const Guid& interfaceClass, DevInst onlyDevice,
                                             std::vector<DeviceInterfaceEntry>& out) = 0;

  // Configuration-manager tree.
  virtual std::uint32_t GetDeviceInstanceId(DevInst device, std::wstring& id) = 0;
  virtual std::uint32_t LocateDeviceInstance(std::wstring_view instanceId, DevInst& out) = 0;
  virtual std::uint32_t GetRoot(DevInst& out) = 0;
  virtual std::uint32_t GetParent(DevInst device, DevInst& parent) = 0;
  virtual std::uint32_t GetFirstChild(DevInst device, DevInst& child) = 0;
  virtual std::uint32_t GetNextSibling(DevInst device, DevInst& sibling) = 0;
  // Node status bits (kDn...) and the problem number (0 without a problem).
  virtual std::uint32_t GetNodeStatus(DevInst device, std::uint32_t& status,
                                      std::uint32_t& problem) = 0;

  // A property in the registry's shape: texts as wide characters with their terminating
  // zero (a list ends with a second zero), numbers as 4 bytes; sizes in bytes. With
  // a null or short buffer: kErrorInsufficientBuffer and *requiredSize set.
  virtual std::uint32_t GetPropertyData(DevInst device, DeviceProperty property,
                                        std::uint32_t* type, void* buffer, std::uint32_t size,
                                        std::uint32_t* requiredSize) = 0;

  // Opens a device interface exclusively for reading and writing.
  virtual std::uint32_t OpenDeviceInterface(std::wstring_view path, InterfaceHandle& out) = 0;
  virtual std::uint32_t CloseDeviceInterface(InterfaceHandle handle) = 0;

  // Hubs, named by the path of their hub interface (kGuidDevInterfaceUsbHub).
  virtual std::uint32_t GetHubPortCount(std::wstring_view hubPath, std::uint32_t& ports) = 0;
  virtual std::uint32_t GetHubPortConnection(std::wstring_view hubPath, std::uint32_t port,
                                             HubPortConnection& out) = 0;
  // The port's companion on the other USB generation of the same root hub (0: none).
  virtual std::uint32_t GetHubPortCompanion(std::wstring_view hubPath, std::uint32_t port,
                                            std::uint32_t& companionPort) = 0;
  // A string descriptor of the device on that port, as the device sends it.
  virtual std::uint32_t GetHubPortStringDescriptor(std::wstring_view hubPath, std::uint32_t port,
                                                   std::uint8_t index, std::uint16_t language,
                                                   std::vector<std::uint8_t>& descriptor) = 0;

  // Typed forms of GetPropertyData.
  std::uint32_t GetTextProperty(DevInst device, DeviceProperty property, std::wstring& out);
  std::uint32_t GetTextListProperty(DevInst device, DeviceProperty property,
                                    std::vector<std::wstring>& out);
  std::uint32_t GetNumberProperty(DevInst device, DeviceProperty property, std::uint32_t& out);
};

// The path of a device interface as the platform spells it: "\\?\", the instance ID in
// lower case with each "\" as "#", "#" and the class GUID; kernel-streaming categories
// end with "\global".
std::wstring DeviceInterfacePath(std::wstring_view instanceId, const Guid& interfaceClass,
                                 bool kernelStreaming);
// Text in lower case (instance IDs and interface paths compare without regard to case).
std::wstring LowerText(std::wstring_view text);
// A 32-bit hash of a text (FNV-1a), for the generated parts of instance IDs.
std::uint32_t InstanceHash(std::wstring_view text);

// The process-wide inventory: the installed one, else the platform's own.
std::shared_ptr<DeviceInventory> GetDeviceInventory();
// The platform's own inventory (on Linux: the USB devices of sysfs).
std::shared_ptr<DeviceInventory> NativeDeviceInventory();
// Installs an inventory (null restores the platform's own).
void SetDeviceInventory(std::shared_ptr<DeviceInventory> inventory);

}  // namespace vantor::platform
