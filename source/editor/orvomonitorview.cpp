#include "editor/orvomonitorview.h"

#include "editor/orvoeditorfont.h"
#include "editor/orvomonitortopview.h"
#include "params/orvomonitorparams.h"

#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/cfileselector.h"
#include "vstgui/lib/cfont.h"
#include "vstgui/lib/cframe.h"
#include "vstgui/lib/controls/cbuttons.h"
#include "vstgui/lib/controls/cmoviebitmap.h"
#include "vstgui/lib/controls/csegmentbutton.h"
#include "vstgui/lib/controls/ctextlabel.h"
#include "vstgui/lib/cvstguitimer.h"
#include "vstgui/lib/platform/iplatformfont.h"
#include "vstgui/lib/platform/platformfactory.h"

#include <cmath>
#include <cstdio>

namespace Steinberg {
namespace Vst {

using namespace VSTGUI;

namespace {

constexpr CCoord kWidth = 640;
constexpr CCoord kHeight = 420;

// Places in design points; the background art (resources/orvoart.cpp) draws
// the well, the panels and the captions around them.
const CRect kTopViewRect (40, 48, 356, 364); // the well: centre (198, 206), radius 158
const CRect kRotationTextRect (40, 370, 356, 390);
const CRect kZoomSelectorRect (276, 16, 380, 32);
const CRect kHrtfTextRect (410, 102, 616, 120);
const CRect kChooseRect (410, 126, 508, 146);
const CRect kBuiltInRect (516, 126, 616, 146);
constexpr CCoord kNoticeTop = 152;
constexpr CCoord kNoticeLineHeight = 15;
constexpr CCoord kNoticeLeft = 410, kNoticeRight = 616;
constexpr CCoord kGainRowY = 232;
constexpr CCoord kLfeRowY = 258;

// The decoder's bitmaps this editor shows too: the check box, the caption
// "Gain" and the unit "dB".
constexpr int32 kCheckBoxBitmap = 103;
constexpr int32 kGainLabelBitmap = 117;
constexpr int32 kDbBitmap = 119;

constexpr float kKnobSize = 9;
constexpr CCoord kTextFontSize = 12;
constexpr CCoord kNoticeFontSize = 11;
constexpr CCoord kButtonFontSize = 11;
constexpr CCoord kZoomFontSize = 9;
constexpr CColor kFrameColor {70, 76, 84, 255};
constexpr CColor kSelectedColor {232, 232, 232, 255};
constexpr CColor kSelectedFill {74, 80, 88, 255};
constexpr CColor kButtonFill {58, 62, 68, 255};
// Amber: seen at once on the dark panel, and not the red of a fault.
constexpr CColor kWarningColor {240, 176, 64, 255};

// Output Gain's slider: whole dB, tenths with Shift; a tick at 0 dB.
constexpr float kGainMin = -24.f, kGainMax = 12.f;
constexpr float kGainTick = (0.f - kGainMin) / (kGainMax - kGainMin);

// Until the processor tells its layout: 5.1 as ITU-R BS.775 places it
// (L, R, C, LFE, Ls, Rs; degrees, left positive).
constexpr float kDefaultAzimuths[] = {30.f, -30.f, 0.f, 0.f, 110.f, -110.f};
constexpr int32 kDefaultCount = 6;
constexpr int32 kDefaultLfe = 3;

constexpr int32 kNameBytes = 256;
constexpr int32 kNoticeBytes = 1024;

// The art at twice the resolution beside the 1x art (as the decoder's editor
// adds it): 'bmp00123_2x.png' on Linux, the resource 'bmp00123_2x' on Windows.
CBitmap* loadBitmap (int32 id)
{
	auto* bitmap = new CBitmap (CResourceDescription (id));
	if (bitmap->getWidth () <= 0)
		return bitmap;
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
	return bitmap;
}

// The width of a text in 'font' as the labels will draw it.
std::function<double (const std::string&)> widthIn (CFontDesc* font)
{
	auto painter = font->getPlatformFont () ? font->getPlatformFont ()->getPainter () : nullptr;
	return [painter, font] (const std::string& s) {
		// Without a painter: about half the font size a character.
		return painter ? painter->getStringWidth (nullptr, UTF8String (s).getPlatformString (), true)
		               : 0.55 * font->getSize () * static_cast<double> (s.size ());
	};
}

template <typename T>
void forgetObject (T*& object)
{
	if (object)
		object->forget ();
	object = nullptr;
}

} // namespace

OrvoMonitorView::OrvoMonitorView (void* controller, kv_IMonitor* effect, kv_IZoomStore* zoomStore)
: kv_VSTGUIEditor (controller, effect, zoomStore), monitor (effect)
{
	background = loadBitmap (kBackgroundBitmap);
	checkBoxArt = loadBitmap (kCheckBoxBitmap);
	lfeLabelArt = loadBitmap (kLfeLabelBitmap);
	gainLabelArt = loadBitmap (kGainLabelBitmap);
	dbArt = loadBitmap (kDbBitmap);
	textFont = new CFontDesc (orvoEditorFontName (), kTextFontSize);
	noticeFont = new CFontDesc (orvoEditorFontName (), kNoticeFontSize);
	setDesignSize (static_cast<int32> (kWidth), static_cast<int32> (kHeight));
	setIdleRate (100);
}

OrvoMonitorView::~OrvoMonitorView ()
{
	for (CBitmap** b : {&background, &checkBoxArt, &lfeLabelArt, &gainLabelArt, &dbArt})
		forgetObject (*b);
	forgetObject (textFont);
	forgetObject (noticeFont);
}

bool PLUGIN_API OrvoMonitorView::open (void* parent, const PlatformType& platformType)
{
	if (frame || !monitor)
		return false;
	if (!openFrame (createFrame (), parent, platformType))
	{
		forgetControls ();
		return false;
	}
	applyScale ();
	return true;
}

bool OrvoMonitorView::openWithoutWindow ()
{
	if (frame || !monitor)
		return false;
	frame = createFrame ();
	applyScale ();
	return true;
}

void PLUGIN_API OrvoMonitorView::close ()
{
	if (frame)
	{
		CFrame* f = frame;
		frame = nullptr;
		f->close ();
	}
	forgetControls ();
}

void OrvoMonitorView::forgetControls ()
{
	backgroundView = nullptr;
	topView = nullptr;
	rotationText = hrtfText = nullptr;
	notice[0] = notice[1] = nullptr;
	chooseButton = builtInButton = nullptr;
	gainSlider = nullptr;
	gainField = nullptr;
	lfeBox = lfeLabel = nullptr;
	zoomSelector = nullptr;
	pendingZoom = -1;
	chooserPending = false;
}

CFrame* OrvoMonitorView::createFrame ()
{
	// As in the decoder's editor: a transparent frame, the art a view below
	// the controls that the frame's zoom scales.
	auto* f = new CFrame (CRect (0, 0, kWidth, kHeight), this);
	f->setTransparency (true);
	backgroundView = new kv_CBackground (CRect (0, 0, kWidth, kHeight), background);
	f->addView (backgroundView);

	topView = new OrvoMonitorTopView (this, kTopViewRect, static_cast<int32_t> (kMonHeadRotation));
	topView->setDefaultValue (static_cast<float> (monitor->getParameterDefault (kMonHeadRotation)));
	topView->setSpeakers (kDefaultAzimuths, kDefaultCount, kDefaultLfe);
	f->addView (topView);
	rotationText = addText (f, kRotationTextRect, textFont, kv_kEnabledColor, kCenterText);

	createHrtfSection (f);
	createOutputSection (f);
	createZoomSelector (f);

	// The controls show the plug-in's values from the start; the controller
	// sends them again once the editor is attached.
	for (ParamID id : {kMonHeadRotation, kMonOutputGain, kMonLfeOn})
		parameterChanged (id, monitor->getParameter (id));
	readStatus (true);
	return f;
}

CTextLabel* OrvoMonitorView::addText (CFrame* f, const CRect& rect, CFontDesc* font, const CColor& colour,
                                      CHoriTxtAlign align)
{
	auto* label = new CTextLabel (rect);
	label->setFont (font);
	label->setFontColor (colour);
	label->setHoriAlign (align);
	label->setTransparency (true);
	label->setMouseEnabled (false);
	f->addView (label);
	return label;
}

CTextButton* OrvoMonitorView::addButton (CFrame* f, const CRect& rect, const char* title, int32 tag)
{
	auto* button = new CTextButton (rect, this, tag, title, CTextButton::kKickStyle);
	auto font = makeOwned<CFontDesc> (orvoEditorFontName (), kButtonFontSize);
	button->setFont (font);
	button->setTextColor (kv_kEnabledColor);
	button->setTextColorHighlighted (kSelectedColor);
	button->setFrameColor (kFrameColor);
	button->setFrameColorHighlighted (kSelectedColor);
	button->setFrameWidth (1);
	button->setRoundRadius (3);
	button->setGradient (VSTGUI::owned (CGradient::create (0, 1, kButtonFill, kButtonFill)));
	button->setGradientHighlighted (VSTGUI::owned (CGradient::create (0, 1, kSelectedFill, kSelectedFill)));
	f->addView (button);
	return button;
}

void OrvoMonitorView::createHrtfSection (CFrame* f)
{
	hrtfText = addText (f, kHrtfTextRect, textFont, kv_kEnabledColor, kLeftText);
	chooseButton = addButton (f, kChooseRect, "Load SOFA\xE2\x80\xA6", kChooseTag);
	builtInButton = addButton (f, kBuiltInRect, "Built-in Set", kBuiltInTag);
	for (int32 i = 0; i < kNoticeLines; ++i)
	{
		const CCoord top = kNoticeTop + i * kNoticeLineHeight;
		notice[i] = addText (f, CRect (kNoticeLeft, top, kNoticeRight, top + kNoticeLineHeight), noticeFont,
		                     kWarningColor, kLeftText);
		notice[i]->setVisible (false);
	}
}

void OrvoMonitorView::createOutputSection (CFrame* f)
{
	const CCoord y = kGainRowY;
	auto* label = new CMovieBitmap (CRect (410, y, 440, y + 14), nullptr, -1, gainLabelArt);
	label->setValue (1.f); // the lit frame: Output Gain is never disabled
	f->addView (label);
	const float def = static_cast<float> (monitor->getParameterDefault (kMonOutputGain));
	gainSlider = new kv_CSlider (CRect (447, y - 1, 556, y + 16), this, static_cast<int32_t> (kMonOutputGain),
	                             kKnobSize, 1.f, 0.1f, kv_kEnabledColor, kv_kDisabledColor, kGainMin, kGainMax,
	                             def);
	gainSlider->setTicks (1, &kGainTick);
	f->addView (gainSlider);
	gainField = new kv_CTextEdit (static_cast<int32_t> (kMonOutputGain + kFieldTagOffset), this, "%+.1f",
	                              CRect (556, y - 4, 590, y + 16), def);
	gainField->setTransparency (true);
	gainField->setHoriAlign (kRightText);
	gainField->setFont (textFont);
	gainField->setColors (kv_kEnabledColor, kv_kDisabledColor);
	f->addView (gainField);
	auto* unit = new CMovieBitmap (CRect (595, y, 612, y + 15), nullptr, -1, dbArt);
	unit->setValue (1.f);
	f->addView (unit);

	const float lfeDef = static_cast<float> (monitor->getParameterDefault (kMonLfeOn));
	lfeBox = new kv_COnOffButton (CRect (410, kLfeRowY + 1, 420, kLfeRowY + 11), this,
	                              static_cast<int32_t> (kMonLfeOn), checkBoxArt);
	lfeLabel = new kv_COnOffButton (CRect (426, kLfeRowY, 456, kLfeRowY + 14), this,
	                                static_cast<int32_t> (kMonLfeOn), lfeLabelArt);
	for (auto* b : {lfeBox, lfeLabel})
	{
		b->setDefaultValue (lfeDef);
		b->setValue (lfeDef);
		f->addView (b);
	}
}

void OrvoMonitorView::createZoomSelector (CFrame* f)
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
	zoomSelector->setFont (makeOwned<CFontDesc> (orvoEditorFontName (), kZoomFontSize));
	zoomSelector->setTextColor (kv_kEnabledColor);
	zoomSelector->setTextColorHighlighted (kSelectedColor);
	zoomSelector->setFrameColor (kFrameColor);
	zoomSelector->setFrameWidth (1);
	zoomSelector->setRoundRadius (3);
	zoomSelector->setGradient (nullptr);
	zoomSelector->setGradientHighlighted (VSTGUI::owned (CGradient::create (0, 1, kSelectedFill, kSelectedFill)));
	f->addView (zoomSelector);
	zoomChanged ();
}

void OrvoMonitorView::zoomChanged ()
{
	if (!zoomSelector)
		return;
	for (int32 i = 0; i < kZoomCount; ++i)
		if (kZooms[i] == getZoom () && zoomSelector->getSelectedSegment () != static_cast<uint32_t> (i))
			zoomSelector->setSelectedSegment (static_cast<uint32_t> (i));
	pendingZoom = -1;
}

void OrvoMonitorView::setControl (CControl* control, float value)
{
	// setValue also when unchanged: a text field prints its number only then.
	if (!control)
		return;
	const bool changed = control->getValue () != value;
	control->setValue (value);
	if (changed)
		control->invalid ();
}

void OrvoMonitorView::showRotation (double degrees)
{
	if (!rotationText)
		return;
	char text[48];
	// "-0.0" reads as a different direction than "0.0".
	const double shown = std::abs (degrees) < 0.05 ? 0.0 : degrees;
	std::snprintf (text, sizeof (text), "Head Rotation %.1f\xC2\xB0", shown);
	if (rotationText->getText () != text)
		rotationText->setText (text);
}

void OrvoMonitorView::parameterChanged (ParamID id, double plain)
{
	// The controls exist (are not null) exactly while the window is built.
	if (!std::isfinite (plain))
		return;
	const float value = static_cast<float> (plain);
	switch (id)
	{
		case kMonHeadRotation:
			setControl (topView, value);
			showRotation (plain);
			break;
		case kMonOutputGain:
			setControl (gainSlider, value);
			setControl (gainField, value);
			break;
		case kMonLfeOn:
			setControl (lfeBox, value != 0 ? 1.f : 0.f);
			setControl (lfeLabel, value != 0 ? 1.f : 0.f);
			if (topView)
				topView->setLfeOn (value != 0);
			break;
		case kMonStatusChanged:
			readStatus (false);
			break;
		default:
			break;
	}
}

int32 OrvoMonitorView::fitLines (const std::string& text, double width, int32 lines,
                                 const std::function<double (const std::string&)>& measure, std::string* out)
{
	static const std::string kEllipsis = "\xE2\x80\xA6";
	size_t pos = 0;
	int32 used = 0;
	for (; used < lines; ++used)
	{
		while (pos < text.size () && text[pos] == ' ')
			++pos;
		if (pos >= text.size ())
			break;
		// Whole words while they fit; a word too long for a line on its own
		// is taken anyway and cut below.
		std::string line;
		size_t next = pos;
		while (next < text.size ())
		{
			size_t end = text.find (' ', next + 1);
			if (end == std::string::npos)
				end = text.size ();
			std::string candidate = text.substr (pos, end - pos);
			if (!line.empty () && measure (candidate) > width)
				break;
			line = std::move (candidate);
			next = end;
		}
		pos = next;
		const bool more = pos < text.size () && text.find_first_not_of (' ', pos) != std::string::npos;
		if ((used == lines - 1 && more) || measure (line) > width)
		{
			// Whole UTF-8 sequences off the end until the line and "…" fit.
			while (!line.empty () && measure (line + kEllipsis) > width)
			{
				while (!line.empty () && (static_cast<unsigned char> (line.back ()) & 0xC0) == 0x80)
					line.pop_back ();
				if (!line.empty ())
					line.pop_back ();
			}
			while (!line.empty () && line.back () == ' ')
				line.pop_back ();
			line += kEllipsis;
		}
		out[used] = line;
	}
	return used;
}

void OrvoMonitorView::readStatus (bool keepDefault)
{
	if (!monitor || !hrtfText)
		return;
	char buffer[kNoticeBytes] {};
	monitor->getHrtfName (buffer, kNameBytes);
	buffer[kNameBytes - 1] = 0;
	std::string name[1];
	fitLines (std::string ("HRTF: ") + buffer, kHrtfTextRect.getWidth (), 1, widthIn (textFont), name);
	if (hrtfText->getText () != name[0].c_str ())
		hrtfText->setText (name[0].c_str ());

	buffer[0] = 0;
	monitor->getHrtfNotice (buffer, kNoticeBytes);
	buffer[kNoticeBytes - 1] = 0;
	std::string lines[kNoticeLines];
	const int32 count = fitLines (buffer, kNoticeRight - kNoticeLeft, kNoticeLines, widthIn (noticeFont), lines);
	for (int32 i = 0; i < kNoticeLines; ++i)
	{
		notice[i]->setText (i < count ? lines[i].c_str () : "");
		notice[i]->setVisible (i < count);
	}

	float azimuths[OrvoMonitorTopView::kMaxSpeakers] {};
	int32 lfe = -1;
	const int32 n = monitor->getSpeakers (azimuths, OrvoMonitorTopView::kMaxSpeakers, &lfe);
	if (n > 0 || !keepDefault)
		topView->setSpeakers (azimuths, n, lfe);

	chooseButton->setVisible (monitor->canReadSofa ());
}

void OrvoMonitorView::chooseSofaFile ()
{
	// On Linux VSTGUI asks zenity or kdialog and waits for it; with neither
	// installed the selector does nothing and no file arrives.
	if (!frame || !monitor)
		return;
	auto selector = VSTGUI::owned (CNewFileSelector::create (frame, CNewFileSelector::kSelectFile));
	if (!selector)
		return;
	selector->setTitle ("Choose an HRTF set (SOFA)");
	selector->addFileExtension (CFileExtension ("SOFA", "sofa"));
	kv_IMonitor* target = monitor;
	selector->run ([target] (CNewFileSelector* s) {
		if (s->getNumSelectedFiles () > 0 && s->getSelectedFile (0))
			target->chooseHrtf (s->getSelectedFile (0));
	});
}

void OrvoMonitorView::beginEdit (VSTGUI_INT32 tag)
{
	// The gain field edits Output Gain; the buttons and the zoom edit nothing.
	if (tag == static_cast<VSTGUI_INT32> (kMonOutputGain + kFieldTagOffset))
		tag -= kFieldTagOffset;
	if (tag >= 1 && tag <= static_cast<VSTGUI_INT32> (kMonLfeOn))
		kv_VSTGUIEditor::beginEdit (tag);
}

void OrvoMonitorView::endEdit (VSTGUI_INT32 tag)
{
	if (tag == static_cast<VSTGUI_INT32> (kMonOutputGain + kFieldTagOffset))
		tag -= kFieldTagOffset;
	if (tag >= 1 && tag <= static_cast<VSTGUI_INT32> (kMonLfeOn))
		kv_VSTGUIEditor::endEdit (tag);
}

void OrvoMonitorView::valueChanged (CControl* control)
{
	if (!control || !monitor)
		return;
	const int32_t tag = control->getTag ();
	const float value = control->getValue ();
	switch (tag)
	{
		case kZoomTag:
			// At the next tick: resizing inside the click would change the
			// frame under the event being handled.
			pendingZoom = static_cast<int32> (std::lround (value * (kZoomCount - 1)));
			return;
		case kChooseTag:
			// Released on the button; the selector runs at the next tick,
			// outside the mouse event (it may wait for a dialog).
			if (value == control->getMax ())
				chooserPending = true;
			return;
		case kBuiltInTag:
			if (value == control->getMax ())
				monitor->chooseHrtf ("");
			return;
		case kMonOutputGain + kFieldTagOffset:
		{
			float typed = 0.f;
			auto* field = dynamic_cast<CTextEdit*> (control);
			if (field && std::sscanf (field->getText ().data (), "%f", &typed) == 1)
				monitor->setParameter (kMonOutputGain, typed);
			else
				parameterChanged (kMonOutputGain, monitor->getParameter (kMonOutputGain));
			return;
		}
		case kMonHeadRotation:
			showRotation (value);
			monitor->setParameter (kMonHeadRotation, value);
			return;
		case kMonOutputGain:
		case kMonLfeOn:
			monitor->setParameter (static_cast<ParamID> (tag), value);
			return;
		default:
			return;
	}
}

std::string OrvoMonitorView::getRotationText () const
{
	return rotationText ? rotationText->getText ().getString () : std::string ();
}

std::string OrvoMonitorView::getHrtfText () const
{
	return hrtfText ? hrtfText->getText ().getString () : std::string ();
}

std::string OrvoMonitorView::getNoticeLine (int32 line) const
{
	if (line < 0 || line >= kNoticeLines || !notice[line] || !notice[line]->isVisible ())
		return {};
	return notice[line]->getText ().getString ();
}

CMessageResult OrvoMonitorView::notify (CBaseObject*, const char* message)
{
	if (message != CVSTGUITimer::kMsgTimer)
		return kMessageUnknown;
	if (pendingZoom >= 0 && pendingZoom < kZoomCount)
	{
		const double zoom = kZooms[pendingZoom];
		pendingZoom = -1;
		setZoom (zoom);
	}
	if (chooserPending)
	{
		chooserPending = false;
		chooseSofaFile ();
	}
	if (frame)
		frame->idle ();
	return kMessageNotified;
}

} // namespace Vst
} // namespace Steinberg
