// Serial number patching: before a download the serial text (the open device's
// manufacturer string, or the serial text the window shows) is written into a string
// record of the download image's configuration area. The whole record chain is rebuilt
// with the text in place and written back into the image; an image whose area is not
// at offset 0 is marked with its tag.
//
// Where: "ConfigAddress" (A), "ConfigSize" (S) and "TagAddress" (T) of the active IC
// type definition, each 0 when missing. The rebuilt area must fit S with 128 bytes to
// spare; the patch needs A + S (and, when A is not 0, T + 2) to lie within the image.
// What: "SaveSN" switches the patch on; "SN Address" 0 patches the string record of type
// 1, any other value the record of type 3, with "SN Function" non-zero putting the
// character U+0007 in front of the text.
//
// A patch that fails leaves the image, its length and the stored area length exactly as
// they were, and says why in the trace.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

class CMpConfig;

// The serial text as the single-byte text a string record holds: each character from
// U+0000 to U+007F becomes its one byte; every other character (each wide character
// unit) becomes '?', so the stored text never depends on a code page.
std::string SerialTextBytes(std::wstring_view text);

struct SerialPatchPlace {
  std::uint32_t configAddress = 0;  // A
  std::uint32_t configSize = 0;     // S
  std::uint32_t tagAddress = 0;     // T
};
// A, S and T of the active IC type definition.
SerialPatchPlace ActiveSerialPatchPlace();

// Rebuilds the area at A of `image` with the serial text in every string record of
// `targetType` (a new record at the end of the chain when there is none), at most 48
// bytes of it; the rebuilt chain starts with a version record. With A not 0 the image
// type code at A becomes 0x55 and the tag 0x55 0xAA is written at T. Only the image's
// first A + S bytes are replaced: a tag at T >= A + S stays unwritten. For target type 1
// the stored area length (`config.areaLength`) becomes the rebuilt area length plus its
// code block. True when the image now holds the rebuilt area; the image keeps its
// length and its buffer.
bool PatchSerialRecord(CMpConfig& config, std::vector<std::uint8_t>& image,
                       std::wstring_view serialText, std::uint8_t targetType);

// The serial-number preparation at the start of every download (the body of
// CEepromConfigInfo::PreActionForAllInOne). With "SaveSN" 0 nothing happens. Otherwise
// `config.imageA` is patched with `config.manufacturerText`; an OTP image (memory type
// 6) is first extended to S bytes with 0xFF (an OTP image longer than S fails) and after
// the patch cut to the stored area length (never shorter than the rebuilt area and its
// code block). False with `resultCode` 41713 ("Save SN Fail!") when the patch failed;
// `config.imageA` is then unchanged.
bool PreActionForAllInOne(CMpConfig& config, std::uint32_t& resultCode);

}  // namespace vantor
