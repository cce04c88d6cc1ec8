// The configuration record of a flow object: the firmware file and the images it works
// on, the configuration area found in them and what was read from it.
//
// An image is a flat byte array written to the device unchanged; it comes from a
// firmware file or from an image built into the program. Inside it lies the
// configuration area (see image/descriptor_chain.h), looked for at the IC type
// definition's "ConfigAddress" or at the start of the image. The definition used is
// the active one (config/ic_type_ini.h); without one every key takes its default.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

// Field-less base the flow classes share with the configuration record.
class CDumpStr {};

class CMpConfig : public CDumpStr {
 public:
  CMpConfig() = default;
  // A configuration record is never copied whole: its area pointers point into its own
  // buffers. CopyFieldsFrom carries the other fields over.
  CMpConfig(const CMpConfig&) = delete;
  CMpConfig& operator=(const CMpConfig&) = delete;

  // --- image fields ---
  std::wstring imagePath;                 // the firmware file
  std::vector<std::uint8_t> imageA;       // download image: the firmware file's bytes
  std::vector<std::uint8_t> imageB;       // update image: the built-in image for the device
  std::vector<std::uint8_t> backupImage;  // copy of imageA as loaded
  // Where LocateConfigArea found the area in imageA / imageB; null when none was found
  // or the image has changed since. Only whether they are null matters.
  const std::uint8_t* configA = nullptr;
  const std::uint8_t* configB = nullptr;
  std::uint32_t noTag = 0;              // 1: the area is at offset 0; no tag is written
  std::uint32_t configPageAddress = 0;  // device address of the page holding the area
  std::uint32_t configPageLength = 0;
  std::uint8_t imageChip = 0xFF;       // chip type code of the located area; 0xFF: none
  std::uint32_t altPinMux = 0;         // the bank-copy record holds 0x5A
  std::uint16_t areaLength = 0;        // from the area header
  std::wstring imageManufacturerText;  // string record type 1
  std::wstring imageSerialText;        // string record type 3
  std::wstring imageIadText;           // string record type 7
  // The serial text to write into the image: the open device's manufacturer string, or
  // the serial text the window shows.
  std::wstring manufacturerText;
  std::wstring vidPidText;            // "VID_%04X&PID_%04X" of the VID/PID record
  std::wstring releaseText;           // "%04x" of its release number
  std::wstring imageVersionText;      // "0x%02X%02X%02X%02X%02X" of bytes 0x1003..0x1007
  std::vector<std::uint8_t> readBuf;  // memory read back from the device
  std::wstring dumpPath;              // file that receives readBuf

  std::uint32_t imageALen() const { return static_cast<std::uint32_t>(imageA.size()); }
  std::uint32_t imageBLen() const { return static_cast<std::uint32_t>(imageB.size()); }
  std::uint32_t readBufLen() const { return static_cast<std::uint32_t>(readBuf.size()); }

  // --- operations ---

  // Reads the firmware file into imageA and keeps a backup copy. A path with neither
  // ':' nor a leading "\\" is taken relative to the program's directory; the path must
  // name an existing file that is not a directory and is replaced by its full path.
  // Empty files, files that cannot be read whole and files of 4 GiB or more fail (and
  // leave no image).
  bool LoadImageFile();
  // Fills imageB from the built-in image with that resource number and makes the
  // configured memory size its length. A missing resource changes nothing.
  void LoadBuiltInImage(unsigned resourceId);
  // Loads the image the active definition's "Def Bin" names, when the definition list is
  // not empty; otherwise leaves no update image.
  void LoadDefaultImage();
  // The resource number of the built-in image of that name (letter case counts), or 0.
  static unsigned BuiltInImageId(std::wstring_view name);

  // Finds the configuration area; the pointer into `image`, or null. Sets imageChip,
  // noTag, altPinMux, the config page and (through ReadImageInfo and CheckConfigArea)
  // the texts, the memory type and the area length. An area whose record chain is broken
  // is reported ("Config file corrupted") and not found.
  const std::uint8_t* LocateConfigArea(const std::uint8_t* image, std::uint32_t length);
  // LocateConfigArea on imageA into configA, and on imageB into configB. True when found.
  bool ParseImageA();
  bool ParseImageB();

  // Reads the texts of the area's records and sets the memory type and the area
  // length. False for an all-0xFF image, an image without area, or a broken chain.
  bool ReadImageInfo(const std::uint8_t* image, std::uint32_t length);
  // Checks the area at its fixed place (0xF000; 0 for QX330 images of OTP memory or of
  // 0x4000 bytes) and sets the memory type and the area length from it.
  bool CheckConfigArea(const std::uint8_t* image, std::uint32_t length);
  // Walks the area; `offset` becomes the end of the small-cache-code record (from the
  // area start), 0 when there is none. False for an all-0xFF image, an image without
  // area or a broken chain.
  bool FindSmallCacheEnd(const std::uint8_t* image, std::uint32_t length, std::uint32_t& offset);

  // Replaces readBuf by a zero-filled buffer of that length; false when it cannot be had.
  bool AllocReadBack(std::uint32_t length);
  // Creates or truncates the dump file and writes readBuf to it; false when that failed.
  bool SaveBufferToFile() const;

  // Chooses and loads the built-in image for a device from its ID text
  // ("VID_%04X&PID_%04X&REV_%04X"): the image named by BuiltInImageNameForDevice, with
  // "H" or "L" appended for the product 17AA_1046 from bit 0 of the byte that
  // `readVariantByte` reads from the device (address kVariantByteAddress); the default
  // image when no image has that name. Returns the name looked for.
  static constexpr std::uint32_t kVariantByteAddress = 0xFEC7;
  std::wstring ChooseBuiltInImage(std::wstring_view deviceIdText,
                                  const std::function<std::uint8_t()>& readVariantByte);
  // "FFU_" + VID + "_" + PID of an ID text: everything before its last '&', with "FFU"
  // in front and every "VID" and "&PID" removed.
  static std::wstring BuiltInImageNameForDevice(std::wstring_view deviceIdText);

  // Drops every buffer (images, backup, read-back) and the area pointers.
  void ReleaseBuffers();
  // Takes every field but the buffers and area pointers from `other`.
  void CopyFieldsFrom(const CMpConfig& other);

 private:
  enum class AreaRead { kOk, kFailed, kCorrupted };
  AreaRead ReadImageInfoImpl(std::span<const std::uint8_t> image);
  // `report`: a broken chain is the located area's and shows "Config file corrupted".
  AreaRead CheckConfigAreaImpl(std::span<const std::uint8_t> image, bool report);
  bool ReadInfoAndCheck(std::span<const std::uint8_t> image, std::uint32_t areaOffset);
};

// Chip type codes 8 and 9 count as equal; all others must be equal.
bool IsImageForChip(std::uint8_t imageChip, std::uint8_t chipInfo);

// The byte read from a 17AA_1046 device when its image was chosen (for the window).
std::uint8_t DeviceVariantByte();

// The record that survives the replacement of the flow object. Saving releases the old
// record's buffers and keeps its other fields; restoring starts a new record from them.
// The saved record starts empty.
void SaveConfigForReplacement(CMpConfig& old);
void RestoreSavedConfig(CMpConfig& fresh);

}  // namespace vantor
