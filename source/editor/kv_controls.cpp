#include "editor/kv_controls.h"

#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/coffscreencontext.h"
#include "vstgui/lib/cdrawcontext.h"
#include "vstgui/lib/cgraphicspath.h"
#include "vstgui/lib/events.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace VSTGUI {

namespace {

// A one-pixel outline just inside 'rect'.
void drawFrame (CDrawContext* context, CRect rect, const CColor& color)
{
	rect.right -= 1;
	rect.bottom -= 1;
	context->setLineWidth (1);
	context->setFrameColor (color);
	context->drawRect (rect, kDrawStroked);
}

} // namespace

void kv_drawEllipse (CDrawContext* context, const CRect& rect, CDrawStyle style)
{
	auto path = owned (context->createGraphicsPath ());
	if (!path)
		return;
	path->addEllipse (rect);
	if (style == kDrawFilled || style == kDrawFilledAndStroked)
		context->drawGraphicsPath (path, CDrawContext::kPathFilled);
	if (style == kDrawStroked || style == kDrawFilledAndStroked)
		context->drawGraphicsPath (path, CDrawContext::kPathStroked);
}

void kv_drawArc (CDrawContext* context, const CRect& rect, double startAngle, double endAngle)
{
	auto path = owned (context->createGraphicsPath ());
	if (!path)
		return;
	path->addArc (rect, startAngle, endAngle, true);
	context->drawGraphicsPath (path, CDrawContext::kPathStroked);
}

bool kv_resetToDefault (CControl* control, const CButtonState& buttons)
{
	if (!buttons.isLeftButton () || buttons.getModifierState () != CControl::kDefaultValueModifier)
		return false;
	control->beginEdit ();
	float old = control->getValue ();
	control->setValue (control->getDefaultValue ());
	if (control->getValue () != old)
	{
		control->valueChanged ();
		control->invalid ();
	}
	control->endEdit ();
	return true;
}

float kv_roundToStep (float value, float step)
{
	return step > 0.f ? step * std::floor (value / step + 0.5f) : value;
}

void kv_reportChange (CControl* control, float old)
{
	if (control->getValue () == old || !control->getListener ())
		return;
	control->beginEdit ();
	control->valueChanged ();
	control->endEdit ();
	control->invalid ();
}

//------------------------------------------------------------------------
// kv_CSlider
//------------------------------------------------------------------------
kv_CSlider::kv_CSlider (const CRect& size, IControlListener* listener, int32_t tag, float knobSize,
                        float coarseStep, float fineStep, const CColor& enabledColor,
                        const CColor& disabledColor, float min, float max, float defaultValue)
: CControl (size, listener, tag)
, knobSize (knobSize)
, stepRatio (fineStep > 0.f ? coarseStep / fineStep : 1.f)
, coarseStep (coarseStep)
, fineStep (fineStep)
, enabledColor (enabledColor)
, disabledColor (disabledColor)
{
	setMin (min);
	setMax (max);
	setValue (defaultValue);
	setDefaultValue (defaultValue);
	setWheelInc (coarseStep);
}

void kv_CSlider::setEnabled (bool state)
{
	if (state == enabled)
		return;
	enabled = state;
	invalid ();
}

int32_t kv_CSlider::setTicks (int32_t count, const float* positions)
{
	count = std::min (count, kMaxTicks);
	if (count <= 0 || !positions)
	{
		tickCount = 0;
		return 0;
	}
	tickCount = count;
	std::copy (positions, positions + count, tickPositions);
	return count;
}

void kv_CSlider::setEqualTicks (int32_t count)
{
	tickCount = std::max (0, std::min (count, kMaxTicks));
	if (tickCount == 1)
		tickPositions[0] = 0.5f;
	for (int32_t i = 0; tickCount >= 2 && i < tickCount; ++i)
		tickPositions[i] = static_cast<float> (i) / static_cast<float> (tickCount - 1);
}

void kv_CSlider::setFrame (bool on, const CColor& color)
{
	frameOn = on;
	if (on)
		frameColor = color;
	invalid ();
}

void kv_CSlider::quantize (bool fine)
{
	value = kv_roundToStep (value, fine ? fineStep : coarseStep);
	bounceValue ();
}

float kv_CSlider::getPosition () const
{
	if (logScale)
		return (std::log (value) - std::log (getMin ())) / (std::log (getMax ()) - std::log (getMin ()));
	return (value - getMin ()) / (getMax () - getMin ());
}

void kv_CSlider::setPosition (float position)
{
	if (logScale)
		value = std::exp (std::log (getMin ()) + position * (std::log (getMax ()) - std::log (getMin ())));
	else
		value = getMin () + position * (getMax () - getMin ());
}

