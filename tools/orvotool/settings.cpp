#include "settings.h"

#include "names.h"
#include "status.h"
#include "text.h"
#include "values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvotool {

namespace {

// One --set, read.
struct Assignment
{
	std::string text;      // as typed, for messages
	const ParamDesc* param {nullptr};
	ParamValue normalized {0.0};
};

std::string quoted (const std::string& s)
{
	return "\"" + s + "\"";
}

// The host's own word for a switch or list value typed in any case, or the
// editor's caption for one; false when the text names none.
bool valueWord (Controller& c, const ParamDesc& p, const std::string& text, std::string& word)
{
	const ParamID id = p.info.id;
	double plain = 0.0;
	if (findEditorValue (id, text, plain))
	{
		word = c.text (id, c.toNormalized (id, plain));
		return true;
	}
	for (int32 k = 0; k <= p.info.stepCount; ++k)
	{
		const std::string entry = c.text (id, static_cast<double> (k) / p.info.stepCount);
		if (nameKey (entry) == nameKey (text))
		{
			word = entry;
			return true;
		}
	}
	return false;
}

// Whether a number the host read lies outside the range: printed back, the
// value must give the number typed, to the printed precision (the host holds
// a number beyond its range at the range's end).
bool outsideRange (Controller& c, const ParamDesc& p, double number, ParamValue n)
{
	if (n < 0.0 || n > 1.0)
		return true;
	if (p.isList ())
		return false;
	double back = 0.0;
	int decimals = 0;
	if (!leadingNumber (c.text (p.info.id, n), back, decimals))
		return number != c.toPlain (p.info.id, n); // printed as a word ("On")
	if (std::isinf (back) || std::isinf (number))
		return back != number;
	const double tolerance = 0.5 * std::pow (10.0, -decimals) * (1.0 + 1e-9);
	return std::fabs (back - number) > tolerance;
}

// The normalized value of a value text for p; false with the reason.
bool readValue (Controller& c, const ParamDesc& p, const std::string& raw, ParamValue& normalized,
                std::string& error)
{
	const std::string text = trim (raw), what = quoted (p.title + "=" + raw) + ": ";
	std::string word;
	if (p.info.stepCount >= 1 && valueWord (c, p, text, word))
		return c.fromText (p.info.id, word, normalized);

	TypedNumber number;
	std::string why;
	const NumberReading reading = readNumber (text, p.units, number, why);
	if (reading == NumberReading::kNotANumber)
		error = what + "not a value of " + p.title + "; it takes " + rangeText (c, p);
	else if (reading == NumberReading::kRefused)
		error = what + why + "; " + p.title + " takes " + rangeText (c, p) +
		        (p.units.empty () ? "" : " (units: " + unitsAccepted (p.units) + ")");
	if (reading != NumberReading::kNumber)
		return false;

	ParamValue n = 0.0;
	const std::string converted = number.converted ? number.hostText + " " + p.units + " is " : "";
	if (!c.fromText (p.info.id, number.hostText, n) || outsideRange (c, p, number.value, n))
	{
		error = what + converted + "outside the range of " + p.title + " (" + rangeText (c, p) + ")";
		return false;
	}
	normalized = std::clamp (n, 0.0, 1.0);
	return true;
}

bool readAssignment (Controller& c, const std::string& text, Assignment& a, std::string& error)
{
	const auto eq = text.find ('=');
	if (eq == std::string::npos)
	{
		error = quoted (text) + ": a setting is written Name=value, e.g. \"Width=70\"";
		return false;
	}
	const std::string name = text.substr (0, eq);
	a.text = text;
	a.param = c.findByTitle (name);
	if (!a.param)
		a.param = c.find (findEditorName (name));
	if (!a.param)
	{
		error = quoted (text) + ": no parameter " + quoted (trim (name)) + " (orvotool params lists them)";
		return false;
	}
	if ((a.param->info.flags & ParameterInfo::kIsReadOnly) || a.param->info.id > kLastSetting)
	{
		error = quoted (text) + ": " + a.param->title + " is a meter, not a setting";
		return false;
	}
	return readValue (c, *a.param, text.substr (eq + 1), a.normalized, error);
}

} // namespace

std::string rangeText (Controller& c, const ParamDesc& p)
{
	const ParamID id = p.info.id;
	if (p.isList ())
	{
		std::string list;
		for (int32 i = 0; i <= p.info.stepCount; ++i)
			list += (i ? ", " : "") + c.text (id, static_cast<double> (i) / p.info.stepCount);
		return list + " (or the index 0 to " + std::to_string (p.info.stepCount) + ")";
	}
	double ignored = 0.0;
	int decimals = 0;
	if (p.isSwitch () || !leadingNumber (c.text (id, 0.0), ignored, decimals))
		return c.text (id, 0.0) + " or " + c.text (id, 1.0);
	// A fader whose bottom end is minus infinity: its finite range starts
	// just above.
	const std::string bottom = c.text (id, 0.0), aboveBottom = c.text (id, 1e-9);
	if (bottom != aboveBottom)
		return bottom + ", or " + aboveBottom + " to " + c.text (id, 1.0, true);
	return bottom + " to " + c.text (id, 1.0, true);
}

bool resolveSettings (Controller& c, const Plugin& plugin, const std::string& presetPath,
                      const std::vector<std::string>& assignments, std::string& error)
{
	// Choosing a format loads its whole preset row, as in the editor: what
	// came before it on the command line is gone. Said once, so a setting
	// typed before the format is not lost without a word.
	std::vector<std::string> before;
	if (!presetPath.empty ())
	{
		if (!c.loadPreset (presetPath, plugin.effectClass (), error))
			return false;
		before.push_back ("the settings of " + presetPath);
	}
	for (const auto& text : assignments)
	{
		Assignment a;
		if (!readAssignment (c, text, a, error))
			return false;
		c.edit (a.param->info.id, a.normalized);
		if (a.param->info.id != kParamOutFormat)
		{
			before.push_back (quoted (text));
			continue;
		}
		for (const auto& lost : before)
			warn (quoted (text) + " loads its preset row and replaces " + lost + "; give settings after the format");
		before.clear ();
	}
	return true;
}

void printSettings (Controller& c, FILE* out)
{
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
		if (const ParamDesc* p = c.find (id))
			std::fprintf (out, "  %-26s %s\n", p->title.c_str (), c.text (id, c.normalized (id), true).c_str ());
}

} // namespace orvotool
