#include "editor/orvomicresponse.h"

#include "editor/kv_controls.h"
#include "editor/orvoeditorfont.h"
#include "params/orvounits.h"

#include "vstgui/lib/cdrawcontext.h"
#include "vstgui/lib/cfont.h"
#include "vstgui/lib/events.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace VSTGUI {

namespace {

constexpr double kDegToRad = Steinberg::Vst::orvo_units::kPi / 180.0;
// The engine's output channels: L, R, C, LFE, Ls, Rs.
constexpr int32_t kChannelLfe = 3;
// Drawing order: the surrounds first, the centre last (on top).
constexpr int32_t kCurveOrder[] = {5, 4, 1, 0, 2};
// Alpha of a muted channel's curve.
constexpr uint8_t kMutedAlpha = 0x55;
// Scale labels and the rings they name: the radius fraction of L dB is 1 + L / 25.
constexpr const char* kScaleLabels[] = {"-20", "-15", "-10", "-5", "0"};
constexpr CCoord kLabelFontSize = 10;

} // namespace

OrvoMicResponse::OrvoMicResponse (IControlListener* listener, const CRect& size, float gridInset,
                                  float handleRadius, const CColor& gridColor, float min, float max,
                                  float defaultValue)
: CControl (size, listener, kTag)
, gridColor (gridColor)
, gridInset (gridInset)
, handleRadius (handleRadius)
{
	setMin (min);
	setMax (max);
	value = defaultValue;
	setDefaultValue (defaultValue);
	setWheelInc (2.f);
	curveColors[0] = CColor (255, 255, 64, 255);  // L, yellow
	curveColors[1] = CColor (255, 64, 64, 255);   // R, red
	curveColors[2] = CColor (255, 154, 64, 255);  // C, orange
	curveColors[3] = CColor (0, 0, 0, 255);       // LFE, never drawn
	curveColors[4] = CColor (70, 144, 251, 255);  // Ls, blue
	curveColors[5] = CColor (118, 245, 100, 255); // Rs, green
	for (int32_t i = 0; i < kColorCount; ++i)
	{
		fadedColors[i] = curveColors[i];
		fadedColors[i].alpha = kMutedAlpha;
	}
}

float OrvoMicResponse::angleAt (CPoint p) const
{
	const CCoord m = std::min (getViewSize ().getWidth (), getViewSize ().getHeight ()) / 2;
	return static_cast<float> (std::atan2 (p.x - m, m - p.y) / kDegToRad);
}

void OrvoMicResponse::quantize (bool fine)
{
	value = kv_roundToStep (value, fine ? fineStep : coarseStep);
	bounceValue ();
}

CPoint OrvoMicResponse::handleCentre () const
{
	const CRect& r = getViewSize ();
	const CCoord m = std::min (r.getWidth (), r.getHeight ()) / 2;
	const double d = value * kDegToRad;
	const CCoord reach = m - handleRadius - 0.5;
	return CPoint (r.left + r.getWidth () / 2 + std::sin (d) * reach,
	               r.top + r.getHeight () / 2 - std::cos (d) * reach);
}

void OrvoMicResponse::setResponse (const sfm_response& record)
{
	responseData = record;
	invalid ();
}

void OrvoMicResponse::draw (CDrawContext* context)
{
	const CRect& r = getViewSize ();
	const CCoord m = std::min (r.getWidth (), r.getHeight ()) / 2;
	const CCoord radius = m - gridInset;
	context->setDrawMode (kAntiAliasing);

	context->setFrameColor (gridColor);
	context->setFillColor (gridColor);
	context->setLineWidth (0.5);
	const CPoint h = handleCentre ();
	kv_drawEllipse (context,
	                CRect (h.x - handleRadius, h.y - handleRadius, h.x + handleRadius, h.y + handleRadius),
	                kDrawFilledAndStroked);

	const CCoord cx = r.left + r.getWidth () / 2 - 0.5;
	const CCoord cy = r.top + r.getHeight () / 2 - 0.5;
	drawGrid (context, cx, cy, radius);
	drawCurves (context, cx, cy, radius);
	setDirty (false);
}

