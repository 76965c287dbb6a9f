// OrvoView: Orvotool's editor window. 955 × 510 points of generated art with
// every control bound to its parameter by tag, eight meters, the polar
// display, the zoom selector and the about screen. Edits go to the plug-in through kv_IEffect
// in plain values; values come back through parameterChanged.
#pragma once

#include "editor/kv_controls.h"
#include "editor/kv_vstguieditor.h"
#include "editor/orvomicresponse.h"

#include "vstgui/lib/controls/icontrollistener.h"

namespace VSTGUI {
class CMovieBitmap;
class CSplashScreen;
class CVuMeter;
class CFontDesc;
class CBitmap;
class CSegmentButton;
class kv_CBackground;
} // namespace VSTGUI

namespace Steinberg {
namespace Vst {

class OrvoView : public kv_VSTGUIEditor, public VSTGUI::IControlListener
{
public:
	static constexpr int32 kFirstBitmap = 101;
	static constexpr int32 kBitmapCount = 22;
	static constexpr int32 kTextTagOffset = 32;
	static constexpr int32 kSplashTag = 55;
	static constexpr int32 kZoomTag = 56;
	// The zooms the editor offers, in the selector's order.
	static constexpr double kZooms[] = {1., 1.25, 1.5, 2.};
	static constexpr int32 kZoomCount = 4;
	static constexpr int32 kParamCount = 30;
	static constexpr int32 kLevelSlots = 10;
	static constexpr int32 kMeterCount = 8;

	OrvoView (void* controller, kv_IEffect* effect, kv_IZoomStore* zoomStore = nullptr);
	~OrvoView () override;

	// VSTGUIEditor
	bool PLUGIN_API open (void* parent, const VSTGUI::PlatformType& platformType) override;
	void PLUGIN_API close () override;
	void beginEdit (VSTGUI_INT32 tag) override;
	void endEdit (VSTGUI_INT32 tag) override;
	VSTGUI::CMessageResult notify (VSTGUI::CBaseObject* sender, const char* message) override;

	// Builds the frame and every control without a native window, for hosts
	// of the editor that draw nothing (tests). False when a frame exists.
	bool openWithoutWindow ();

	// kv_IView
	void parameterChanged (ParamID id, double plain) override;

	// IControlListener
	void valueChanged (VSTGUI::CControl* control) override;
	void controlBeginEdit (VSTGUI::CControl*) override {}
	void controlEndEdit (VSTGUI::CControl*) override {}
	int32_t controlModifierClicked (VSTGUI::CControl*, VSTGUI::CButtonState) override { return 0; }

	// Enables and lights the controls that the output format, Beamshaping and
	// the three surround switches make meaningful.
	void updateEnableStates ();

	// The meter scale: a level 0..1 as a fraction of the meter, -60..0 dB.
	static float meterPosition (float level);

	VSTGUI::CVuMeter* getMeter (int32 index) const { return meters[index]; }
	VSTGUI::OrvoMicResponse* getMicResponse () const { return micResponse; }
	VSTGUI::CSegmentButton* getZoomSelector () const { return zoomSelector; }

	// What the editor has redrawn since its frame opened: the rectangles,
	// their area and the area of background art drawn in them (in the
	// design's square points).
	struct DrawStatistics
	{
		int64 rects {0};
		double area {0};
		double backgroundArea {0};
	};
	DrawStatistics getDrawStatistics () const;

private:
	struct Row;
	VSTGUI::CFrame* createFrame ();
	void zoomChanged () override;
	void createLeftColumn (VSTGUI::CFrame* f);
	void createRightColumn (VSTGUI::CFrame* f);
	void createZoomSelector (VSTGUI::CFrame* f);
	void createSliderRow (VSTGUI::CFrame* f, const Row& row);
	VSTGUI::CMovieBitmap* addLabel (VSTGUI::CFrame* f, int32 image, const VSTGUI::CRect& rect);
	VSTGUI::kv_COnOffButton* addButton (VSTGUI::CFrame* f, int32 image, const VSTGUI::CRect& rect,
	                                    ParamID id);
	VSTGUI::CBitmap* bitmap (int32 id) const { return bitmaps[id - kFirstBitmap]; }
	void forgetControls ();
	static void setSwitch (VSTGUI::CControl* control, float value);
	static void setLit (VSTGUI::CControl* label, bool lit);
	float fieldValue (ParamID id, double plain) const;

	VSTGUI::OrvoMicResponse* micResponse {nullptr};
	VSTGUI::CSplashScreen* splash {nullptr};
	VSTGUI::kv_CBackground* background {nullptr};
	VSTGUI::CSegmentButton* zoomSelector {nullptr};
	int32 pendingZoom {-1};
	VSTGUI::CBitmap* bitmaps[kBitmapCount] {};
	VSTGUI::CFontDesc* textFont {nullptr};

	// Controls by parameter identifier (index 0 unused).
	VSTGUI::CControl* switches[kParamCount + 1][2] {};       // ids 1 and 6: radio, captions
	VSTGUI::kv_COnOffButton* checkBoxes[kParamCount + 1] {}; // ids 2 to 5; mutes 17 to 19
	VSTGUI::kv_COnOffButton* labelButtons[kParamCount + 1] {}; // ids 2 to 5
	VSTGUI::kv_CSlider* sliders[kParamCount + 1] {};
	VSTGUI::kv_CTextEdit* fields[kParamCount + 1] {};
	VSTGUI::CMovieBitmap* labels[kParamCount + 1] {};  // the caption of a slider's row
	VSTGUI::CMovieBitmap* units[kParamCount + 1] {};   // the unit after a slider's field
	VSTGUI::CVuMeter* meters[kMeterCount] {};

	float levels[kLevelSlots] {};
	bool responsePending {true};
};

} // namespace Vst
} // namespace Steinberg
