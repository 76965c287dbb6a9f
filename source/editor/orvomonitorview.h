// OrvoMonitorView: the editor of "Orvotool Monitor". 640 × 420 points of
// generated art: the top view of the head among its loudspeakers with the
// Head Rotation's handle, the HRTF set (its name, a SOFA file to choose, the
// built-in set, the notice when a chosen file is not in use), Output Gain and
// the LFE switch, and the zoom selector. Edits go to the plug-in through
// kv_IMonitor in plain values; values come back through parameterChanged,
// the set and the loudspeakers with kMonStatusChanged.
#pragma once

#include "editor/kv_controls.h"
#include "editor/kv_vstguieditor.h"
#include "params/kv_imonitor.h"

#include "vstgui/lib/controls/icontrollistener.h"

#include <functional>
#include <string>

namespace VSTGUI {
class CBitmap;
class CFontDesc;
class CSegmentButton;
class CTextButton;
class CTextLabel;
class OrvoMonitorTopView;
} // namespace VSTGUI

namespace Steinberg {
namespace Vst {

class OrvoMonitorView : public kv_VSTGUIEditor, public VSTGUI::IControlListener
{
public:
	// The monitor's art: its window and the LFE switch's caption, after the
	// decoder's 101 to 122.
	static constexpr int32 kBackgroundBitmap = 123;
	static constexpr int32 kLfeLabelBitmap = 124;
	// Tags beyond the parameters: the gain field, the buttons, the zoom.
	static constexpr int32 kFieldTagOffset = 32;
	static constexpr int32 kChooseTag = 60;
	static constexpr int32 kBuiltInTag = 61;
	static constexpr int32 kZoomTag = 62;
	static constexpr double kZooms[] = {1., 1.25, 1.5, 2.};
	static constexpr int32 kZoomCount = 4;
	static constexpr int32 kNoticeLines = 2;

	OrvoMonitorView (void* controller, kv_IMonitor* effect, kv_IZoomStore* zoomStore);
	~OrvoMonitorView () override;

	// VSTGUIEditor
	bool PLUGIN_API open (void* parent, const VSTGUI::PlatformType& platformType) override;
	void PLUGIN_API close () override;
	void beginEdit (VSTGUI_INT32 tag) override;
	void endEdit (VSTGUI_INT32 tag) override;
	VSTGUI::CMessageResult notify (VSTGUI::CBaseObject* sender, const char* message) override;

	// Builds the frame and every control without a native window (tests).
	bool openWithoutWindow ();

	// kv_IView
	void parameterChanged (ParamID id, double plain) override;

	// IControlListener
	void valueChanged (VSTGUI::CControl* control) override;

	// What the window shows, for its tests.
	VSTGUI::OrvoMonitorTopView* getTopView () const { return topView; }
	VSTGUI::CSegmentButton* getZoomSelector () const { return zoomSelector; }
	VSTGUI::CTextButton* getChooseButton () const { return chooseButton; }
	std::string getRotationText () const;
	std::string getHrtfText () const;
	// Line 0 or 1 of the notice as shown, "" when hidden.
	std::string getNoticeLine (int32 line) const;

	// 'text' broken at spaces into at most 'lines' lines no wider than
	// 'width' by 'measure', the last one cut with "…" when the text goes on.
	// Returns the number of lines written to 'out'.
	static int32 fitLines (const std::string& text, double width, int32 lines,
	                       const std::function<double (const std::string&)>& measure, std::string* out);

private:
	VSTGUI::CFrame* createFrame ();
	void createHrtfSection (VSTGUI::CFrame* f);
	void createOutputSection (VSTGUI::CFrame* f);
	void createZoomSelector (VSTGUI::CFrame* f);
	void zoomChanged () override;
	void forgetControls ();
	// Reads the set's name and notice, the loudspeakers and whether SOFA
	// files can be read. 'keepDefault': no loudspeakers yet means none
	// arrived, so the default 5.1 stays.
	void readStatus (bool keepDefault);
	void showRotation (double degrees);
	void chooseSofaFile ();
	VSTGUI::CTextLabel* addText (VSTGUI::CFrame* f, const VSTGUI::CRect& rect, VSTGUI::CFontDesc* font,
	                             const VSTGUI::CColor& colour, VSTGUI::CHoriTxtAlign align);
	VSTGUI::CTextButton* addButton (VSTGUI::CFrame* f, const VSTGUI::CRect& rect, const char* title,
	                                int32 tag);
	static void setControl (VSTGUI::CControl* control, float value);

	kv_IMonitor* monitor {nullptr};
	VSTGUI::CBitmap* background {nullptr};
	VSTGUI::CBitmap* checkBoxArt {nullptr};
	VSTGUI::CBitmap* lfeLabelArt {nullptr};
	VSTGUI::CBitmap* gainLabelArt {nullptr};
	VSTGUI::CBitmap* dbArt {nullptr};
	VSTGUI::CFontDesc* textFont {nullptr};
	VSTGUI::CFontDesc* noticeFont {nullptr};

	VSTGUI::kv_CBackground* backgroundView {nullptr};
	VSTGUI::OrvoMonitorTopView* topView {nullptr};
	VSTGUI::CTextLabel* rotationText {nullptr};
	VSTGUI::CTextLabel* hrtfText {nullptr};
	VSTGUI::CTextLabel* notice[kNoticeLines] {};
	VSTGUI::CTextButton* chooseButton {nullptr};
	VSTGUI::CTextButton* builtInButton {nullptr};
	VSTGUI::kv_CSlider* gainSlider {nullptr};
	VSTGUI::kv_CTextEdit* gainField {nullptr};
	VSTGUI::kv_COnOffButton* lfeBox {nullptr};
	VSTGUI::kv_COnOffButton* lfeLabel {nullptr};
	VSTGUI::CSegmentButton* zoomSelector {nullptr};
	int32 pendingZoom {-1};
	bool chooserPending {false};
};

} // namespace Vst
} // namespace Steinberg
