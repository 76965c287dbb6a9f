// Force-included (-include) into every source of the Windows VST 2 DLL: the
// SDK marks its entry points and the VST 3 factory __declspec(dllexport),
// and the linker exports whatever carries that mark, whatever else it is told.
// The DLL offers a VST 2 host its entry points only (orvovst2.def), not the
// VST 3 factory: with the mark empty, the .def file alone names the exports.
#pragma once

#include "pluginterfaces/base/fplatform.h"

#undef SMTG_EXPORT_SYMBOL
#define SMTG_EXPORT_SYMBOL
