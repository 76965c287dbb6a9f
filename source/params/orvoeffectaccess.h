// IOrvoEffectAccess: the controller's editor-side interface (kv_IEffect) for
// hosts built from this project's own headers, such as the command-line tool.
// A host that loads the bundle holds the controller only as an
// IEditController; this query hands it the same plain-value edits (the
// output-format presets, the linked Width) and the polar-response record that
// the editor uses, so the tool behaves as the editor does.
#pragma once

#include "params/kv_ieffect.h"
#include "pluginterfaces/base/funknown.h"

namespace Steinberg {
namespace Vst {

class IOrvoEffectAccess : public FUnknown
{
public:
	// The controller's kv_IEffect; valid while the controller lives. Only for
	// code built with the same compiler and headers as the bundle.
	virtual kv_IEffect* PLUGIN_API getEffect () = 0;

	static const FUID iid;
};

DECLARE_CLASS_IID (IOrvoEffectAccess, 0x3A770087, 0x42A645AA, 0xA891601C, 0x3786D8D1)

} // namespace Vst
} // namespace Steinberg
