// OrvoMicResponse: the round display of the virtual microphones' polar
// patterns. Draws a polar grid with a dB scale, one closed curve per output
// channel from the controller's response record, and a handle on the rim
// for Direction, which a drag inside the circle (or the wheel) edits.
#pragma once

#include "sfm_api.h"

#include "vstgui/lib/ccolor.h"
#include "vstgui/lib/controls/ccontrol.h"

namespace VSTGUI {

class OrvoMicResponse : public CControl
{
public:
	// Its tag is always Direction's identifier.
	static constexpr int32_t kTag = 13;

	OrvoMicResponse (IControlListener* listener, const CRect& size, float gridInset,
	                 float handleRadius, const CColor& gridColor, float min, float max,
	                 float defaultValue);
	OrvoMicResponse (const OrvoMicResponse& other) = default;

	// The angle (degrees, 0 up, 90 right, ±180 down) of a point given relative
	// to the view's top-left corner.
	float angleAt (CPoint p) const;
	void quantize (bool fine);
	// The handle's centre for the current value (window coordinates).
	CPoint handleCentre () const;
	// One wheel movement of 'distance' notches: a degree each, wrapping at ±180.
	bool wheel (float distance);

	void setResponse (const sfm_response& record);
	const sfm_response& getResponse () const { return responseData; }

	void draw (CDrawContext* context) override;
	CMouseEventResult onMouseDown (CPoint& where, const CButtonState& buttons) override;
	CMouseEventResult onMouseUp (CPoint& where, const CButtonState& buttons) override;
	CMouseEventResult onMouseMoved (CPoint& where, const CButtonState& buttons) override;
	void onMouseWheelEvent (MouseWheelEvent& event) override;
	bool isTypeOf (IdStringPtr s) const;
	CView* newCopy () const override { return new OrvoMicResponse (*this); }

	static constexpr int32_t kColorCount = 16;

private:
	void drawGrid (CDrawContext* context, CCoord cx, CCoord cy, CCoord radius);
	void drawCurves (CDrawContext* context, CCoord cx, CCoord cy, CCoord radius);

	CColor gridColor;
	CColor curveColors[kColorCount];
	CColor fadedColors[kColorCount];
	sfm_response responseData {};
	float gridInset;
	float handleRadius;
	CPoint pressPoint;
	CPoint lastPoint {-1, -1};
	float coarseStep {5.f};
	float fineStep {1.f};
};

} // namespace VSTGUI
