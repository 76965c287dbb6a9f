// kv_IEffect: what the editor asks of the plug-in, always in plain values
// (degrees, Hz, dB, on/off, list index). Implemented by the controller.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

namespace Steinberg {
namespace Vst {

class kv_IEffect
{
public:
	// Request code of getDisplayData for the polar-response record
	// (sfm_response): one above the last parameter identifier.
	static constexpr int32 kResponseRequest = 31;

	// The parameter's current plain value.
	virtual double getParameter (ParamID id) = 0;
	// An edit made in the editor: stored, shown to every view and reported to
	// the host.
	virtual void setParameter (ParamID id, double plain) = 0;
	// The parameter's default as a plain value.
	virtual double getParameterDefault (ParamID id) = 0;
	// kResponseRequest copies a whole sfm_response into 'buffer'; anything
	// else, or a null buffer, does nothing.
	virtual void getDisplayData (int32 request, void* buffer) = 0;

	virtual ~kv_IEffect () {}
};

} // namespace Vst
} // namespace Steinberg
