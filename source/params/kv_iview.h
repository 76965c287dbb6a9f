// kv_IView: how the controller pushes parameter values into an open editor.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

namespace Steinberg {
namespace Vst {

class kv_IView
{
public:
	// The parameter with identifier 'id' now has the plain value 'plain'.
	virtual void parameterChanged (ParamID id, double plain) = 0;

	virtual ~kv_IView () {}
};

} // namespace Vst
} // namespace Steinberg
