// kv_VSTGUIEditor: the editor base. Joins the SDK's VSTGUIEditor (frame,
// 100 ms timer, attach/remove, edit gestures) with kv_IView, holds the
// plug-in's kv_IEffect, and gives VSTGUI the host's run loop on Linux.
#pragma once

#include "params/kv_ieffect.h"
#include "params/kv_iview.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/vst/vstguieditor.h"

namespace Steinberg {
namespace Vst {

// Where an editor keeps its zoom between windows and in the saved state:
// the controller that creates it.
class kv_IZoomStore
{
public:
	virtual double getEditorZoom () const = 0;
	virtual void setEditorZoom (double zoom) = 0;

protected:
	~kv_IZoomStore () = default;
};

// The editor is drawn at its zoom (chosen in the editor) times the host's
// content scale (a high-density screen). Art and text are drawn for the
// resulting scale, never stretched; the size the host sees is the designed
// size times that scale.
class kv_VSTGUIEditor : public VSTGUIEditor, public kv_IView, public IPlugViewContentScaleSupport
{
public:
	kv_VSTGUIEditor (void* controller, kv_IEffect* effect, kv_IZoomStore* zoomStore = nullptr);
	~kv_VSTGUIEditor () override;

	// IPlugViewContentScaleSupport: the host's scale of a high-density screen.
	tresult PLUGIN_API setContentScaleFactor (ScaleFactor factor) SMTG_OVERRIDE;

	// The user's zoom (1 is the designed size); the host's window follows
	// through IPlugFrame::resizeView. Values outside 0.5..4 are refused.
	bool setZoom (double zoom);
	double getZoom () const { return zoom; }
	double getScale () const { return zoom * contentScale; }

	// IPlugView: the native window types VSTGUI draws into here (an HWND on
	// Windows, an X11 window id on Linux); the editor has a fixed size.
	tresult PLUGIN_API isPlatformTypeSupported (FIDString type) SMTG_OVERRIDE;
	tresult PLUGIN_API attached (void* parent, FIDString type) SMTG_OVERRIDE;
	tresult PLUGIN_API canResize () SMTG_OVERRIDE { return kResultFalse; }
	tresult PLUGIN_API checkSizeConstraint (ViewRect* rect) SMTG_OVERRIDE;

	kv_IEffect* getEffect () const { return effect; }

	OBJ_METHODS (kv_VSTGUIEditor, VSTGUIEditor)
	DEFINE_INTERFACES
		DEF_INTERFACE (IPlugViewContentScaleSupport)
	END_DEFINE_INTERFACES (VSTGUIEditor)
	REFCOUNT_METHODS (VSTGUIEditor)

protected:
	// The designed size at scale 1; the view's size is this times getScale.
	void setDesignSize (int32 width, int32 height);
	// Sets the frame's zoom and the view's size to the current scale and asks
	// the host to follow.
	void applyScale ();
	// Called after the zoom changed from the editor or the store.
	virtual void zoomChanged () {}

	// Opens 'newFrame' in the host's window. On Linux VSTGUI has no event loop
	// of its own: the frame runs on the host's (Linux::IRunLoop from the
	// IPlugFrame). Returns false, leaving no frame, when that is missing.
	bool openFrame (VSTGUI::CFrame* newFrame, void* parent,
	                const VSTGUI::PlatformType& platformType);

	kv_IEffect* effect {nullptr};
	kv_IZoomStore* zoomStore {nullptr};

private:
	int32 designWidth {0};
	int32 designHeight {0};
	double zoom {1.};
	double contentScale {1.};
};

} // namespace Vst
} // namespace Steinberg
