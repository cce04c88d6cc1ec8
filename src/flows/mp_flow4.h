// CMpFlow4: prepares the chip for a run and takes it out of its running code into ROM
// code or update mode.
#pragma once

#include "flows/mp_flow2.h"

namespace vantor {

class CMpFlow4 : public CMpFlow3 {
 public:
  int MP_OpenRomDevice();
};

}  // namespace vantor
