// orvoart: draws the editors' 24 images (resource ids 101 to 124: the
// decoder's 101 to 122, the monitor's 123 and 124) with cairo and writes them
// as <dir>/bmp00101.png ... bmp00124.png, the names VSTGUI loads integer
// resource ids from on Linux, and each again at twice the resolution as
// bmp00101_2x.png ... bmp00124_2x.png, which the editors add to their bitmaps
// for zoomed and high-density windows. Both sets are drawn from
// the same vector code, so a 1-pixel line of the 1x art is 2 crisp pixels in
// the 2x art.
//
//   orvoart <output folder>
//
// Every size, frame count and frame order is what the editor's controls
// expect: multi-frame images hold equal frames stacked vertically. Captions
// are drawn in Liberation Sans, the editor's text font; the program refuses
// to run when fontconfig would substitute another family, so the art is the
// same on every machine.

#include "module/version.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kFontFamily = "Liberation Sans";
constexpr double kPi = 3.14159265358979323846;

struct Rgb
{
	double r, g, b;
};

constexpr Rgb rgb (int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

// Palette. The two control greys are the editor's enabled (190) and
// disabled (85) colours, so captions, sliders and fields dim together.
constexpr Rgb kWindow = rgb (20, 22, 25);
constexpr Rgb kSidePanel = rgb (35, 38, 43);
constexpr Rgb kCentrePanel = rgb (49, 53, 59);
constexpr Rgb kPanelEdge = rgb (62, 67, 74);
constexpr Rgb kWell = rgb (24, 26, 29);
constexpr Rgb kWellRim = rgb (74, 80, 88);
constexpr Rgb kLight = rgb (190, 190, 190);
constexpr Rgb kDim = rgb (85, 85, 85);
constexpr Rgb kSelected = rgb (232, 232, 232);
constexpr Rgb kUnselected = rgb (140, 140, 140);
constexpr Rgb kSection = rgb (128, 168, 196);
constexpr Rgb kRule = rgb (70, 76, 84);
constexpr Rgb kCaption = rgb (165, 165, 165);
constexpr Rgb kMeterGrey = rgb (190, 190, 190);
constexpr Rgb kMeterYellow = rgb (236, 200, 64);
constexpr Rgb kMeterRed = rgb (226, 72, 60);
constexpr Rgb kMeterOff = rgb (44, 47, 52);
constexpr Rgb kMuteOn = rgb (214, 96, 74);
constexpr Rgb kMuteOnDim = rgb (98, 58, 52);
constexpr Rgb kBlack = rgb (0, 0, 0);
constexpr Rgb kCard = rgb (58, 62, 68);

enum class Align
{
	Left,
	Centre,
	Right
};

size_t codePoints (const char* s)
{
	size_t n = 0;
	for (; *s; ++s)
		n += (static_cast<unsigned char> (*s) & 0xC0) != 0x80;
	return n;
}

void setColour (cairo_t* cr, Rgb c) { cairo_set_source_rgb (cr, c.r, c.g, c.b); }

void setFont (cairo_t* cr, double size, bool bold = false)
{
	cairo_select_font_face (cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL,
	                        bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
	cairo_set_font_size (cr, size);
}

double textWidth (cairo_t* cr, const char* text)
{
	cairo_text_extents_t e;
	cairo_text_extents (cr, text, &e);
	return e.x_advance;
}

// Text with its x-height centred on y (so lines of any case sit alike).
void text (cairo_t* cr, const char* s, double x, double y, Align align, Rgb colour,
           double spacing = 0)
{
	cairo_font_extents_t fe;
	cairo_font_extents (cr, &fe);
	double width = textWidth (cr, s) + spacing * std::max<double> (0, codePoints (s) - 1.0);
	double left = align == Align::Left ? x : align == Align::Centre ? x - width / 2 : x - width;
	double baseline = std::round (y + (fe.ascent - fe.descent) / 2);
	setColour (cr, colour);
	if (spacing == 0)
	{
		cairo_move_to (cr, std::round (left), baseline);
		cairo_show_text (cr, s);
		return;
	}
	double pen = std::round (left);
	for (const char* p = s; *p;)
	{
		// One UTF-8 sequence: the lead byte and its continuation bytes.
		std::string one (1, *p++);
		while ((static_cast<unsigned char> (*p) & 0xC0) == 0x80)
			one += *p++;
		cairo_move_to (cr, pen, baseline);
		cairo_show_text (cr, one.c_str ());
		pen += textWidth (cr, one.c_str ()) + spacing;
	}
}

void roundedRect (cairo_t* cr, double x, double y, double w, double h, double r)
{
	cairo_new_sub_path (cr);
	cairo_arc (cr, x + w - r, y + r, r, -kPi / 2, 0);
	cairo_arc (cr, x + w - r, y + h - r, r, 0, kPi / 2);
	cairo_arc (cr, x + r, y + h - r, r, kPi / 2, kPi);
	cairo_arc (cr, x + r, y + r, r, kPi, 3 * kPi / 2);
	cairo_close_path (cr);
}

void panel (cairo_t* cr, double x, double y, double w, double h, Rgb fill)
{
	roundedRect (cr, x + 0.5, y + 0.5, w - 1, h - 1, 6);
	setColour (cr, fill);
	cairo_fill_preserve (cr);
	setColour (cr, kPanelEdge);
	cairo_set_line_width (cr, 1);
	cairo_stroke (cr);
}

// A section caption in small spaced capitals with a rule to 'ruleEnd'.
void section (cairo_t* cr, const char* s, double x, double y, double ruleEnd)
{
	setFont (cr, 10.5, true);
	text (cr, s, x, y, Align::Left, kSection, 1.2);
	double width = textWidth (cr, s) + 1.2 * (codePoints (s) - 1);
	setColour (cr, kRule);
	cairo_set_line_width (cr, 1);
	cairo_move_to (cr, std::round (x + width + 8), std::round (y) + 0.5);
	cairo_line_to (cr, ruleEnd, std::round (y) + 0.5);
	cairo_stroke (cr);
}

// One image: a surface of the whole size, frames drawn by 'frame(cr, index)'
// each translated to its own slot.
class Image
{
public:
	// 'scale' is the art's pixel density: sizes and coordinates stay in the
	// editor's points, the surface has scale x as many pixels each way.
	Image (int width, int frameHeight, int frames, int scale)
	: width (width), frameHeight (frameHeight), frames (frames), scale (scale)
	{
		surface = cairo_image_surface_create (CAIRO_FORMAT_ARGB32, width * scale,
		                                      frameHeight * frames * scale);
		cr = cairo_create (surface);
		cairo_scale (cr, scale, scale);
		cairo_font_options_t* options = cairo_font_options_create ();
		cairo_font_options_set_antialias (options, CAIRO_ANTIALIAS_GRAY);
		cairo_font_options_set_hint_style (options, CAIRO_HINT_STYLE_SLIGHT);
		cairo_font_options_set_hint_metrics (options, CAIRO_HINT_METRICS_ON);
		cairo_set_font_options (cr, options);
		cairo_font_options_destroy (options);
	}
	~Image ()
	{
		cairo_destroy (cr);
		cairo_surface_destroy (surface);
	}

	template <typename Draw>
	void eachFrame (Draw draw)
	{
		for (int i = 0; i < frames; ++i)
		{
			cairo_save (cr);
			cairo_rectangle (cr, 0, i * frameHeight, width, frameHeight);
			cairo_clip (cr);
			cairo_translate (cr, 0, i * frameHeight);
			draw (cr, i);
			cairo_restore (cr);
		}
	}

	bool write (const std::string& folder, int id)
	{
		char name[32];
		std::snprintf (name, sizeof (name), scale == 1 ? "/bmp%05d.png" : "/bmp%05d_%dx.png", id,
		               scale);
		std::string path = folder + name;
		cairo_surface_flush (surface);
		if (cairo_surface_write_to_png (surface, path.c_str ()) != CAIRO_STATUS_SUCCESS)
		{
			std::fprintf (stderr, "orvoart: cannot write %s\n", path.c_str ());
			return false;
		}
		return true;
	}

	cairo_t* cr;
	const int width, frameHeight, frames, scale;

private:
	cairo_surface_t* surface;
};

//------------------------------------------------------------------------
// Window background (101)
//------------------------------------------------------------------------
constexpr double kWellX = 477.5, kWellY = 185.5, kWellRadius = 142.5;

void titleArt (cairo_t* cr, double cx, double top)
{
	setFont (cr, 34, true);
	text (cr, ORVO_PLUGIN_NAME, cx, top + 22, Align::Centre, rgb (222, 224, 226), 1.5);
	setFont (cr, 11);
	text (cr, "DOUBLE MID-SIDE SURROUND DECODER", cx, top + 52, Align::Centre, kSection, 1.6);
	setFont (cr, 12);
	text (cr, "by " ORVO_VENDOR, cx, top + 72, Align::Centre, kCaption);
}

void background (cairo_t* cr, int)
{
	setColour (cr, kWindow);
	cairo_paint (cr);
	panel (cr, 8, 8, 294, 494, kSidePanel);
	panel (cr, 308, 8, 339, 494, kCentrePanel);
	panel (cr, 653, 8, 294, 494, kSidePanel);

	// The well that holds the polar display: flat, with a soft inner ring.
	cairo_arc (cr, kWellX, kWellY, kWellRadius, 0, 2 * kPi);
	setColour (cr, kWell);
	cairo_fill (cr);
	cairo_arc (cr, kWellX, kWellY, kWellRadius - 2, 0, 2 * kPi);
	cairo_set_source_rgba (cr, 0, 0, 0, 0.35);
	cairo_set_line_width (cr, 3);
	cairo_stroke (cr);
	cairo_arc (cr, kWellX, kWellY, kWellRadius + 0.5, 0, 2 * kPi);
	setColour (cr, kWellRim);
	cairo_set_line_width (cr, 1.5);
	cairo_stroke (cr);

	// Left column.
	section (cr, "POLAR PATTERN", 24, 28, 286);
	section (cr, "AMBIENCE", 24, 188, 286);
	section (cr, "MICROPHONE ANGLE", 24, 270, 286);
	section (cr, "SURROUND DELAY", 24, 372, 286);
	section (cr, "SURROUND LOWPASS", 24, 434, 286);

	// Right column.
	section (cr, "OUTPUT FORMAT", 669, 28, 931);
	section (cr, "OUTPUT GAIN", 669, 145, 931);
	section (cr, "INPUT LEVEL", 669, 243, 931);
	section (cr, "OUTPUT LEVEL", 669, 346, 931);
	setFont (cr, 11.5);
	const char* inputs[] = {"Cardioid Front", "Figure of Eight", "Cardioid Rear"};
	const double inputTops[] = {262, 285, 308};
	for (int i = 0; i < 3; ++i)
		text (cr, inputs[i], 815, inputTops[i] + 5.5, Align::Right, kCaption);
	const char* outputs[] = {"Left", "Right", "Center", "Left Surround", "Right Surround"};
	const double outputTops[] = {365, 388, 411, 434, 457};
	for (int i = 0; i < 5; ++i)
		text (cr, outputs[i], 815, outputTops[i] + 5.5, Align::Right, kCaption);
	// dB scale under the output meters: the strip is -60 to 0 dB over 101 px.
	setFont (cr, 9);
	const int marks[] = {-60, -40, -20, 0};
	for (int dB : marks)
	{
		double x = 825 + (dB + 60) / 60.0 * 100;
		char label[8];
		std::snprintf (label, sizeof (label), "%d", dB);
		text (cr, label, x, 481, dB == 0 ? Align::Right : (dB == -60 ? Align::Left : Align::Centre),
		      kUnselected);
	}

	titleArt (cr, kWellX, 372);
}

//------------------------------------------------------------------------
// About screen (102)
//------------------------------------------------------------------------
void aboutScreen (cairo_t* cr, int)
{
	setColour (cr, kBlack);
	cairo_paint (cr);
	const double cx = 477.5, cardW = 440, cardH = 316;
	roundedRect (cr, cx - cardW / 2, 105, cardW, cardH, 10);
	setColour (cr, kCard);
	cairo_fill_preserve (cr);
	setColour (cr, kWellRim);
	cairo_set_line_width (cr, 1);
	cairo_stroke (cr);
	titleArt (cr, cx, 140);
	setFont (cr, 12.5);
	text (cr, "Version " ORVO_VERSION_STR, cx, 250, Align::Centre, kSelected);
	setFont (cr, 11.5);
	text (cr, "Decodes a double mid-side array (front cardioid, figure of eight,", cx, 282,
	      Align::Centre, kLight);
	text (cr, "rear cardioid) into stereo, L/C/R, quad or 5.1 surround.", cx, 299,
	      Align::Centre, kLight);
	text (cr, "Orvotool Monitor's built-in head-related responses: MIT KEMAR", cx, 324, Align::Centre,
	      kCaption);
	text (cr, "(W. G. Gardner and K. D. Martin, MIT Media Lab, 1994).", cx, 339, Align::Centre, kCaption);
	text (cr, "\xC2\xA9 " ORVO_VENDOR "  \xC2\xB7  free software under the GPL, version 3 or later", cx, 362,
	      Align::Centre, kCaption);
	text (cr, "VST is a trademark of Steinberg Media Technologies GmbH.", cx, 377,
	      Align::Centre, kCaption);
	setFont (cr, 10.5);
	text (cr, "Click to close", cx, 403, Align::Centre, kUnselected);
}

//------------------------------------------------------------------------
// Controls
//------------------------------------------------------------------------
// Check box (103) and mute button (104): off/on x enabled/disabled.
void checkBox (cairo_t* cr, int frame)
{
	const bool on = frame == 1 || frame == 3;
	const bool enabled = frame < 2;
	Rgb c = enabled ? kLight : kDim;
	cairo_set_line_width (cr, 1);
	cairo_rectangle (cr, 0.5, 0.5, 9, 9);
	setColour (cr, c);
	cairo_stroke (cr);
	if (on)
	{
		cairo_rectangle (cr, 2, 2, 6, 6);
		setColour (cr, enabled ? kLight : kDim);
		cairo_fill (cr);
	}
}

void muteButton (cairo_t* cr, int frame)
{
	const bool on = frame == 1 || frame == 3;
	const bool enabled = frame < 2;
	Rgb edge = enabled ? kLight : kDim;
	if (on)
	{
		cairo_rectangle (cr, 0, 0, 10, 10);
		setColour (cr, enabled ? kMuteOn : kMuteOnDim);
		cairo_fill (cr);
	}
	cairo_rectangle (cr, 0.5, 0.5, 9, 9);
	setColour (cr, on ? (enabled ? kMuteOn : kMuteOnDim) : edge);
	cairo_set_line_width (cr, 1);
	cairo_stroke (cr);
	// The letter M, drawn as lines so it stays crisp at this size.
	cairo_move_to (cr, 2.5, 7.5);
	cairo_line_to (cr, 2.5, 2.5);
	cairo_line_to (cr, 5, 5.5);
	cairo_line_to (cr, 7.5, 2.5);
	cairo_line_to (cr, 7.5, 7.5);
	setColour (cr, on ? rgb (20, 20, 20) : edge);
	cairo_set_line_width (cr, 1);
	cairo_stroke (cr);
}

// Radio dots, 20 px apart, centred 6 px into each line; 'selected' is filled.
void radioDots (cairo_t* cr, int count, int selected)
{
	cairo_set_line_width (cr, 1);
	for (int i = 0; i < count; ++i)
	{
		double y = 6 + 20 * i;
		cairo_arc (cr, 5, y, 4.2, 0, 2 * kPi);
		setColour (cr, kLight);
		cairo_stroke (cr);
		if (i == selected)
		{
			cairo_arc (cr, 5, y, 2.6, 0, 2 * kPi);
			setColour (cr, kSelected);
			cairo_fill (cr);
		}
	}
}

// Caption lines beside radio dots: 20 px apart, the selected one brighter.
void captionLines (cairo_t* cr, const std::vector<const char*>& lines, int selected, double width)
{
	for (size_t i = 0; i < lines.size (); ++i)
	{
		const bool sel = static_cast<int> (i) == selected;
		double size = 12.5;
		setFont (cr, size, sel);
		while (textWidth (cr, lines[i]) > width - 2 && size > 8)
			setFont (cr, size -= 0.5, sel);
		text (cr, lines[i], 1, 7 + 20.0 * i, Align::Left, sel ? kSelected : kUnselected);
	}
}

void meterStrip (cairo_t* cr, bool on)
{
	// Ten segments of 9 px with 1 px gaps: -60 to 0 dB in 6 dB steps, on the
	// panel's colour, so that a meter covers every pixel of its rectangle and
	// the editor need not draw the background beneath it.
	setColour (cr, kSidePanel);
	cairo_paint (cr);
	for (int i = 0; i < 10; ++i)
	{
		Rgb c = !on ? kMeterOff : i < 7 ? kMeterGrey : i < 9 ? kMeterYellow : kMeterRed;
		cairo_rectangle (cr, i * 10.1, 1, 9, 9);
		setColour (cr, c);
		cairo_fill (cr);
	}
}

//------------------------------------------------------------------------
// The monitor's window background (123), 640 x 420: the head's well on the
// left, the response set and the output on the right. The places match
// source/editor/orvomonitorview.cpp.
//------------------------------------------------------------------------
constexpr double kMonWellX = 198, kMonWellY = 206, kMonWellRadius = 158;
constexpr Rgb kMonRing = rgb (62, 67, 74);

// The set's citation, which its licence asks every user of the set to show.
constexpr const char* kKemarCredit = "HRTF: MIT KEMAR, Gardner and Martin, 1994";

void monitorBackground (cairo_t* cr, int)
{
	setColour (cr, kWindow);
	cairo_paint (cr);
	panel (cr, 8, 8, 380, 404, kCentrePanel);
	panel (cr, 394, 8, 238, 404, kSidePanel);

	cairo_arc (cr, kMonWellX, kMonWellY, kMonWellRadius, 0, 2 * kPi);
	setColour (cr, kWell);
	cairo_fill (cr);
	cairo_arc (cr, kMonWellX, kMonWellY, kMonWellRadius - 2, 0, 2 * kPi);
	cairo_set_source_rgba (cr, 0, 0, 0, 0.35);
	cairo_set_line_width (cr, 3);
	cairo_stroke (cr);
	cairo_arc (cr, kMonWellX, kMonWellY, kMonWellRadius + 0.5, 0, 2 * kPi);
	setColour (cr, kWellRim);
	cairo_set_line_width (cr, 1.5);
	cairo_stroke (cr);
	// Faint rings where the loudspeakers stand (104) and where the handle
	// runs (144), in the top view's own coordinates.
	cairo_arc (cr, kMonWellX, kMonWellY, 104, 0, 2 * kPi);
	setColour (cr, kMonRing);
	cairo_set_line_width (cr, 1);
	cairo_stroke (cr);
	section (cr, "HEAD ROTATION", 24, 28, 266);

	const double cx = 513;
	setFont (cr, 22, true);
	text (cr, ORVO_MONITOR_NAME, cx, 34, Align::Centre, rgb (222, 224, 226), 0.5);
	setFont (cr, 9.5);
	text (cr, "LOUDSPEAKERS ON HEADPHONES", cx, 56, Align::Centre, kSection, 1.2);
	section (cr, "HRTF", 410, 92, 616);
	section (cr, "OUTPUT", 410, 214, 616);

	setFont (cr, 11);
	text (cr, "Drag the ring to turn the head;", cx, 318, Align::Centre, kCaption);
	text (cr, "double-click or Ctrl-click faces front.", cx, 334, Align::Centre, kCaption);
	double size = 10;
	setFont (cr, size);
	while (textWidth (cr, kKemarCredit) > 222 && size > 8)
		setFont (cr, size -= 0.5);
	text (cr, kKemarCredit, cx, 392, Align::Centre, kUnselected);
}

// A caption in the row height: right-aligned labels end at the image's right
// edge, units start at its left.
void caption (cairo_t* cr, const char* s, int width, double height, Rgb colour, Align align,
              double size = 12)
{
	setFont (cr, size);
	while (textWidth (cr, s) > width && size > 8)
		setFont (cr, size -= 0.5);
	// A pixel above the middle: level with the numbers in the fields.
	double x = align == Align::Right ? width : 0;
	text (cr, s, x, height / 2 - 1, align, colour);
}

bool writeAll (const std::string& folder, int scale)
{
	bool ok = true;
	auto single = [&] (int id, int w, int h, void (*draw) (cairo_t*, int)) {
		Image img (w, h, 1, scale);
		img.eachFrame (draw);
		ok = img.write (folder, id) && ok;
	};
	single (101, 955, 510, background);
	single (102, 955, 510, aboutScreen);
	{
		Image img (10, 10, 4, scale);
		img.eachFrame (checkBox);
		ok = img.write (folder, 103) && ok;
	}
	{
		Image img (10, 10, 4, scale);
		img.eachFrame (muteButton);
		ok = img.write (folder, 104) && ok;
	}
	{
		Image img (10, 40, 2, scale);
		img.eachFrame ([] (cairo_t* cr, int f) { radioDots (cr, 2, f); });
		ok = img.write (folder, 105) && ok;
	}
	{
		Image img (10, 80, 4, scale);
		img.eachFrame ([] (cairo_t* cr, int f) { radioDots (cr, 4, f); });
		ok = img.write (folder, 106) && ok;
	}
	single (107, 101, 11, [] (cairo_t* cr, int) { meterStrip (cr, true); });
	single (108, 101, 11, [] (cairo_t* cr, int) { meterStrip (cr, false); });
	{
		Image img (113, 40, 2, scale);
		img.eachFrame ([] (cairo_t* cr, int f) {
			captionLines (cr, {"First Order", "Enhanced Pattern"}, f, 113);
		});
		ok = img.write (folder, 109) && ok;
	}
	// Four-frame label buttons: light, light, dim, dim.
	auto labelButton = [&] (int id, int w, const char* s, Align align) {
		Image img (w, 14, 4, scale);
		img.eachFrame ([&] (cairo_t* cr, int f) {
			caption (cr, s, w, 14, f < 2 ? kLight : kDim, align);
		});
		ok = img.write (folder, id) && ok;
	};
	labelButton (110, 87, "Decorrelation", Align::Left);
	{
		Image img (82, 80, 4, scale);
		img.eachFrame ([] (cairo_t* cr, int f) {
			captionLines (cr, {"L, R", "L, R, C", "L, R, Ls, Rs", "L, R, C, Ls, Rs"}, f, 82);
		});
		ok = img.write (folder, 111) && ok;
	}
	// Two-frame labels and units: dim, light.
	auto label = [&] (int id, int w, int h, const char* s, Align align) {
		Image img (w, h, 2, scale);
		img.eachFrame ([&] (cairo_t* cr, int f) {
			caption (cr, s, w, h, f == 0 ? kDim : kLight, align);
		});
		ok = img.write (folder, id) && ok;
	};
	label (112, 10, 14, "C", Align::Right);
	label (113, 22, 14, "L, R", Align::Right);
	label (114, 35, 14, "Ls, Rs", Align::Right);
	labelButton (115, 35, "Ls, Rs", Align::Right);
	label (116, 36, 14, "Focus", Align::Right);
	label (117, 30, 14, "Gain", Align::Right);
	label (118, 42, 14, "Rotate", Align::Right);
	label (119, 17, 15, "dB", Align::Left);
	label (120, 24, 15, "deg", Align::Left);
	label (121, 17, 15, "Hz", Align::Left);
	label (122, 19, 15, "ms", Align::Left);
	// The monitor's editor.
	single (123, 640, 420, monitorBackground);
	labelButton (124, 30, "LFE", Align::Left);
	return ok;
}

// fontconfig substitutes silently; a different family would change every
// caption's pixels, so insist on the real one.
bool fontAvailable ()
{
	if (!FcInit ())
		return false;
	FcPattern* pattern = FcNameParse (reinterpret_cast<const FcChar8*> (kFontFamily));
	FcConfigSubstitute (nullptr, pattern, FcMatchPattern);
	FcDefaultSubstitute (pattern);
	FcResult result;
	FcPattern* match = FcFontMatch (nullptr, pattern, &result);
	bool found = false;
	FcChar8* family = nullptr;
	if (match && FcPatternGetString (match, FC_FAMILY, 0, &family) == FcResultMatch)
		found = std::strcmp (reinterpret_cast<const char*> (family), kFontFamily) == 0;
	if (match)
		FcPatternDestroy (match);
	FcPatternDestroy (pattern);
	return found;
}

} // namespace

int main (int argc, char** argv)
{
	if (argc != 2)
	{
		std::fprintf (stderr, "usage: orvoart <output folder>\n");
		return 2;
	}
	if (!fontAvailable ())
	{
		std::fprintf (stderr, "orvoart: the font \"%s\" is not installed (Debian: fonts-liberation2)\n",
		              kFontFamily);
		return 1;
	}
	// The editor's two densities: 1x, and 2x for zoomed and high-density windows.
	const bool ok1 = writeAll (argv[1], 1);
	const bool ok2 = writeAll (argv[1], 2);
	return ok1 && ok2 ? 0 : 1;
}
