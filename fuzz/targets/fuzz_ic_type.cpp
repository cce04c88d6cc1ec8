#include <string>

#include "config/bus_type.h"
#include "config/device_id_list.h"
#include "config/ic_type_ini.h"
#include "fuzz/targets/fuzz_targets.h"

namespace vantor::fuzz {

// Byte 0 chooses what the rest is: odd, an ID list whose last line is the device's ID
// text; even, an IC type definition, matched against the chip registers of bytes 1-2.
int FuzzIcType(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t what = in.Byte();
  if (what & 1) {
    const std::string_view rest = in.Rest();
    const std::size_t cut = rest.rfind('\n');
    const std::string_view list = cut == std::string_view::npos ? rest : rest.substr(0, cut);
    const std::string_view id = cut == std::string_view::npos ? rest : rest.substr(cut + 1);
    MatchIdListText(list, id);
    MatchBuiltInList(id);
    return 0;
  }
  const std::uint8_t reg1 = in.Byte();
  const std::uint8_t reg2 = in.Byte();
  const BusType bus = GetBusType();
  CICTypeIni ic;
  ic.LoadText(in.Rest());
  ic.MatchChip(reg1, reg2);
  ic.ApplyDefinition();
  unsigned image = 0;
  ic.DefaultImageId(image);
  ic.ConfigAddress();
  ic.GetConfigSize();
  ic.GetVendorInt("TagAddress");
  SetBusType(bus);
  return 0;
}

}  // namespace vantor::fuzz
