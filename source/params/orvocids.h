// Class identifiers of the processor and the controller. Hosts store them in
// their projects: they must never change.
#pragma once

#include "pluginterfaces/base/funknown.h"

namespace Steinberg {
namespace Vst {

static const FUID OrvoProcessorUID (0x5A1C93E7, 0x4B20D8F1, 0x9E37A4C2, 0x61D0B75F);
static const FUID OrvoControllerUID (0x7C4E2B19, 0xA3F64D08, 0x8B15E9D6, 0x2F70C3A4);

// "Orvotool Monitor": loudspeaker channels to two ears for headphones.
static const FUID OrvoMonitorProcessorUID (0x3346A975, 0x3D494E5E, 0xB6DAF152, 0x855141D0);
static const FUID OrvoMonitorControllerUID (0xEEC386E8, 0x179E4F97, 0x85C7B5C9, 0x7A379778);

// "Orvotool AmbiX": the three capsules to first-order Ambisonics.
static const FUID OrvoAmbixProcessorUID (0xA9B1CE31, 0x8DC2480A, 0x8321422C, 0x74445504);
static const FUID OrvoAmbixControllerUID (0x7230D25B, 0x115C4AEA, 0xBC8E11A5, 0xE65B5795);

} // namespace Vst

// Folder of the loaded module file, with its trailing separator, recorded when
// the module is loaded ("" when it could not be determined).
const char* orvoModuleFolder ();

} // namespace Steinberg
