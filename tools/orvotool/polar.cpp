// Geometry and colours follow the editor's polar display: a grid of five
// circles from -20 to 0 dB (radius fraction 1 + level / 25), spokes every 30
// degrees except straight down where the scale stands, the curves drawn
// Rs, Ls, R, L, C so the centre ends on top, muted channels faded, and the
// Direction handle on the rim.
#include "polar.h"

#include "audiofile.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <cmath>
#include <memory>

namespace orvotool {

namespace {

struct Rgb
{
	double r, g, b;
};
// Per 5.1 bus channel (L R C LFE Ls Rs); the LFE has no pattern.
const Rgb kCurveColors[6] = {{255, 255, 64}, {255, 64, 64}, {255, 154, 64}, {0, 0, 0}, {70, 144, 251}, {118, 245, 100}};
const char* const kChannelNames[6] = {"L", "R", "C", "LFE", "Ls", "Rs"};
constexpr int kLfe = 3;
const Rgb kGrid {190, 190, 190};
constexpr double kMutedAlpha = 85 / 255.0;

void setColor (cairo_t* cr, const Rgb& c, double alpha = 1.0)
{
	cairo_set_source_rgba (cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, alpha);
}

// The picture: the editor's 285-pixel display, its outer circle 27.5 inside
// the rim, scaled to the picture's height, with a legend to the right.
struct Canvas
{
	cairo_t* cr;
	int height;
	double scale = height / 285.0;
	double m = height / 2.0;     // the display's centre and half size
	double radius = m - 27.5 * scale;
};

void drawDirectionHandle (const Canvas& c, double directionDeg)
{
	const double handle = 4.5 * c.scale;
	const double d = directionDeg * M_PI / 180.0;
	setColor (c.cr, kGrid);
	cairo_arc (c.cr, c.m + std::sin (d) * (c.m - handle - 0.5), c.m - std::cos (d) * (c.m - handle - 0.5), handle, 0,
	           2 * M_PI);
	cairo_fill (c.cr);
}

void drawGrid (const Canvas& c)
{
	cairo_t* cr = c.cr;
	const double R = c.radius, cx = c.m, cy = c.m;
	cairo_select_font_face (cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
	cairo_set_font_size (cr, 10 * c.scale);
	cairo_text_extents_t ext;
	cairo_text_extents (cr, "-20", &ext);
	const double gap = ext.width / 2 + 2 * c.scale;
	setColor (cr, kGrid, 140 / 255.0);
	cairo_set_line_width (cr, 0.5 * c.scale);
	for (int i = 1; i <= 11; ++i)
	{
		const double phi = (i * 30.0 + 90.0) * M_PI / 180.0;
		cairo_move_to (cr, cx + std::cos (phi) * 0.2 * R, cy + std::sin (phi) * 0.2 * R);
		cairo_line_to (cr, cx + std::cos (phi) * R, cy + std::sin (phi) * R);
	}
	cairo_stroke (cr);
	const char* labels[5] = {"-20", "-15", "-10", "-5", "0"};
	for (int k = 1; k <= 5; ++k)
	{
		// Each circle leaves a gap at the bottom for its level.
		const double r = 0.2 * k * R;
		const double theta = std::asin (std::min (1.0, gap / r));
		cairo_new_sub_path (cr);
		cairo_arc (cr, cx, cy, r, M_PI / 2 + theta, M_PI / 2 - theta + 2 * M_PI);
		cairo_stroke (cr);
		setColor (cr, kGrid, 128 / 255.0);
		cairo_text_extents (cr, labels[k - 1], &ext);
		cairo_move_to (cr, cx - ext.width / 2 - ext.x_bearing, cy + r + ext.height / 2 - 2 * c.scale);
		cairo_show_text (cr, labels[k - 1]);
		setColor (cr, kGrid, 140 / 255.0);
	}
}

void drawCurves (const Canvas& c, const OrvoResponseRecord& response, const bool carried[6])
{
	cairo_t* cr = c.cr;
	cairo_set_line_width (cr, 3 * c.scale);
	cairo_set_line_join (cr, CAIRO_LINE_JOIN_ROUND);
	const int order[5] = {5, 4, 1, 0, 2};
	const int points = std::min<int> (response.numPoints, kOrvoResponsePoints);
	for (int j : order)
	{
		if (j >= response.numChannels || j == kLfe || !carried[j])
			continue;
		setColor (cr, kCurveColors[j], response.channelMuted[j] ? kMutedAlpha : 1.0);
		for (int k = 0; k < points; ++k)
		{
			const double t = response.angle[k];
			const double rho = response.response[j][k];
			const double x = c.m + std::sin (t) * rho * c.radius, y = c.m - std::cos (t) * rho * c.radius;
			k ? cairo_line_to (cr, x, y) : cairo_move_to (cr, x, y);
		}
		cairo_close_path (cr);
		cairo_stroke (cr);
	}
}

// The legend: the channels, then the settings.
void drawLegend (const Canvas& c, Controller& controller, const OrvoResponseRecord& response,
                 const bool carried[6])
{
	cairo_t* cr = c.cr;
	const double scale = c.scale, x = c.height + 10 * scale, line = 10.5 * scale;
	double y = 16 * scale;
	cairo_set_font_size (cr, 9 * scale);
	setColor (cr, kGrid);
	cairo_move_to (cr, x, y);
	cairo_show_text (cr, "Polar patterns (dB), front up, left to the left");
	y += line * 1.4;
	for (int j = 0; j < 6 && j < response.numChannels; ++j)
	{
		if (j == kLfe || !carried[j])
			continue;
		setColor (cr, kCurveColors[j], response.channelMuted[j] ? kMutedAlpha : 1.0);
		cairo_set_line_width (cr, 3 * scale);
		cairo_move_to (cr, x, y - 3 * scale);
		cairo_line_to (cr, x + 18 * scale, y - 3 * scale);
		cairo_stroke (cr);
		setColor (cr, kGrid);
		cairo_move_to (cr, x + 24 * scale, y);
		cairo_show_text (cr, (std::string (kChannelNames[j]) + (response.channelMuted[j] ? " (muted)" : "")).c_str ());
		y += line;
	}
	y += line * 0.5;
	cairo_set_font_size (cr, 6.5 * scale);
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
	{
		const ParamDesc* p = controller.find (id);
		if (!p)
			continue;
		setColor (cr, kGrid, 0.8);
		cairo_move_to (cr, x, y);
		cairo_show_text (cr, p->title.c_str ());
		setColor (cr, kGrid);
		cairo_move_to (cr, x + 95 * scale, y);
		cairo_show_text (cr, controller.text (id, controller.normalized (id), true).c_str ());
		y += 8 * scale;
	}
}

bool finishPicture (cairo_surface_t* surface, const std::string& path, bool svg, std::string& error)
{
	bool ok = true;
	if (!svg)
		ok = cairo_surface_write_to_png (surface, path.c_str ()) == CAIRO_STATUS_SUCCESS;
	cairo_surface_finish (surface);
	ok = ok && cairo_surface_status (surface) == CAIRO_STATUS_SUCCESS;
	cairo_surface_destroy (surface);
	if (!ok)
		error = path + ": cannot write the picture";
	return ok;
}

} // namespace

bool drawPolar (Controller& controller, const std::string& path, bool svg, int height, std::string& error)
{
	auto response = std::make_unique<OrvoResponseRecord> ();
	if (!controller.response (*response, error))
		return false;
	const double width = height * 1.75;
	cairo_surface_t* surface = svg ? cairo_svg_surface_create (path.c_str (), width, height)
	                               : cairo_image_surface_create (CAIRO_FORMAT_ARGB32, static_cast<int> (width), height);
	if (cairo_surface_status (surface) != CAIRO_STATUS_SUCCESS)
	{
		error = path + ": cannot create the picture";
		cairo_surface_destroy (surface);
		return false;
	}
	const Canvas canvas {cairo_create (surface), height};
	cairo_set_source_rgb (canvas.cr, 0.13, 0.14, 0.16);
	cairo_paint (canvas.cr);

	// The channels the output format carries (the others hold no signal).
	bool carried[6] = {};
	for (int c : outputLayout (controller.outputFormat (), true).busChannels)
		carried[c] = true;
	drawDirectionHandle (canvas, controller.plain (kParamDirection));
	drawGrid (canvas);
	drawCurves (canvas, *response, carried);
	drawLegend (canvas, controller, *response, carried);
	cairo_destroy (canvas.cr);
	return finishPicture (surface, path, svg, error);
}

} // namespace orvotool
