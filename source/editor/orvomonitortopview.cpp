#include "editor/orvomonitortopview.h"

#include "editor/kv_controls.h"
#include "editor/orvoeditorfont.h"
#include "params/orvounits.h"

#include "vstgui/lib/cdrawcontext.h"
#include "vstgui/lib/cfont.h"
#include "vstgui/lib/cgraphicspath.h"
#include "vstgui/lib/events.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace VSTGUI {

namespace {

constexpr double kDegToRad = Steinberg::Vst::orvo_units::kPi / 180.0;

// Radii in points from the centre; the background art draws its faint
// loudspeaker ring at kSpeakerRadius and the well around kRingRadius.
constexpr CCoord kRingRadius = 144;
constexpr CCoord kHandleRadius = 7;
constexpr CCoord kSpeakerRadius = 104;
constexpr CCoord kLabelRadius = 125;
constexpr CCoord kHeadRadius = 24;
constexpr CCoord kTickLength = 5;
// The sub: below the head, clear of a loudspeaker turned to the back.
constexpr CCoord kSubOffset = 58;
constexpr CCoord kSubWidth = 30, kSubHeight = 16;
constexpr CCoord kLabelFontSize = 11;
constexpr CCoord kSubFontSize = 9;

// A drag moves the handle in whole degrees, with Shift in tenths.
constexpr float kCoarseStep = 1.f;
constexpr float kFineStep = 0.1f;

constexpr CColor kRingColor {120, 126, 134, 255};
constexpr CColor kTickColor {90, 96, 104, 255};
constexpr CColor kHeadFill {112, 117, 124, 255};
constexpr CColor kOutline {20, 22, 25, 255};
constexpr CColor kSubFill {44, 47, 52, 255};
// The decoder's channel colours (its polar display), so a channel looks the
// same in both editors.
constexpr CColor kLeftColor {255, 255, 64, 255};
constexpr CColor kRightColor {255, 64, 64, 255};
constexpr CColor kCentreColor {255, 154, 64, 255};
constexpr CColor kLeftSurroundColor {70, 144, 251, 255};
constexpr CColor kRightSurroundColor {118, 245, 100, 255};
constexpr CColor kBackColor {200, 140, 255, 255};

// Within this of straight ahead (or straight behind) a loudspeaker is the
// centre (or the back); from 90° on it is a surround.
constexpr float kCentreTolerance = 5.f;
constexpr float kSideAzimuth = 90.f;

// Degrees brought into -180..180 (180 itself becomes -180, the same direction).
float wrapDegrees (float deg)
{
	return deg - 360.f * std::floor ((deg + 180.f) / 360.f);
}

struct SpeakerLook
{
	const char* name;
	CColor colour;
};

SpeakerLook lookOf (float azimuthDeg)
{
	const float a = std::abs (azimuthDeg);
	if (a <= kCentreTolerance)
		return {"C", kCentreColor};
	if (a >= 180.f - kCentreTolerance)
		return {"S", kBackColor};
	if (a < kSideAzimuth)
		return azimuthDeg > 0 ? SpeakerLook {"L", kLeftColor} : SpeakerLook {"R", kRightColor};
	return azimuthDeg > 0 ? SpeakerLook {"Ls", kLeftSurroundColor} : SpeakerLook {"Rs", kRightSurroundColor};
}

} // namespace

OrvoMonitorTopView::OrvoMonitorTopView (IControlListener* listener, const CRect& size, int32_t tag)
: CControl (size, listener, tag)
{
	setMin (-180.f);
	setMax (180.f);
	setDefaultValue (0.f);
	value = 0.f;
	setWheelInc (1.f);
}

void OrvoMonitorTopView::setSpeakers (const float* azimuthDeg, int32_t count, int32_t lfe)
{
	speakerCount = azimuthDeg ? std::max (0, std::min (count, kMaxSpeakers)) : 0;
	for (int32_t i = 0; i < speakerCount; ++i)
		azimuth[i] = std::isfinite (azimuthDeg[i]) ? azimuthDeg[i] : 0.f;
	lfeIndex = lfe >= 0 && lfe < speakerCount ? lfe : -1;
	invalid ();
}

void OrvoMonitorTopView::setLfeOn (bool on)
{
	if (on == lfeOn)
		return;
	lfeOn = on;
	if (lfeIndex >= 0)
		invalid ();
}

CPoint OrvoMonitorTopView::centre () const
{
	return getViewSize ().getCenter ();
}

