// OrvoMonitorTopView: the monitor's top view of the listener. The head sits
// in the centre, nose up; the loudspeakers stand around it where they are
// heard now, that is at their azimuth less the Head Rotation; the LFE is a
// small sub below the head. A handle on a ring marks the room's front: the
// user turns the room (and so the head) by dragging anywhere on the view, a
// wheel notch turns it by a degree, a double-click or Ctrl-click faces the
// front again. The control's value is the Head Rotation in degrees.
#pragma once

#include "vstgui/lib/ccolor.h"
#include "vstgui/lib/controls/ccontrol.h"

namespace VSTGUI {

class OrvoMonitorTopView : public CControl
{
public:
	static constexpr int32_t kMaxSpeakers = 16;

	OrvoMonitorTopView (IControlListener* listener, const CRect& size, int32_t tag);
	OrvoMonitorTopView (const OrvoMonitorTopView& other) = default;

	// The loudspeakers: 'count' azimuths (degrees, left positive), channel
	// 'lfeIndex' the LFE (-1 for none). Counts beyond kMaxSpeakers are cut,
	// azimuths that are not finite are drawn at the front.
	void setSpeakers (const float* azimuthDeg, int32_t count, int32_t lfeIndex);
	int32_t getSpeakerCount () const { return speakerCount; }
	void setLfeOn (bool on);

	// Where things are drawn now (window coordinates): the handle, and
	// loudspeaker 'index' (the LFE's sub for the LFE's index).
	CPoint handleCentre () const;
	CPoint speakerCentre (int32_t index) const;
	// The direction of a window point seen from the centre, in degrees
	// clockwise from straight up (-180..180).
	float screenAngle (const CPoint& where) const;
	// One wheel movement of 'distance' notches: a degree each, wrapping at ±180.
	bool wheel (float distance);

	void draw (CDrawContext* context) override;
	CMouseEventResult onMouseDown (CPoint& where, const CButtonState& buttons) override;
	CMouseEventResult onMouseMoved (CPoint& where, const CButtonState& buttons) override;
	CMouseEventResult onMouseUp (CPoint& where, const CButtonState& buttons) override;
	CMouseEventResult onMouseCancel () override;
	void onMouseWheelEvent (MouseWheelEvent& event) override;
	bool isTypeOf (IdStringPtr s) const;
	CView* newCopy () const override { return new OrvoMonitorTopView (*this); }

private:
	CPoint centre () const;
	CPoint onScreen (double screenDeg, double radius) const;
	void resetToFront ();
	void drawSpeaker (CDrawContext* context, int32_t index);
	void drawHead (CDrawContext* context);
	void drawSub (CDrawContext* context);

	float azimuth[kMaxSpeakers] {};
	int32_t speakerCount {0};
	int32_t lfeIndex {-1};
	bool lfeOn {true};
	float pressAngle {0.f};
	float pressValue {0.f};
};

} // namespace VSTGUI