void kv_CSlider::setValue (float val)
{
	value = val;
	bounceValue ();
}

void kv_CSlider::draw (CDrawContext* context)
{
	const CRect& r = getViewSize ();
	const CCoord w = r.getWidth (), h = r.getHeight ();
	const CCoord k = knobSize;
	const CCoord halfKnob = std::floor (k / 2);
	const CColor& c = enabled ? enabledColor : disabledColor;
	context->setFillColor (c);
	context->setFrameColor (c);
	context->setLineWidth (1);
	context->setDrawMode (kAntiAliasing);

	const CCoord trackY = r.top + (h - 1) / 2;
	context->drawLine (CPoint (r.left + halfKnob, trackY), CPoint (r.left + w - halfKnob - 0.5, trackY));
	for (int32_t i = 0; i < tickCount; ++i)
	{
		CCoord x = r.left + (w - k) * tickPositions[i] + halfKnob;
		context->drawLine (CPoint (x, r.top + (h - k) / 2 + 0.5), CPoint (x, r.top + h - (h - k) / 2 - 0.5));
	}
	CRect knob (0, 0, k, k);
	knob.offset (r.left + getPosition () * (w - k), r.top + (h - k) / 2);
	kv_drawEllipse (context, knob, kDrawFilledAndStroked);
	if (frameOn)
	{
		context->setFrameColor (frameColor);
		kv_drawEllipse (context, knob, kDrawStroked);
	}
	setDirty (false);
}

CMouseEventResult kv_CSlider::onMouseDown (CPoint& where, const CButtonState& buttons)
{
	if (!buttons.isLeftButton () || !enabled)
		return kMouseEventNotHandled;
	if (kv_resetToDefault (this, buttons))
		return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
	beginEdit ();
	dragAnchorPos = -1.f;
	return onMouseMoved (where, buttons);
}

CMouseEventResult kv_CSlider::onMouseUp (CPoint&, const CButtonState&)
{
	if (isEditing ())
		endEdit ();
	return kMouseEventHandled;
}

CMouseEventResult kv_CSlider::onMouseMoved (CPoint& where, const CButtonState& buttons)
{
	if (!enabled)
		return kMouseEventNotHandled;
	if (!buttons.isLeftButton ())
		return kMouseEventHandled;
	const CRect& r = getViewSize ();
	const float w = static_cast<float> (r.getWidth ()), h = static_cast<float> (r.getHeight ());
	const float k = knobSize;
	float p;
	if (w >= h)
		p = (static_cast<float> (where.x - r.left) - k / 2 - 1) / (w - k);
	else
		p = (h + 2 - k / 2 - static_cast<float> (where.y - r.top)) / (h - k);

	const bool fine = (buttons () & kZoomModifier) != 0;
	const int32_t state = buttons.getButtonState () | buttons.getModifierState ();
	if (dragAnchorPos < 0.f)
	{
		dragAnchorPos = p;
		dragAnchorValue = getPosition ();
		dragButtons = state;
	}
	if (state != dragButtons)
	{
		if (fine)
		{
			dragAnchorPos = p;
			dragAnchorValue = getPosition ();
		}
		dragButtons = state;
	}
	float target = fine ? (p - dragAnchorPos) / stepRatio + dragAnchorValue : p;
	float old = value;
	setPosition (target);
	quantize (fine);
	if (value != old)
	{
		valueChanged ();
		invalid ();
	}
	return kMouseEventHandled;
}

bool kv_CSlider::wheel (float distance, const CButtonState& buttons)
{
	if (!enabled)
		return false;
	const bool fine = (buttons () & (kShift | kAlt)) != 0;
	float increment = getWheelInc () * distance;
	if (fine)
		increment /= stepRatio;
	float old = value;
	value += increment;
	quantize (fine);
	kv_reportChange (this, old);
	return true;
}

void kv_CSlider::onMouseWheelEvent (MouseWheelEvent& event)
{
	if (event.deltaY == 0.)
		return;
	if (wheel (static_cast<float> (event.deltaY), buttonStateFromEventModifiers (event.modifiers)))
		event.consumed = true;
}

bool kv_CSlider::isTypeOf (IdStringPtr s) const
{
	return std::strcmp (s, "kv_CSlider") == 0 || std::strcmp (s, "CControl") == 0;
}

//------------------------------------------------------------------------
// kv_COnOffButton
//------------------------------------------------------------------------
kv_COnOffButton::kv_COnOffButton (const CRect& size, IControlListener* listener, int32_t tag,
                                  CBitmap* background)
: COnOffButton (size, listener, tag, background, 0)
{
	kZoomModifier = kShift;
	kDefaultValueModifier = kControl;
}

