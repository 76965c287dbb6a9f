// OrvoAmbixController: the edit controller of "Orvotool AmbiX". Serves the
// host its two parameters (Direction and the bypass) and follows the
// processor's saved state. It has no editor of its own: hosts show their
// generic one.
#pragma once

#include "public.sdk/source/vst/vsteditcontroller.h"

namespace Steinberg {
namespace Vst {

class OrvoAmbixController : public EditController
{
public:
	OrvoAmbixController () = default;

	static FUnknown* createInstance (void* context);

	// IPluginBase
	tresult PLUGIN_API initialize (FUnknown* context) SMTG_OVERRIDE;

	// IEditController
	tresult PLUGIN_API setComponentState (IBStream* state) SMTG_OVERRIDE;
	// The controller's own state: the host's bypass switch, which is not a
	// setting of the encoder and so stays out of the processor's chunk (a
	// host that saves it with the project gets it back).
	tresult PLUGIN_API setState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getState (IBStream* state) SMTG_OVERRIDE;
	// No custom editor: null for every view type.
	IPlugView* PLUGIN_API createView (FIDString name) SMTG_OVERRIDE;

	OBJ_METHODS (OrvoAmbixController, EditController)
	REFCOUNT_METHODS (EditController)
};

} // namespace Vst
} // namespace Steinberg
