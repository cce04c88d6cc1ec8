#include "app/usage.h"

#include <cwctype>

namespace vantor {

namespace {

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsHelpRequest(const std::vector<std::wstring>& args) {
  if (args.size() != 2) return false;
  for (std::wstring_view help : {L"-h", L"--help", L"/?"}) {
    if (EqualsNoCase(args[1], help)) return true;
  }
  return false;
}

std::string UsageText() {
  return "Usage:\n"
         "  vantorfw -f ACTION FILE [-d INDEX]\n"
         "  vantorfw -f FILE.rfw                 write FILE.rfw\n"
         "  vantorfw -h | --help | /?            this text\n"
         "  vantorfw [/forcerestart]             the window\n"
         "\n"
         "Actions (written exactly so; anything else after -f is taken as the file to "
         "write):\n"
         "  -write     write FILE into the device's memory\n"
         "  -verify    compare the device's memory with FILE\n"
         "  -erase     erase the device's memory\n"
         "  -version   print the device's firmware version\n"
         "  -detect    print the OTP space used and free, and how often FILE still fits\n"
         "  -dumpotp   read the OTP memory into FILE\n"
         "  -dumpspi   read 64 KiB of SPI flash into FILE\n"
         "A relative FILE is taken beside the program. Without a device ID check\n"
         "(CheckVIDPID_INI=0) the devices at INDEX, INDEX+1 and INDEX+2 are tried:\n"
         "  -d INDEX   the first device index to try (default 0)\n"
         "\n"
         "Exit codes:\n"
         "  0  the action ran and passed (-version: the version was read)\n"
         "  1  no device, a refused device, a failed open, no usable image, or a failed "
         "action\n"
         "  2  the command line is not understood\n"
         "  3  the action passed, but burn_result.txt did not get its line\n"
         "\n"
         "Environment:\n"
         "  VANTOR_SETTINGS=FILE   the settings text comes from FILE instead of the built-in "
         "one\n"
         "  VANTOR_SIM=DIR         the simulated devices in DIR (made by vantorfw-sim init)\n"
         "                         replace the USB devices\n"
         "  VANTOR_SIM_LOG=FILE    with VANTOR_SIM: every transfer is appended to FILE\n"
         "  VANTOR_TRACE=1         the trace lines are copied to standard error\n";
}

}  // namespace vantor