void kv_COnOffButton::setEnabled (bool state)
{
	if (state == enabled)
		return;
	enabled = state;
	invalid ();
}

void kv_COnOffButton::setFrame (bool on, const CColor& color)
{
	frameOn = on;
	if (on)
		frameColor = color;
	invalid ();
}

CCoord kv_COnOffButton::frameOffset () const
{
	CCoord height = getDrawBackground () ? getDrawBackground ()->getHeight () : 0;
	return (value == 0.f ? 0 : height / 4) + (enabled ? 0 : height / 2);
}

void kv_COnOffButton::draw (CDrawContext* context)
{
	if (auto bitmap = getDrawBackground ())
		bitmap->draw (context, getViewSize (), CPoint (0, frameOffset ()));
	if (frameOn)
		drawFrame (context, getViewSize (), frameColor);
	setDirty (false);
}

CMouseEventResult kv_COnOffButton::onMouseDown (CPoint&, const CButtonState& buttons)
{
	if (!enabled)
		return kMouseEventNotHandled;
	if (kv_resetToDefault (this, buttons))
		return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
	if (!buttons.isLeftButton ())
		return kMouseEventNotHandled;
	value = (static_cast<int32_t> (value) == 0) ? 1.f : 0.f;
	invalid ();
	beginEdit ();
	valueChanged ();
	endEdit ();
	return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool kv_COnOffButton::isTypeOf (IdStringPtr s) const
{
	return std::strcmp (s, "kv_COnOffButton") == 0 || std::strcmp (s, "COnOffButton") == 0 ||
	       std::strcmp (s, "CControl") == 0;
}

//------------------------------------------------------------------------
// kv_CTextEdit
//------------------------------------------------------------------------
kv_CTextEdit::kv_CTextEdit (int32_t tag, IControlListener* listener, const char* fmt,
                            const CRect& size, float defaultValue)
: CTextEdit (size, listener, tag, nullptr, nullptr)
{
	setMin (-std::numeric_limits<float>::infinity ());
	setMax (std::numeric_limits<float>::infinity ());
	value = defaultValue;
	setDefaultValue (defaultValue);
	if (fmt)
		std::snprintf (format, sizeof (format), "%s", fmt);
	enabledColor = disabledColor = getFontColor ();
	installFormatter ();
}

kv_CTextEdit::kv_CTextEdit (const kv_CTextEdit& other)
: CTextEdit (other)
, enabled (other.enabled)
, enabledColor (other.enabledColor)
, disabledColor (other.disabledColor)
{
	std::memcpy (format, other.format, sizeof (format));
	installFormatter ();
}

void kv_CTextEdit::installFormatter ()
{
	// Bound to this object's own format, so copies print with theirs.
	setValueToStringFunction2 ([this] (float v, std::string& result, CParamDisplay*) {
		char text[64] {};
		formatValue (v, text, format);
		result = text;
		return true;
	});
}

void kv_CTextEdit::formatValue (float v, char* text, const void* fmt)
{
	if (!text || !fmt)
		return;
	constexpr size_t kSize = 64;
	if (std::isinf (v))
		std::snprintf (text, kSize, v > 0 ? "+%s" : "-%s", "\xE2\x88\x9E");
	else
		std::snprintf (text, kSize, static_cast<const char*> (fmt), v);
}

void kv_CTextEdit::setEnabled (bool state)
{
	if (state == enabled)
		return;
	enabled = state;
	setFontColor (enabled ? enabledColor : disabledColor);
}

void kv_CTextEdit::setColors (const CColor& enabledCol, const CColor& disabledCol)
{
	enabledColor = enabledCol;
	disabledColor = disabledCol;
	setFontColor (enabled ? enabledColor : disabledColor);
}

CMouseEventResult kv_CTextEdit::onMouseDown (CPoint& where, const CButtonState& buttons)
{
	if (!enabled)
		return kMouseEventNotHandled;
	if (kv_resetToDefault (this, buttons))
		return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
	return CTextEdit::onMouseDown (where, buttons);
}

void kv_CTextEdit::takeFocus ()
{
	setFontColor (CColor (0, 0, 0, 255));
	setBackColor (CColor (255, 255, 255, 255));
	setTransparency (false);
	CTextEdit::takeFocus ();
}

void kv_CTextEdit::looseFocus ()
{
	setFontColor (enabledColor);
	setBackColor (CColor (0, 0, 0, 255));
	setTransparency (true);
	CTextEdit::looseFocus ();
}

bool kv_CTextEdit::isTypeOf (IdStringPtr s) const
{
	return std::strcmp (s, "kv_CTextEdit") == 0 || std::strcmp (s, "CTextEdit") == 0 ||
	       std::strcmp (s, "CControl") == 0;
}

//------------------------------------------------------------------------
// kv_CVerticalSwitch
//------------------------------------------------------------------------
kv_CVerticalSwitch::kv_CVerticalSwitch (const CRect& size, IControlListener* listener, int32_t tag,
                                        CBitmap* background)
: CVerticalSwitch (size, listener, tag, background)
{
}

void kv_CVerticalSwitch::setFrame (bool on, const CColor& color)
{
	frameOn = on;
	if (on)
		frameColor = color;
	invalid ();
}

void kv_CVerticalSwitch::draw (CDrawContext* context)
{
	CVerticalSwitch::draw (context);
	if (frameOn)
		drawFrame (context, getViewSize (), frameColor);
}

struct kv_CBackground::Piece
{
	CRect rect;                     // design points, whole numbers
	SharedPointer<CBitmap> bitmap;  // null when the piece is one colour
	CColor colour;
};

kv_CBackground::kv_CBackground (const CRect& size, CBitmap* art) : CView (size)
{
	setBackground (art);
	setMouseEnabled (false);
}

kv_CBackground::~kv_CBackground ()
{
	for (auto* p : pieces)
		delete p;
}

void kv_CBackground::addOpaqueView (CView* view)
{
	if (view)
		opaqueViews.push_back (view);
}

namespace {

// The colour of every pixel of 'bitmap', or false when they differ.
bool singleColour (CBitmap* bitmap, CColor& colour)
{
	auto access = owned (CBitmapPixelAccess::create (bitmap, false));
	if (!access)
		return false;
	access->getColor (colour);
	CColor c;
	do
	{
		access->getColor (c);
		if (c != colour)
			return false;
	} while (++*access);
	return true;
}

} // namespace

const kv_CBackground::Piece& kv_CBackground::pieceFor (const CRect& rect, double scale)
{
	// Controls redraw the same rectangles; a few hundred pieces cover every
	// control of a window. More (a window dragged over the editor) start over.
	constexpr size_t kMaxPieces = 256;
	if (scale != piecesScale || pieces.size () >= kMaxPieces)
	{
		for (auto* p : pieces)
			delete p;
		pieces.clear ();
		piecesScale = scale;
	}
	for (const auto* p : pieces)
		if (p->rect == rect)
			return *p;
	auto* piece = new Piece {rect, nullptr, {}};
	pieces.push_back (piece);
	++piecesCut;
	if (auto offscreen = COffscreenContext::create (rect.getSize (), scale))
	{
		offscreen->beginDraw ();
		{
#if defined(__linux__)
			// Direct2D draws into a bitmap at the bitmap's scale; VSTGUI's
			// cairo context does not, so the scale is applied here.
			CDrawContext::Transform scaled (*offscreen, CGraphicsTransform ().scale (scale, scale));
#endif
			getDrawBackground ()->draw (offscreen, CRect (CPoint (0, 0), rect.getSize ()),
			                            rect.getTopLeft () - getViewSize ().getTopLeft ());
		}
		offscreen->endDraw ();
		if (!singleColour (offscreen->getBitmap (), piece->colour))
			piece->bitmap = offscreen->getBitmap ();
	}
	return *piece;
}

void kv_CBackground::drawRect (CDrawContext* context, const CRect& updateRect)
{
	setDirty (false);
	CRect area (updateRect);
	area.bound (getViewSize ());
	if (area.isEmpty ())
		return;
	++updateCount;
	updatedArea += area.getWidth () * area.getHeight ();
	// At a fractional zoom the frame rounds a control's rectangle outwards to
	// whole pixels; a point of slack still counts it as covered.
	constexpr CCoord kSlack = 1;
	for (CView* view : opaqueViews)
	{
		CRect covered = view->getViewSize ();
		covered.extend (kSlack, kSlack);
		if (view->isVisible () && covered.rectInside (area))
			return;
	}
	if (!getDrawBackground ())
		return;
	drawnArea += area.getWidth () * area.getHeight ();
	const CGraphicsTransform t = context->getCurrentTransform ();
	const double scale = context->getScaleFactor () * t.m11;
	CRect whole (std::floor (area.left), std::floor (area.top), std::ceil (area.right),
	             std::ceil (area.bottom));
	const Piece& piece = pieceFor (whole, scale);
	if (piece.bitmap)
	{
		piece.bitmap->draw (context, whole);
		return;
	}
	context->setDrawMode (kAliasing);
	context->setFillColor (piece.colour);
	context->drawRect (whole, kDrawFilled);
}

} // namespace VSTGUI
