// OrvoController: the edit controller. Serves the host (parameters, units,
// the processor's saved state), the editor (kv_IEffect: plain-value access,
// linked Width/Rear Width edits, output-format presets and the polar
// response computed by a private, display-only engine instance) and hosts
// such as orvotool, which may come from another build (IOrvoToolAccess: the
// same edits, presets and response in plain types).
#pragma once

#include "editor/kv_vstguieditor.h"
#include "params/kv_ieffect.h"
#include "params/kv_iview.h"
#include "params/orvoparams.h"
#include "params/orvotoolaccess.h"
#include "sfm_api.h"

#include "public.sdk/source/vst/vsteditcontroller.h"

#include <vector>

namespace Steinberg {
namespace Vst {

class OrvoController : public EditControllerEx1,
                       public kv_IEffect,
                       public kv_IZoomStore,
                       public IOrvoToolAccess,
                       public IOrvoToolVersion
{
public:
	OrvoController () = default;

	static FUnknown* createInstance (void* context);

	// IPluginBase
	tresult PLUGIN_API initialize (FUnknown* context) SMTG_OVERRIDE;
	tresult PLUGIN_API terminate () SMTG_OVERRIDE;

	// IEditController
	tresult PLUGIN_API setComponentState (IBStream* state) SMTG_OVERRIDE;
	// The controller's own state: the host's bypass switch, which is not a
	// setting of the decode and so stays out of the processor's chunk, and
	// the editor's zoom.
	tresult PLUGIN_API setState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API setParamNormalized (ParamID tag, ParamValue value) SMTG_OVERRIDE;
	ParamValue PLUGIN_API normalizedParamToPlain (ParamID tag, ParamValue value) SMTG_OVERRIDE;
	IPlugView* PLUGIN_API createView (FIDString name) SMTG_OVERRIDE;

	// EditController
	void editorAttached (EditorView* editor) SMTG_OVERRIDE;
	void editorRemoved (EditorView* editor) SMTG_OVERRIDE;

	// kv_IEffect
	double getParameter (ParamID id) override;
	void setParameter (ParamID id, double plain) override;
	double getParameterDefault (ParamID id) override;
	void getDisplayData (int32 request, void* buffer) override;

	// kv_IZoomStore: the editor's zoom, kept for the next window and saved.
	double getEditorZoom () const override { return editorZoom; }
	void setEditorZoom (double zoom) override;

	// IOrvoToolAccess
	int32 PLUGIN_API getFormatPresetCount () SMTG_OVERRIDE;
	tresult PLUGIN_API getFormatPresetValue (int32 row, ParamID id,
	                                         ParamValue* normalized) SMTG_OVERRIDE;
	tresult PLUGIN_API setParamAsEditor (ParamID id, ParamValue normalized) SMTG_OVERRIDE;
	tresult PLUGIN_API getResponse (OrvoResponseRecord* record) SMTG_OVERRIDE;

	// IOrvoToolVersion
	tresult PLUGIN_API getToolAccessVersion (int32* major, int32* minor) SMTG_OVERRIDE;

	OBJ_METHODS (OrvoController, EditControllerEx1)
	DEFINE_INTERFACES
		DEF_INTERFACE (IOrvoToolAccess)
		DEF_INTERFACE (IOrvoToolVersion)
	END_DEFINE_INTERFACES (EditControllerEx1)
	REFCOUNT_METHODS (EditControllerEx1)

	// The Rear Width (degrees) that follows from a Width (degrees) while the
	// Rear Width control is off: the inverse of the processor's rear mapping.
	double rearWidthForWidth (double widthDegrees);

	// Views attach through editorAttached; exposed for hosts of the editor
	// that manage views themselves (and for tests).
	void addView (kv_IView* view);
	void removeView (kv_IView* view);

private:
	void updateAllViews ();
	void notifyViews (ParamID id, double plain);
	void editGroup (const ParamID* ids, const ParamValue* values, int32 count);
	// The response of the current settings, designed again after a change.
	const sfm_response& currentResponse ();

	std::vector<kv_IView*> views;
	sfm_setup engineSetup {};
	sfm_params engineParams {};
	sfm_state engineState {};
	sfm_buffers engineBuffers {};
	sfm_response engineResponse {};
	bool responseDirty {true};
	double editorZoom {1.};
	double formatPresets[kNumFormatPresets][kFormatPresetColumns] {};
};

} // namespace Vst
} // namespace Steinberg
