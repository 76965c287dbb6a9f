// OrvoMonitorController: the monitor's edit controller. Serves the host (the
// parameters, the processor's saved state) and the editor (kv_IMonitor: the
// parameters in plain values, the response set in use with its notice, the
// loudspeakers of the input, the choice of a SOFA file), and keeps what the
// processor reports ("hrtfStatus", "layout") for the editor.
#pragma once

#include "editor/kv_vstguieditor.h"
#include "params/kv_imonitor.h"
#include "params/kv_iview.h"
#include "params/orvomonitorparams.h"
#include "sfm_binaural.h"

#include "public.sdk/source/vst/vsteditcontroller.h"

#include <string>
#include <vector>

namespace Steinberg {
namespace Vst {

class OrvoMonitorController : public EditControllerEx1, public kv_IMonitor, public kv_IZoomStore
{
public:
	OrvoMonitorController () = default;

	static FUnknown* createInstance (void* context);

	// IPluginBase
	tresult PLUGIN_API initialize (FUnknown* context) SMTG_OVERRIDE;
	tresult PLUGIN_API terminate () SMTG_OVERRIDE;

	// IEditController
	tresult PLUGIN_API setComponentState (IBStream* state) SMTG_OVERRIDE;
	// The controller's own state: the host's bypass (outside the processor's
	// chunk) and the editor's zoom.
	tresult PLUGIN_API setState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API getState (IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API setParamNormalized (ParamID tag, ParamValue value) SMTG_OVERRIDE;
	IPlugView* PLUGIN_API createView (FIDString name) SMTG_OVERRIDE;

	// IConnectionPoint: "hrtfStatus" and "layout" from the processor.
	tresult PLUGIN_API notify (IMessage* message) SMTG_OVERRIDE;

	// EditController
	void editorAttached (EditorView* editor) SMTG_OVERRIDE;
	void editorRemoved (EditorView* editor) SMTG_OVERRIDE;

	// kv_IEffect
	double getParameter (ParamID id) override;
	void setParameter (ParamID id, double plain) override;
	double getParameterDefault (ParamID id) override;
	void getDisplayData (int32 request, void* buffer) override;

	// kv_IMonitor
	void getHrtfName (char* utf8, int32 size) override;
	void getHrtfNotice (char* utf8, int32 size) override;
	void chooseHrtf (const char* utf8Path) override;
	int32 getSpeakers (float* azimuthDeg, int32 max, int32* lfeIndex) override;
	bool canReadSofa () override;

	// The path of the chosen file as the processor keeps it ("" for the
	// built-in set).
	const std::string& getHrtfPath () const { return hrtfPath; }

	// kv_IZoomStore
	double getEditorZoom () const override { return editorZoom; }
	void setEditorZoom (double zoom) override;

	// Views attach through editorAttached; exposed for tests and for hosts of
	// the editor that manage views themselves.
	void addView (kv_IView* view);
	void removeView (kv_IView* view);

	OBJ_METHODS (OrvoMonitorController, EditControllerEx1)
	REFCOUNT_METHODS (EditControllerEx1)

private:
	void notifyViews (ParamID id, double plain);
	void updateAllViews ();

	std::vector<kv_IView*> views;
	std::string hrtfName;
	std::string hrtfNotice;
	std::string hrtfPath;
	int32 numSpeakers {0};
	int32 lfeIndex {-1};
	float azimuths[SFM_BINAURAL_MAX_SPEAKERS] {};
	double editorZoom {1.};
};

} // namespace Vst
} // namespace Steinberg
