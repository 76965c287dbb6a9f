// kv_VSTGUIEditor: the editor base. Joins the SDK's VSTGUIEditor (frame,
// 100 ms timer, attach/remove, edit gestures) with kv_IView, holds the
// plug-in's kv_IEffect, and gives VSTGUI the host's run loop on Linux.
#pragma once

#include "params/kv_ieffect.h"
#include "params/kv_iview.h"

#include "public.sdk/source/vst/vstguieditor.h"

namespace Steinberg {
namespace Vst {

class kv_VSTGUIEditor : public VSTGUIEditor, public kv_IView
{
public:
	kv_VSTGUIEditor (void* controller, kv_IEffect* effect);
	~kv_VSTGUIEditor () override;

	// IPlugView: the native window types VSTGUI draws into here (an HWND on
	// Windows, an X11 window id on Linux); the editor has a fixed size.
	tresult PLUGIN_API isPlatformTypeSupported (FIDString type) SMTG_OVERRIDE;
	tresult PLUGIN_API attached (void* parent, FIDString type) SMTG_OVERRIDE;
	tresult PLUGIN_API canResize () SMTG_OVERRIDE { return kResultFalse; }
	tresult PLUGIN_API checkSizeConstraint (ViewRect* rect) SMTG_OVERRIDE;

	kv_IEffect* getEffect () const { return effect; }

protected:
	// Opens 'newFrame' in the host's window. On Linux VSTGUI has no event loop
	// of its own: the frame runs on the host's (Linux::IRunLoop from the
	// IPlugFrame). Returns false, leaving no frame, when that is missing.
	bool openFrame (VSTGUI::CFrame* newFrame, void* parent,
	                const VSTGUI::PlatformType& platformType);

	kv_IEffect* effect {nullptr};
};

} // namespace Vst
} // namespace Steinberg