void OrvoMicResponse::drawGrid (CDrawContext* context, CCoord cx, CCoord cy, CCoord radius)
{
	CColor line = gridColor;
	line.alpha = 140;
	CColor text = gridColor;
	text.alpha = 128;
	context->setFrameColor (line);
	context->setLineWidth (0.5);
	context->setFontColor (text);
	auto font = makeOwned<CFontDesc> (orvoEditorFontName (), kLabelFontSize);
	context->setFont (font);
	const CCoord labelWidth = context->getStringWidth ("-20");
	const CCoord gap = labelWidth / 2 + 2;

	// Spokes every 30°, none straight down where the scale stands.
	for (int i = 1; i <= 11; ++i)
	{
		const double phi = (i * 30.0 + 90.0) * kDegToRad;
		context->drawLine (CPoint (cx + std::cos (phi) * 0.2 * radius, cy + std::sin (phi) * 0.2 * radius),
		                   CPoint (cx + std::cos (phi) * radius, cy + std::sin (phi) * radius));
	}
	for (int k = 1; k <= 5; ++k)
	{
		const CCoord ring = 0.2 * k * radius;
		const double theta = std::asin (std::min (1.0, gap / ring)) / kDegToRad;
		kv_drawArc (context, CRect (cx - ring, cy - ring, cx + ring, cy + ring), 90.0 + theta,
		            450.0 - theta);
		CRect box (cx - labelWidth / 2, cy + ring - 7, cx + labelWidth / 2, cy + ring + 3);
		context->drawString (kScaleLabels[k - 1], box, kCenterText, true);
	}
}

void OrvoMicResponse::drawCurves (CDrawContext* context, CCoord cx, CCoord cy, CCoord radius)
{
	const int32_t points = std::min<int32_t> (responseData.numPoints, SFM_RESPONSE_POINTS);
	if (points <= 1)
		return;
	context->setLineWidth (3);
	CDrawContext::PointList polygon (static_cast<size_t> (points) + 1);
	for (int32_t channel : kCurveOrder)
	{
		if (channel >= responseData.numChannels || channel == kChannelLfe || channel >= SFM_MAX_CHANNELS)
			continue;
		context->setFrameColor (responseData.channelMuted[channel] ? fadedColors[channel]
		                                                           : curveColors[channel]);
		const float* rho = responseData.response + channel * SFM_RESPONSE_POINTS;
		for (int32_t k = 0; k < points; ++k)
		{
			const double theta = responseData.angle[k];
			polygon[k] = CPoint (cx + std::sin (theta) * rho[k] * radius,
			                     cy - std::cos (theta) * rho[k] * radius);
		}
		polygon[points] = polygon[0];
		context->drawPolygon (polygon, kDrawStroked);
	}
}

CMouseEventResult OrvoMicResponse::onMouseDown (CPoint& where, const CButtonState& buttons)
{
	if (!buttons.isLeftButton ())
		return kMouseEventNotHandled;
	if (kv_resetToDefault (this, buttons))
		return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
	const CRect& r = getViewSize ();
	const CPoint centre = r.getCenter ();
	if (std::hypot (where.x - centre.x, where.y - centre.y) > handleRadius + r.getWidth () / 2)
		return kMouseEventNotHandled;
	beginEdit ();
	pressPoint = where;
	lastPoint = CPoint (-1, -1);
	return onMouseMoved (where, buttons);
}

CMouseEventResult OrvoMicResponse::onMouseMoved (CPoint& where, const CButtonState& buttons)
{
	if (!buttons.isLeftButton () || where == lastPoint)
		return kMouseEventHandled;
	lastPoint = where;
	float old = value;
	value = angleAt (where - getViewSize ().getTopLeft ());
	quantize ((buttons () & kZoomModifier) != 0);
	if (value != old)
	{
		valueChanged ();
		invalid ();
	}
	return kMouseEventHandled;
}

CMouseEventResult OrvoMicResponse::onMouseUp (CPoint&, const CButtonState&)
{
	if (isEditing ())
		endEdit ();
	return kMouseEventHandled;
}

bool OrvoMicResponse::wheel (float distance)
{
	// One notch turns the handle by one fine step (1°). Scaling the wheel
	// increment by fine/coarse (0.4° a notch) would be rounded back to the
	// same whole degree, so a notch would not move the handle at all.
	const float span = getMax () - getMin ();
	float old = value;
	value += fineStep * distance;
	if (value < getMin ())
		value += span;
	if (value > getMax ())
		value -= span;
	quantize (true);
	kv_reportChange (this, old);
	return true;
}

void OrvoMicResponse::onMouseWheelEvent (MouseWheelEvent& event)
{
	if (event.deltaY == 0.)
		return;
	if (wheel (static_cast<float> (event.deltaY)))
		event.consumed = true;
}

bool OrvoMicResponse::isTypeOf (IdStringPtr s) const
{
	return std::strcmp (s, "OrvoMicResponse") == 0 || std::strcmp (s, "CControl") == 0;
}

} // namespace VSTGUI
