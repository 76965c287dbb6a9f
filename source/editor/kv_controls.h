// The editor's in-house controls on VSTGUI: a line-drawn slider with coarse
// and fine steps, ticks and an optional logarithmic scale; a bitmap on/off
// button, a numeric text field and a multi-position switch, each with an
// enabled state. Controls report to their IControlListener like any VSTGUI
// control.
#pragma once

#include "vstgui/lib/controls/cbuttons.h"
#include "vstgui/lib/controls/ccontrol.h"
#include "vstgui/lib/controls/cswitch.h"
#include "vstgui/lib/controls/ctextedit.h"

#include <vector>

namespace VSTGUI {

// Colours of every control in the editor.
constexpr CColor kv_kEnabledColor {190, 190, 190, 255};
constexpr CColor kv_kDisabledColor {85, 85, 85, 255};

// Circles and arcs through a graphics path: VSTGUI 4.13's cairo drawEllipse
// and drawArc scale the unit circle by 2/size instead of size/2 and draw
// nothing visible. Angles in degrees, clockwise on screen from the +x axis.
void kv_drawEllipse (CDrawContext* context, const CRect& rect, CDrawStyle style);
void kv_drawArc (CDrawContext* context, const CRect& rect, double startAngle, double endAngle);

// A press with the left button and exactly the reset modifier (Ctrl) sets the
// control to its default value as one complete edit. Returns true when the
// press was such a reset.
bool kv_resetToDefault (CControl* control, const CButtonState& buttons);

// 'value' rounded to the nearest multiple of 'step'; unchanged when step <= 0.
float kv_roundToStep (float value, float step);

// After a one-shot change (a wheel notch) from 'old': when the value moved and
// a listener is attached, reports it as one complete edit and redraws.
void kv_reportChange (CControl* control, float old);

class kv_CSlider : public CControl
{
public:
	static constexpr int32_t kMaxTicks = 16;

	kv_CSlider (const CRect& size, IControlListener* listener, int32_t tag, float knobSize,
	            float coarseStep, float fineStep, const CColor& enabledColor,
	            const CColor& disabledColor, float min, float max, float defaultValue);
	kv_CSlider (const kv_CSlider& other) = default;

	bool isEnabled () const { return enabled; }
	void setEnabled (bool state);
	void setLogScale (bool state) { logScale = state; }
	int32_t setTicks (int32_t count, const float* positions);
	void setEqualTicks (int32_t count);
	int32_t getTickCount () const { return tickCount; }
	void setFrame (bool on, const CColor& color);
	// Rounds the value to the coarse (or fine) step, then clamps it to the range.
	void quantize (bool fine);
	// Knob position 0..1 of the value, and the value of a knob position.
	float getPosition () const;
	void setPosition (float position);
	// One wheel movement of 'distance' notches: a coarse step each, a fine
	// step with Shift or Alt. Returns false when disabled.
	bool wheel (float distance, const CButtonState& buttons);

	void setValue (float val) override;
	void draw (CDrawContext* context) override;
	CMouseEventResult onMouseDown (CPoint& where, const CButtonState& buttons) override;
	CMouseEventResult onMouseUp (CPoint& where, const CButtonState& buttons) override;
	CMouseEventResult onMouseMoved (CPoint& where, const CButtonState& buttons) override;
	void onMouseWheelEvent (MouseWheelEvent& event) override;
	// The class's own name or a VSTGUI base's.
	bool isTypeOf (IdStringPtr s) const;
	CView* newCopy () const override { return new kv_CSlider (*this); }

private:
	bool enabled {true};
	bool logScale {false};
	int32_t tickCount {0};
	float knobSize;
	float tickPositions[kMaxTicks] {};
	float stepRatio;
	float coarseStep;
	float fineStep;
	CColor enabledColor;
	CColor disabledColor;
	bool frameOn {false};
	CColor frameColor;
	float dragAnchorValue {0.f};
	float dragAnchorPos {-1.f};
	int32_t dragButtons {0};
};

class kv_COnOffButton : public COnOffButton
{
public:
	kv_COnOffButton (const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background);
	kv_COnOffButton (const kv_COnOffButton& other) = default;