CPoint OrvoMonitorTopView::onScreen (double screenDeg, double radius) const
{
	const CPoint c = centre ();
	return CPoint (c.x + std::sin (screenDeg * kDegToRad) * radius,
	               c.y - std::cos (screenDeg * kDegToRad) * radius);
}

// A loudspeaker at azimuth a (left positive) is heard at a - rotation from
// the nose; on screen, clockwise from up, that is rotation - a. The room's
// front (a = 0) is therefore drawn at the rotation itself.
CPoint OrvoMonitorTopView::handleCentre () const
{
	return onScreen (value, kRingRadius);
}

CPoint OrvoMonitorTopView::speakerCentre (int32_t index) const
{
	if (index < 0 || index >= speakerCount)
		return centre ();
	if (index == lfeIndex)
		return centre () + CPoint (0, kSubOffset);
	return onScreen (value - azimuth[index], kSpeakerRadius);
}

float OrvoMonitorTopView::screenAngle (const CPoint& where) const
{
	const CPoint c = centre ();
	return static_cast<float> (std::atan2 (where.x - c.x, c.y - where.y) / kDegToRad);
}

void OrvoMonitorTopView::resetToFront ()
{
	beginEdit ();
	const float old = value;
	value = getDefaultValue ();
	if (value != old)
	{
		valueChanged ();
		invalid ();
	}
	endEdit ();
}

CMouseEventResult OrvoMonitorTopView::onMouseDown (CPoint& where, const CButtonState& buttons)
{
	if (!buttons.isLeftButton ())
		return kMouseEventNotHandled;
	const CPoint c = centre ();
	if (std::hypot (where.x - c.x, where.y - c.y) > kRingRadius + 2 * kHandleRadius)
		return kMouseEventNotHandled;
	if (buttons.isDoubleClick () || buttons.getModifierState () == kDefaultValueModifier)
	{
		resetToFront ();
		return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
	}
	// The drag turns the room by the angle the pointer sweeps around the
	// centre: a press anywhere grabs the room without making it jump.
	beginEdit ();
	pressAngle = screenAngle (where);
	pressValue = value;
	return kMouseEventHandled;
}

CMouseEventResult OrvoMonitorTopView::onMouseMoved (CPoint& where, const CButtonState& buttons)
{
	if (!isEditing () || !buttons.isLeftButton ())
		return kMouseEventHandled;
	const float swept = wrapDegrees (screenAngle (where) - pressAngle);
	const float step = (buttons () & kZoomModifier) ? kFineStep : kCoarseStep;
	const float old = value;
	value = wrapDegrees (kv_roundToStep (pressValue + swept, step));
	bounceValue ();
	if (value != old)
	{
		valueChanged ();
		invalid ();
	}
	return kMouseEventHandled;
}

CMouseEventResult OrvoMonitorTopView::onMouseUp (CPoint&, const CButtonState&)
{
	if (isEditing ())
		endEdit ();
	return kMouseEventHandled;
}

CMouseEventResult OrvoMonitorTopView::onMouseCancel ()
{
	if (isEditing ())
		endEdit ();
	return kMouseEventHandled;
}

bool OrvoMonitorTopView::wheel (float distance)
{
	const float old = value;
	value = wrapDegrees (kv_roundToStep (value + kCoarseStep * distance, kFineStep));
	bounceValue ();
	kv_reportChange (this, old);
	return true;
}

void OrvoMonitorTopView::onMouseWheelEvent (MouseWheelEvent& event)
{
	if (event.deltaY == 0.)
		return;
	if (wheel (static_cast<float> (event.deltaY)))
		event.consumed = true;
}

void OrvoMonitorTopView::draw (CDrawContext* context)
{
	context->setDrawMode (kAntiAliasing);
	const CPoint c = centre ();
	context->setLineWidth (1);
	context->setFrameColor (kRingColor);
	kv_drawEllipse (context, CRect (c.x - kRingRadius, c.y - kRingRadius, c.x + kRingRadius, c.y + kRingRadius),
	                kDrawStroked);
	// Ticks every 30° of the room, turning with it.
	context->setFrameColor (kTickColor);
	for (int k = 1; k < 12; ++k)
		context->drawLine (onScreen (value + 30.0 * k, kRingRadius - kTickLength),
		                   onScreen (value + 30.0 * k, kRingRadius));

	for (int32_t i = 0; i < speakerCount; ++i)
		if (i != lfeIndex)
			drawSpeaker (context, i);
	drawHead (context);
	if (lfeIndex >= 0)
		drawSub (context);

	const CPoint h = handleCentre ();
	context->setFillColor (kv_kEnabledColor);
	context->setFrameColor (kOutline);
	kv_drawEllipse (context, CRect (h.x - kHandleRadius, h.y - kHandleRadius, h.x + kHandleRadius, h.y + kHandleRadius),
	                kDrawFilledAndStroked);
	context->setFillColor (kOutline);
	kv_drawEllipse (context, CRect (h.x - 2, h.y - 2, h.x + 2, h.y + 2), kDrawFilled);
	setDirty (false);
}

