// Class identifiers of the processor and the controller. Hosts store them in
// their projects: they must never change.
#pragma once

#include "pluginterfaces/base/funknown.h"

namespace Steinberg {
namespace Vst {

static const FUID OrvoProcessorUID (0x5A1C93E7, 0x4B20D8F1, 0x9E37A4C2, 0x61D0B75F);
static const FUID OrvoControllerUID (0x7C4E2B19, 0xA3F64D08, 0x8B15E9D6, 0x2F70C3A4);

} // namespace Vst

// Folder of the loaded module file, with its trailing separator, recorded when
// the module is loaded ("" when it could not be determined).
const char* orvoModuleFolder ();

} // namespace Steinberg