	bool isEnabled () const { return enabled; }
	void setEnabled (bool state);
	void setFrame (bool on, const CColor& color);
	// Vertical offset into the four-frame bitmap for the current state.
	CCoord frameOffset () const;

	void draw (CDrawContext* context) override;
	CMouseEventResult onMouseDown (CPoint& where, const CButtonState& buttons) override;
	// The class's own name or a VSTGUI base's.
	bool isTypeOf (IdStringPtr s) const;
	CView* newCopy () const override { return new kv_COnOffButton (*this); }

private:
	bool enabled {true};
	bool frameOn {false};
	CColor frameColor;
};

class kv_CTextEdit : public CTextEdit
{
public:
	kv_CTextEdit (int32_t tag, IControlListener* listener, const char* format, const CRect& size,
	              float defaultValue);
	kv_CTextEdit (const kv_CTextEdit& other);

	bool isEnabled () const { return enabled; }
	void setEnabled (bool state);
	void setColors (const CColor& enabledColor, const CColor& disabledColor);
	const char* getFormat () const { return format; }

	// The field's text for a value: the format, with ±∞ written as "+∞"/"-∞".
	// Writes nothing when text or format is null.
	static void formatValue (float value, char* text, const void* format);

	CMouseEventResult onMouseDown (CPoint& where, const CButtonState& buttons) override;
	void takeFocus () override;
	void looseFocus () override;
	// The class's own name or a VSTGUI base's.
	bool isTypeOf (IdStringPtr s) const;
	CView* newCopy () const override { return new kv_CTextEdit (*this); }

private:
	void installFormatter ();

	bool enabled {true};
	char format[32] {};
	CColor enabledColor;
	CColor disabledColor;
};

class kv_CVerticalSwitch : public CVerticalSwitch
{
public:
	kv_CVerticalSwitch (const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background);

	void setFrame (bool on, const CColor& color);
	void draw (CDrawContext* context) override;

private:
	bool frameOn {false};
	CColor frameColor;
};

// The window's background art as a view of its own, below every control.
// It draws only the piece of the art inside the rectangle being redrawn, and
// nothing where an opaque control (a meter, whose art covers its whole
// rectangle) paints every pixel itself. Being a child of the frame, it is
// drawn through the frame's zoom, so the art of the zoom's density is used.
//
// The pieces that controls redraw again and again are cut out of the art once
// per scale and kept: a piece of one colour (most controls sit on a plain
// panel) is filled, any other is drawn from its own small bitmap. Drawn from
// the whole art, every redraw of a control would hand the window system the
// whole picture (cairo uploads a pattern's entire image to the X server).
class kv_CBackground : public CView
{
public:
	kv_CBackground (const CRect& size, CBitmap* art);
	~kv_CBackground () override;

	// 'view' paints every pixel of its rectangle; it must outlive this view
	// or be removed first.
	void addOpaqueView (CView* view);
	void removeOpaqueViews () { opaqueViews.clear (); }

	void draw (CDrawContext* context) override { drawRect (context, getViewSize ()); }
	void drawRect (CDrawContext* context, const CRect& updateRect) override;

	// Rectangles redrawn so far (every redraw of the window passes through
	// this view), their area and the area of art drawn in them, in the
	// design's square points; pieces cut from the art.
	int64_t getUpdateCount () const { return updateCount; }
	double getUpdatedArea () const { return updatedArea; }
	double getDrawnArea () const { return drawnArea; }
	int64_t getPiecesCut () const { return piecesCut; }

private:
	struct Piece;
	const Piece& pieceFor (const CRect& rect, double scale);

	std::vector<CView*> opaqueViews;
	std::vector<Piece*> pieces;
	double piecesScale {0};
	int64_t updateCount {0};
	double updatedArea {0};
	double drawnArea {0};
	int64_t piecesCut {0};
};

} // namespace VSTGUI