void OrvoMonitorTopView::drawSpeaker (CDrawContext* context, int32_t index)
{
	const SpeakerLook look = lookOf (azimuth[index]);
	const double screenDeg = value - azimuth[index];
	const CPoint p = onScreen (screenDeg, kSpeakerRadius);
	// 'in' points at the head, 'across' along the loudspeaker's front.
	const CPoint in ((centre ().x - p.x) / kSpeakerRadius, (centre ().y - p.y) / kSpeakerRadius);
	const CPoint across (-in.y, in.x);
	auto at = [&] (double along, double side) {
		return CPoint (p.x + in.x * along + across.x * side, p.y + in.y * along + across.y * side);
	};
	// A cabinet behind, a cone opening towards the listener.
	CDrawContext::PointList cabinet {at (-9, -4), at (-9, 4), at (-3, 4), at (-3, -4), at (-9, -4)};
	CDrawContext::PointList cone {at (-3, -4), at (-3, 4), at (5, 8), at (5, -8), at (-3, -4)};
	context->setFillColor (look.colour);
	context->setFrameColor (kOutline);
	context->setLineWidth (1);
	context->drawPolygon (cabinet, kDrawFilledAndStroked);
	context->drawPolygon (cone, kDrawFilledAndStroked);

	auto font = makeOwned<CFontDesc> (orvoEditorFontName (), kLabelFontSize);
	context->setFont (font);
	context->setFontColor (look.colour);
	const CPoint l = onScreen (screenDeg, kLabelRadius);
	context->drawString (look.name, CRect (l.x - 12, l.y - 7, l.x + 12, l.y + 7), kCenterText, true);
}

void OrvoMonitorTopView::drawHead (CDrawContext* context)
{
	const CPoint c = centre ();
	context->setFillColor (kHeadFill);
	context->setFrameColor (kv_kEnabledColor);
	context->setLineWidth (1.5);
	for (double side : {-1.0, 1.0})
	{
		const CCoord x = c.x + side * kHeadRadius;
		kv_drawEllipse (context, CRect (x - 4, c.y - 8, x + 4, c.y + 8), kDrawFilledAndStroked);
	}
	CDrawContext::PointList nose {CPoint (c.x - 7, c.y - kHeadRadius + 3), CPoint (c.x, c.y - kHeadRadius - 9),
	                              CPoint (c.x + 7, c.y - kHeadRadius + 3)};
	context->drawPolygon (nose, kDrawFilledAndStroked);
	kv_drawEllipse (context, CRect (c.x - kHeadRadius, c.y - kHeadRadius, c.x + kHeadRadius, c.y + kHeadRadius),
	                kDrawFilledAndStroked);
}

void OrvoMonitorTopView::drawSub (CDrawContext* context)
{
	const CPoint s = centre () + CPoint (0, kSubOffset);
	const CRect box (s.x - kSubWidth / 2, s.y - kSubHeight / 2, s.x + kSubWidth / 2, s.y + kSubHeight / 2);
	const CColor& edge = lfeOn ? kv_kEnabledColor : kv_kDisabledColor;
	context->setLineWidth (1);
	context->setFillColor (kSubFill);
	context->setFrameColor (edge);
	if (auto path = owned (context->createGraphicsPath ()))
	{
		path->addRoundRect (box, 3);
		context->drawGraphicsPath (path, CDrawContext::kPathFilled);
		context->drawGraphicsPath (path, CDrawContext::kPathStroked);
	}
	auto font = makeOwned<CFontDesc> (orvoEditorFontName (), kSubFontSize);
	context->setFont (font);
	context->setFontColor (edge);
	context->drawString ("LFE", box, kCenterText, true);
}

bool OrvoMonitorTopView::isTypeOf (IdStringPtr s) const
{
	return std::strcmp (s, "OrvoMonitorTopView") == 0 || std::strcmp (s, "CControl") == 0;
}

} // namespace VSTGUI
