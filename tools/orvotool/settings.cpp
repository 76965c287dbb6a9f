#include "presets.h"
#include "settings.h"

#include "names.h"
#include "status.h"
#include "text.h"
#include "values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

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
	if (a.param->info.flags & ParameterInfo::kIsBypass)
	{
		error = quoted (text) + ": " + a.param->title +
		        " is the host's switch that passes the capsules through undecoded, not a setting";
		return false;
	}
	if ((a.param->info.flags & ParameterInfo::kIsReadOnly) || a.param->info.id > kLastSetting)
	{
		error = quoted (text) + ": " + a.param->title + " is a meter, not a setting";
		return false;
	}
	return readValue (c, *a.param, text.substr (eq + 1), a.normalized, error);
}

//------------------------------------------------------------------------
// What a format's preset row does, for the warning that it replaced
// earlier settings: the settings it sets away from their defaults, and that
// every other one (Focus and Direction among them) returns to its default.
std::string rowSummary (Controller& c, int row)
{
	const SettingValues values = c.formatPreset (row);
	std::vector<std::string> set;
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
	{
		const ParamDesc* p = c.find (id);
		if (p && id != kParamOutFormat && valueOf (values, id) != p->info.defaultNormalizedValue)
			set.push_back (p->title + " " + c.text (id, valueOf (values, id), true));
	}
	std::string list;
	for (size_t k = 0; k < set.size (); ++k)
		list += (k == 0 ? "" : k + 1 == set.size () ? " and " : ", ") + set[k];
	if (list.empty ())
		return "the row returns every setting to its default (Focus and Direction too)";
	return "the row sets " + list + " and returns every other setting to its default (Focus and Direction too)";
}

// Why a setting moved another: the editor's links between Width and Rear Width.
std::string linkReason (ParamID cause)
{
	if (cause == kParamWidth)
		return "Rear Width follows Width while Rear Width On/Off is Off; give \"Rear Width On/Off=On\" "
		       "to keep a Rear Width of your own";
	if (cause == kParamRearWidthOn)
		return "switching Rear Width On/Off off returns Rear Width to the value that follows from Width";
	return "the plug-in links the two";
}

// Tracks the settings the user gave that still hold, and warns when a later
// one replaces them.
class SettingsLog
{
public:
	explicit SettingsLog (Controller& controller) : c (controller) {}

	void presetLoaded (const std::string& path) { formatReplaces.push_back ("the settings of " + path); }
	void applied (const Assignment& a, const SettingValues& before);
	// Warnings for the settings that hold but do nothing.
	void warnIneffective ();

private:
	void formatApplied (const Assignment& a);

	Controller& c;
	std::vector<std::string> formatReplaces;   // what the next Output Format replaces
	std::map<ParamID, std::string> holding;     // id -> the assignment that set it
};

void SettingsLog::formatApplied (const Assignment& a)
{
	if (!formatReplaces.empty ())
	{
		std::string list;
		for (size_t k = 0; k < formatReplaces.size (); ++k)
			list += (k ? ", " : "") + formatReplaces[k];
		warn (quoted (a.text) + " loads its preset row and replaces " + list + "; " +
		      rowSummary (c, c.outputFormat ()) + "; give settings after the format");
	}
	formatReplaces.clear ();
	holding.clear ();
	holding[kParamOutFormat] = a.text;
}

void SettingsLog::applied (const Assignment& a, const SettingValues& before)
{
	const ParamID id = a.param->info.id;
	if (id == kParamOutFormat)
		return formatApplied (a);
	const SettingValues after = c.settings ();
	for (auto it = holding.begin (); it != holding.end ();)
	{
		const ParamID other = it->first;
		if (other != id && valueOf (after, other) != valueOf (before, other))
		{
			warn (quoted (a.text) + " also sets " + c.find (other)->title + " to " +
			      c.text (other, valueOf (after, other), true) + " and replaces " + quoted (it->second) +
			      ": " + linkReason (id));
			it = holding.erase (it);
		}
		else
			++it;
	}
	holding[id] = a.text;
	formatReplaces.push_back (quoted (a.text));
}

//------------------------------------------------------------------------
// Settings that do nothing unless another is on (true) or off (false).
struct Dependence
{
	ParamID setting;
	ParamID on;
	bool needsOn;
};

const Dependence kDependences[] = {
    {kParamMicResponseLR, kParamBeamshaping, false},
    {kParamMicResponseC, kParamBeamshaping, false},
    {kParamMicResponseLsRs, kParamBeamshaping, false},
    {kParamRearWidth, kParamRearWidthOn, true},
    {kParamRearDelay, kParamRearDelayOn, true},
    {kParamRearLowpass, kParamRearLowpassOn, true},
};

void SettingsLog::warnIneffective ()
{
	for (const Dependence& d : kDependences)
	{
		const auto given = holding.find (d.setting);
		const bool isOn = c.plain (d.on) >= 0.5;
		if (given == holding.end () || isOn == d.needsOn)
			continue;
		const ParamDesc* sw = c.find (d.on);
		const std::string state = c.text (d.on, c.normalized (d.on));
		warn (quoted (given->second) + " has no effect while " + sw->title + " is " + state + "; give " +
		      quoted (sw->title + "=" + (d.needsOn ? "On" : "Off")) + " to use it");
	}
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
	SettingsLog log (c);
	if (!presetPath.empty ())
	{
		std::string file;
		if (!findPreset (presetPath, file, error) || !c.loadPreset (file, plugin.effectClass (), error))
			return false;
		log.presetLoaded (presetPath);
	}
	for (const auto& text : assignments)
	{
		Assignment a;
		if (!readAssignment (c, text, a, error))
			return false;
		const SettingValues before = c.settings ();
		c.edit (a.param->info.id, a.normalized);
		log.applied (a, before);
	}
	log.warnIneffective ();
	return true;
}

void printSettings (Controller& c, FILE* out)
{
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
		if (const ParamDesc* p = c.find (id))
			std::fprintf (out, "  %-26s %s\n", p->title.c_str (), c.text (id, c.normalized (id), true).c_str ());
}

} // namespace orvotool
