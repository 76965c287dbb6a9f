#include "editor/orvoview.h"

#include "editor/orvoeditorfont.h"

#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/cfont.h"
#include "vstgui/lib/cframe.h"
#include "vstgui/lib/controls/cmoviebitmap.h"
#include "vstgui/lib/controls/csegmentbutton.h"
#include "vstgui/lib/platform/platformfactory.h"
#include "vstgui/lib/platform/iplatformbitmap.h"
#include "vstgui/lib/controls/csplashscreen.h"
#include "vstgui/lib/controls/cvumeter.h"
#include "vstgui/lib/cvstguitimer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace Steinberg {
namespace Vst {

using namespace VSTGUI;

namespace {

constexpr CCoord kWidth = 955;
constexpr CCoord kHeight = 510;
constexpr float kKnobSize = 9;
constexpr CCoord kTextFontSize = 12;
constexpr float kNone = -1.f;

// Parameter identifiers the editor treats specially.
enum : ParamID
{
	kBeamshaping = 1,
	kDiffuser = 2,
	kRearWidthOn = 3,
	kRearDelayOn = 4,
	kRearLowpassOn = 5,
	kOutputFormat = 6,
	kFocus = 7,
	kWidth_ = 8,
	kRearWidth = 9,
	kRearDelay = 10,
	kRearLowpass = 11,
	kDiffuseGain = 12,
	kDirection = 13,
	kMicLR = 14,
	kMicC = 15,
	kMicLsRs = 16,
	kMuteLR = 17,
	kMuteC = 18,
	kMuteLsRs = 19,
	kGainLR = 20,
	kGainC = 21,
	kGainLsRs = 22,
	kFirstMeter = 23,
	kLastMeter = 30,
};

// The Rear Delay field shows milliseconds; the parameter is in seconds.
constexpr double kRearDelayFieldScale = 1000.0;

// Levels slot of each meter parameter 23 to 30 (slots 3 and 7 stay empty:
// the engine's output order has the LFE between C and Ls).
constexpr int32 kLevelSlotOfMeter[] = {0, 1, 2, 4, 5, 6, 8, 9};
// Top edge of each meter, inputs then outputs.
constexpr CCoord kMeterTop[] = {262, 285, 308, 365, 388, 411, 434, 457};

// The zoom selector: top right of the centre panel, clear of the well.
const CRect kZoomSelectorRect (534, 16, 638, 32);
constexpr CCoord kZoomFontSize = 9;
constexpr CColor kZoomFrameColor {70, 76, 84, 255};
constexpr CColor kZoomSelectedColor {232, 232, 232, 255};
constexpr CColor kZoomSelectedFill {74, 80, 88, 255};

// The art at twice the resolution: 'bmp00101_2x.png' beside 'bmp00101.png'
// on Linux, the PNG resource 'bmp00101_2x' on Windows. Added to the 1x
// bitmap, VSTGUI draws whichever density is closest to the window's scale.
void addDoubleResolution (CBitmap* bitmap, int32 id)
{
	if (!bitmap || bitmap->getWidth () <= 0)
		return;
	char name[32];
#if SMTG_OS_WINDOWS
	std::snprintf (name, sizeof (name), "bmp%05d_2x", id);
#else
	std::snprintf (name, sizeof (name), "bmp%05d_2x.png", id);
#endif
	if (auto art = getPlatformFactory ().createBitmap (CResourceDescription (name)))
	{
		art->setScaleFactor (2.);
		bitmap->addBitmap (art);
	}
}

// The unit caption images.
enum : int32
{
	kImageDb = 119,
	kImageDeg = 120,
	kImageHz = 121,
	kImageMs = 122,
};

} // namespace

// One slider row of the left column. The caption is a label image ending at
// x 96 or, for the rows with an on/off switch, a clickable label button.
struct OrvoView::Row
{
	CCoord y;
	int32 labelImage;   // 0: the row has a label button of its switch instead
	CCoord labelLeft;
	ParamID id;
	float min, max, coarse, fine;
	float tick;         // knob position of the one tick, kNone for none
	const char* format;
	int32 unitImage;    // 0: no unit
	bool logScale;
	ParamID switchId;   // 0: none; else the on/off parameter of the row
};

OrvoView::OrvoView (void* controller, kv_IEffect* effect, kv_IZoomStore* zoomStore)
: kv_VSTGUIEditor (controller, effect, zoomStore)
{
	for (int32 i = 0; i < kBitmapCount; ++i)
	{
		bitmaps[i] = new CBitmap (CResourceDescription (kFirstBitmap + i));
		addDoubleResolution (bitmaps[i], kFirstBitmap + i);
	}
	textFont = new CFontDesc (orvoEditorFontName (), kTextFontSize);
	const CBitmap* art = bitmaps[0];
	if (art && art->getWidth () > 0)
		setDesignSize (static_cast<int32> (art->getWidth ()), static_cast<int32> (art->getHeight ()));
	else
		setDesignSize (static_cast<int32> (kWidth), static_cast<int32> (kHeight));
	setIdleRate (100);
}

OrvoView::~OrvoView ()
{
	for (auto& b : bitmaps)
	{
		if (b)
			b->forget ();
		b = nullptr;
	}
	if (textFont)
		textFont->forget ();
	textFont = nullptr;
}

bool PLUGIN_API OrvoView::open (void* parent, const PlatformType& platformType)
{
	if (frame)
		return false;
	CFrame* newFrame = createFrame ();
	if (!openFrame (newFrame, parent, platformType))
	{
		forgetControls ();
		return false;
	}
	applyScale ();
	return true;
}

bool OrvoView::openWithoutWindow ()
{
	if (frame)
		return false;
	frame = createFrame ();
	applyScale ();
	return true;
}

OrvoView::DrawStatistics OrvoView::getDrawStatistics () const
{
	DrawStatistics result;
	if (background)
	{
		result.rects = background->getUpdateCount ();
		result.area = background->getUpdatedArea ();
		result.backgroundArea = background->getDrawnArea ();
	}
	return result;
}

void OrvoView::zoomChanged ()
{
	if (!zoomSelector)
		return;
	// The selector shows the zoom that came from elsewhere (the saved state);
	// its own report of the change asks for nothing new.
	for (int32 i = 0; i < kZoomCount; ++i)
		if (kZooms[i] == getZoom () && zoomSelector->getSelectedSegment () != static_cast<uint32_t> (i))
			zoomSelector->setSelectedSegment (static_cast<uint32_t> (i));
	pendingZoom = -1;
}

void PLUGIN_API OrvoView::close ()
{
	if (frame)
	{
		CFrame* f = frame;
		frame = nullptr;
		f->close ();
	}
	forgetControls ();
}

void OrvoView::forgetControls ()
{
	micResponse = nullptr;
	splash = nullptr;
	background = nullptr;
	zoomSelector = nullptr;
	pendingZoom = -1;
	std::memset (switches, 0, sizeof (switches));
	std::fill (std::begin (checkBoxes), std::end (checkBoxes), nullptr);
	std::fill (std::begin (labelButtons), std::end (labelButtons), nullptr);
	std::fill (std::begin (sliders), std::end (sliders), nullptr);
	std::fill (std::begin (fields), std::end (fields), nullptr);
	std::fill (std::begin (labels), std::end (labels), nullptr);
	std::fill (std::begin (units), std::end (units), nullptr);
	std::fill (std::begin (meters), std::end (meters), nullptr);
	std::fill (std::begin (levels), std::end (levels), 0.f);
}

CFrame* OrvoView::createFrame ()
{
	// The frame draws nothing of its own (transparent, no bitmap): the art
	// is a view below the controls, which the frame's zoom scales.
	auto* f = new CFrame (CRect (0, 0, kWidth, kHeight), this);
	f->setTransparency (true);
	background = new kv_CBackground (CRect (0, 0, kWidth, kHeight), bitmap (101));
	f->addView (background);
	createLeftColumn (f);
	micResponse = new OrvoMicResponse (this, CRect (335, 43, 620, 328), 27.5f, 4.5f,
	                                   kv_kEnabledColor, -180.f, 180.f,
	                                   static_cast<float> (effect->getParameterDefault (kDirection)));
	f->addView (micResponse);
	createRightColumn (f);

	for (int32 i = 0; i < kMeterCount; ++i)
	{
		meters[i] = new CVuMeter (CRect (825, kMeterTop[i], 926, kMeterTop[i] + 11), bitmap (107),
		                          bitmap (108), 30, CVuMeter::kHorizontal);
		meters[i]->setTag (0);
		meters[i]->setDecreaseStepValue (0.1f);
		f->addView (meters[i]);
		background->addOpaqueView (meters[i]);
	}
	createZoomSelector (f);
	splash = new CSplashScreen (CRect (315, 346, 639, 509), this, kSplashTag, bitmap (102),
	                            CRect (0, 0, kWidth, kHeight), CPoint (0, 0));
	f->addView (splash);
	return f;
}

void OrvoView::createZoomSelector (CFrame* f)
{
	zoomSelector = new CSegmentButton (kZoomSelectorRect, this, kZoomTag);
	zoomSelector->setSelectionMode (CSegmentButton::SelectionMode::kSingle);
	for (double zoom : kZooms)
	{
		char text[8];
		std::snprintf (text, sizeof (text), "%d%%", static_cast<int> (std::lround (zoom * 100)));
		CSegmentButton::Segment segment;
		segment.name = text;
		zoomSelector->addSegment (std::move (segment));
	}
	auto font = makeOwned<CFontDesc> (orvoEditorFontName (), kZoomFontSize);
	zoomSelector->setFont (font);
	zoomSelector->setTextColor (kv_kEnabledColor);
	zoomSelector->setTextColorHighlighted (kZoomSelectedColor);
	zoomSelector->setFrameColor (kZoomFrameColor);
	zoomSelector->setFrameWidth (1);
	zoomSelector->setRoundRadius (3);
	zoomSelector->setGradient (nullptr);
	auto fill = VSTGUI::owned (CGradient::create (0, 1, kZoomSelectedFill, kZoomSelectedFill));
	zoomSelector->setGradientHighlighted (fill);
	f->addView (zoomSelector);
	zoomChanged ();
}

CMovieBitmap* OrvoView::addLabel (CFrame* f, int32 image, const CRect& rect)
{
	auto* label = new CMovieBitmap (rect, nullptr, -1, bitmap (image));
	f->addView (label);
	return label;
}

kv_COnOffButton* OrvoView::addButton (CFrame* f, int32 image, const CRect& rect, ParamID id)
{
	auto* button = new kv_COnOffButton (rect, this, static_cast<int32_t> (id), bitmap (image));
	float def = static_cast<float> (effect->getParameterDefault (id));
	button->setDefaultValue (def);
	button->setValue (def);
	f->addView (button);
	return button;
}

float OrvoView::fieldValue (ParamID id, double plain) const
{
	return static_cast<float> (id == kRearDelay ? plain * kRearDelayFieldScale : plain);
}

void OrvoView::createSliderRow (CFrame* f, const Row& row)
{
	const CCoord y = row.y;
	if (row.labelImage)
		labels[row.id] = addLabel (f, row.labelImage, CRect (row.labelLeft, y, 96, y + 14));
	if (row.switchId)
	{
		labelButtons[row.switchId] = addButton (f, 115, CRect (61, y, 96, y + 14), row.switchId);
		checkBoxes[row.switchId] = addButton (f, 103, CRect (44, y + 1, 54, y + 11), row.switchId);
	}
	const float def = static_cast<float> (effect->getParameterDefault (row.id));
	auto* slider = new kv_CSlider (CRect (105, y - 1, 214, y + 16), this, static_cast<int32_t> (row.id),
	                               kKnobSize, row.coarse, row.fine, kv_kEnabledColor,
	                               kv_kDisabledColor, row.min, row.max, def);
	slider->setLogScale (row.logScale);
	if (row.tick != kNone)
		slider->setTicks (1, &row.tick);
	f->addView (slider);
	sliders[row.id] = slider;

	auto* field = new kv_CTextEdit (static_cast<int32_t> (row.id + kTextTagOffset), this, row.format,
	                                CRect (215, y - 4, 249, y + 16), fieldValue (row.id, def));
	field->setTransparency (true);
	field->setHoriAlign (kRightText);
	field->setFont (textFont);
	field->setColors (kv_kEnabledColor, kv_kDisabledColor);
	f->addView (field);
	fields[row.id] = field;

	if (row.unitImage)
	{
		CBitmap* unit = bitmap (row.unitImage);
		CCoord w = unit ? unit->getWidth () : 0;
		units[row.id] = addLabel (f, row.unitImage, CRect (254, y, 254 + w, y + 15));
	}
}

void OrvoView::createLeftColumn (CFrame* f)
{
	auto* radio = new kv_CVerticalSwitch (CRect (44, 49, 54, 89), this, kBeamshaping, bitmap (105));
	auto* captions = new CVerticalSwitch (CRect (60, 48, 173, 88), this, kBeamshaping, bitmap (109));
	switches[kBeamshaping][0] = radio;
	switches[kBeamshaping][1] = captions;
	for (auto* s : {static_cast<CControl*> (radio), static_cast<CControl*> (captions)})
	{
		float def = static_cast<float> (effect->getParameterDefault (kBeamshaping));
		s->setDefaultValue (def);
		s->setValue (def);
		f->addView (s);
	}

	static const Row rows[] = {
	    {88, 112, 86, kMicC, 0.f, 1.f, 1.f / 30, 1.f / 120, 0.5f, "%.2f", 0, false, 0},
	    {108, 113, 74, kMicLR, 0.f, 1.f, 1.f / 30, 1.f / 120, 0.5f, "%.2f", 0, false, 0},
	    {128, 114, 61, kMicLsRs, 0.f, 1.f, 1.f / 30, 1.f / 120, 0.5f, "%.2f", 0, false, 0},
	    {148, 116, 60, kFocus, 0.f, 1.2f, 0.05f, 0.01f, 1.f / 1.2f, "%.2f", 0, false, 0},
	    {211, 117, 66, kDiffuseGain, -10.f, 10.f, 1.f, 0.1f, 0.5f, "%+.1f", kImageDb, false, 0},
	    {293, 113, 74, kWidth_, 30.f, 90.f, 5.f, 1.f, kNone, "%.0f", kImageDeg, false, 0},
	    {313, 0, 0, kRearWidth, 90.f, 180.f, 5.f, 1.f, kNone, "%.0f", kImageDeg, false, kRearWidthOn},
	    {333, 118, 54, kDirection, -180.f, 180.f, 5.f, 1.f, 0.5f, "%.0f", kImageDeg, false, 0},
	    {395, 0, 0, kRearDelay, 0.f, 0.05f, 0.001f, 0.0001f, kNone, "%.1f", kImageMs, false, kRearDelayOn},
	    {457, 0, 0, kRearLowpass, 1000.f, 20000.f, 100.f, 1.f, kNone, "%.0f", kImageHz, true, kRearLowpassOn},
	};
	for (const Row& row : rows)
	{
		createSliderRow (f, row);
		if (row.id == kDiffuseGain)
		{
			labelButtons[kDiffuser] = addButton (f, 110, CRect (60, 231, 147, 245), kDiffuser);
			checkBoxes[kDiffuser] = addButton (f, 103, CRect (44, 232, 54, 242), kDiffuser);
		}
	}
	// Width and Direction are never disabled: their captions stay lit.
	setLit (labels[kWidth_], true);
	setLit (units[kWidth_], true);
	setLit (labels[kDirection], true);
	setLit (units[kDirection], true);
}

void OrvoView::createRightColumn (CFrame* f)
{
	auto* radio = new kv_CVerticalSwitch (CRect (698, 49, 708, 129), this, kOutputFormat, bitmap (106));
	auto* captions = new CVerticalSwitch (CRect (715, 48, 797, 128), this, kOutputFormat, bitmap (111));
	switches[kOutputFormat][0] = radio;
	switches[kOutputFormat][1] = captions;
	for (auto* s : {static_cast<CControl*> (radio), static_cast<CControl*> (captions)})
	{
		float def = static_cast<float> (effect->getParameterDefault (kOutputFormat) / 3.0);
		s->setDefaultValue (def);
		s->setValue (def);
		f->addView (s);
	}

	struct GainRow
	{
		CCoord y;
		ParamID mute;
		int32 labelImage;
		CCoord labelLeft;
		ParamID gain;
	};
	static const GainRow rows[] = {
	    {165, kMuteC, 112, 740, kGainC},
	    {185, kMuteLR, 113, 728, kGainLR},
	    {205, kMuteLsRs, 114, 715, kGainLsRs},
	};
	for (const GainRow& row : rows)
	{
		const CCoord y = row.y;
		checkBoxes[row.mute] = addButton (f, 104, CRect (698, y + 1, 708, y + 11), row.mute);
		labels[row.gain] = addLabel (f, row.labelImage, CRect (row.labelLeft, y, 750, y + 14));
		const float def = static_cast<float> (effect->getParameterDefault (row.gain));
		sliders[row.gain] = new kv_CSlider (CRect (759, y - 1, 868, y + 16), this,
		                                    static_cast<int32_t> (row.gain), kKnobSize, 1.f, 0.1f,
		                                    kv_kEnabledColor, kv_kDisabledColor, -25.f, 0.f, def);
		f->addView (sliders[row.gain]);
		auto* field = new kv_CTextEdit (static_cast<int32_t> (row.gain + kTextTagOffset), this,
		                                "%+.1f", CRect (868, y - 4, 902, y + 16), def);
		field->setTransparency (true);
		field->setHoriAlign (kRightText);
		field->setFont (textFont);
		field->setColors (kv_kEnabledColor, kv_kDisabledColor);
		f->addView (field);
		fields[row.gain] = field;
		units[row.gain] = addLabel (f, kImageDb, CRect (907, y, 924, y + 15));
	}
}

void OrvoView::setLit (CControl* label, bool lit)
{
	setSwitch (label, lit ? 1.f : 0.f);
}

void OrvoView::setSwitch (CControl* control, float value)
{
	// A changed control asks for its own redraw. The frame's dirty check at
	// the next tick alone does not always repaint it: on X11 the Beamshaping
	// captions kept showing the old line after a click on the radio dots
	// (their dirty mark was gone, the screen unchanged).
	// setValue also when the value is unchanged: a text field prints its
	// number only then (a field still at its constructor's value would
	// stay blank).
	if (!control)
		return;
	const bool changed = control->getValue () != value;
	control->setValue (value);
	if (changed)
		control->invalid ();
}

void OrvoView::beginEdit (VSTGUI_INT32 tag)
{
	// A field edits the parameter of its tag less the offset; the about
	// screen and the meters edit nothing.
	if (tag > kTextTagOffset && tag < kSplashTag)
		tag -= kTextTagOffset;
	if (tag >= 1 && tag <= static_cast<VSTGUI_INT32> (kGainLsRs))
		kv_VSTGUIEditor::beginEdit (tag);
}

void OrvoView::endEdit (VSTGUI_INT32 tag)
{
	if (tag > kTextTagOffset && tag < kSplashTag)
		tag -= kTextTagOffset;
	if (tag >= 1 && tag <= static_cast<VSTGUI_INT32> (kGainLsRs))
		kv_VSTGUIEditor::endEdit (tag);
}

void OrvoView::valueChanged (CControl* control)
{
	if (!control || !effect)
		return;
	const int32_t tag = control->getTag ();
	const float value = control->getValue ();
	if (tag == kSplashTag || tag <= 0)
		return;
	if (tag == kZoomTag)
	{
		// Applied at the next tick: resizing the window inside the click that
		// chose the zoom would change the frame under the event being handled.
		pendingZoom = static_cast<int32> (std::lround (value * (kZoomCount - 1)));
		return;
	}
	if (tag == kOutputFormat)
	{
		effect->setParameter (kOutputFormat, value * 3.0);
		return;
	}
	if (tag > kTextTagOffset && tag < kSplashTag)
	{
		const ParamID id = static_cast<ParamID> (tag - kTextTagOffset);
		float number = value;
		auto* field = dynamic_cast<CTextEdit*> (control);
		float typed = 0.f;
		if (field && std::sscanf (field->getText ().data (), "%f", &typed) == 1)
			number = typed;
		double plain = number;
		if (id == kRearDelay)
			plain = number / kRearDelayFieldScale;
		effect->setParameter (id, plain);
		return;
	}
	effect->setParameter (static_cast<ParamID> (tag), value);
}

void OrvoView::parameterChanged (ParamID id, double plain)
{
	const float value = static_cast<float> (plain);
	if (id >= kFirstMeter && id <= kLastMeter)
	{
		levels[kLevelSlotOfMeter[id - kFirstMeter]] = value;
		return;
	}
	if (id < 1 || id > kGainLsRs || !frame)
		return;

	switch (id)
	{
		case kBeamshaping:
			setSwitch (switches[id][0], value);
			setSwitch (switches[id][1], value);
			break;
		case kOutputFormat:
			setSwitch (switches[id][0], value / 3.f);
			setSwitch (switches[id][1], value / 3.f);
			break;
		case kDiffuser:
		case kRearWidthOn:
		case kRearDelayOn:
		case kRearLowpassOn:
			setSwitch (checkBoxes[id], value);
			setSwitch (labelButtons[id], value);
			break;
		case kMuteLR:
		case kMuteC:
		case kMuteLsRs:
			setSwitch (checkBoxes[id], value);
			break;
		default:
			setSwitch (sliders[id], value);
			setSwitch (fields[id], fieldValue (id, plain));
			if (id == kDirection)
				setSwitch (micResponse, value);
			break;
	}
	responsePending = true;
	updateEnableStates ();
}

void OrvoView::updateEnableStates ()
{
	if (!frame || !effect)
		return;
	const bool bs = effect->getParameter (kBeamshaping) != 0;
	const bool rw = effect->getParameter (kRearWidthOn) != 0;
	const bool rd = effect->getParameter (kRearDelayOn) != 0;
	const bool rl = effect->getParameter (kRearLowpassOn) != 0;
	const int format = static_cast<int> (effect->getParameter (kOutputFormat));
	const bool known = format >= 0 && format <= 3;
	const bool hasLR = known;
	const bool hasC = format == 1 || format == 3;
	const bool hasRear = format == 2 || format == 3;

	auto ranged = [this] (ParamID id, bool on) {
		if (sliders[id])
			sliders[id]->setEnabled (on);
		if (fields[id])
			fields[id]->setEnabled (on);
		setLit (labels[id], on);
		setLit (units[id], on);
	};
	auto onOff = [this] (ParamID id, bool on) {
		if (checkBoxes[id])
			checkBoxes[id]->setEnabled (on);
		if (labelButtons[id])
			labelButtons[id]->setEnabled (on);
	};

	ranged (kMicLR, !bs && hasLR);
	ranged (kMicC, !bs && hasC);
	ranged (kMicLsRs, !bs && hasRear);
	ranged (kFocus, bs);
	ranged (kDiffuseGain, bs);
	onOff (kDiffuser, bs);
	onOff (kRearWidthOn, hasRear);
	onOff (kRearDelayOn, hasRear);
	onOff (kRearLowpassOn, hasRear);
	ranged (kRearWidth, hasRear && rw);
	ranged (kRearDelay, hasRear && rd);
	ranged (kRearLowpass, hasRear && rl);
	ranged (kGainLR, hasLR);
	onOff (kMuteLR, hasLR);
	ranged (kGainC, hasC);
	onOff (kMuteC, hasC);
	ranged (kGainLsRs, hasRear);
	onOff (kMuteLsRs, hasRear);
}

float OrvoView::meterPosition (float level)
{
	constexpr float kFloor = 0.001f; // -60 dB, the bottom of the scale
	const float x = level <= kFloor ? kFloor : (level >= 1.f ? 1.f : level);
	return (20.f * std::log10 (x) + 60.f) / 60.f;
}

CMessageResult OrvoView::notify (CBaseObject*, const char* message)
{
	if (message != CVSTGUITimer::kMsgTimer)
		return kMessageUnknown;
	if (pendingZoom >= 0 && pendingZoom < kZoomCount)
	{
		const double zoom = kZooms[pendingZoom];
		pendingZoom = -1;
		setZoom (zoom);
	}
	// A meter shows the last level that reached it and holds it: hosts pass
	// on only levels that changed (a steady tone sends none after its first),
	// and the processor itself sends a new level, silence included, whenever
	// one changes.
	for (int32 i = 0; i < kMeterCount; ++i)
		if (meters[i])
			meters[i]->setValue (meterPosition (levels[kLevelSlotOfMeter[i]]));
	if (micResponse && responsePending && effect)
	{
		responsePending = false;
		sfm_response record {};
		effect->getDisplayData (kv_IEffect::kResponseRequest, &record);
		micResponse->setResponse (record);
	}
	if (frame)
		frame->idle ();
	return kMessageNotified;
}

} // namespace Vst
} // namespace Steinberg
