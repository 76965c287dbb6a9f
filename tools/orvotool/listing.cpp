#include "listing.h"

#include "names.h"
#include "status.h"
#include "text.h"

#include <cstdio>

namespace orvotool {

namespace {

std::string flagText (int32 flags)
{
	std::string s;
	auto add = [&] (const char* t) { s += (s.empty () ? "" : ","), s += t; };
	if (flags & ParameterInfo::kCanAutomate)
		add ("automatable");
	if (flags & ParameterInfo::kIsReadOnly)
		add ("read-only");
	if (flags & ParameterInfo::kIsWrapAround)
		add ("wraps");
	if (flags & ParameterInfo::kIsList)
		add ("list");
	return s.empty () ? "-" : s;
}

// The host's text of every entry of a list.
std::vector<std::string> entries (Controller& c, const ParamDesc& p)
{
	std::vector<std::string> list;
	for (int32 k = 0; k <= p.info.stepCount; ++k)
		list.push_back (c.text (p.info.id, static_cast<double> (k) / p.info.stepCount));
	return list;
}

// The settings some preset row sets differently from another.
std::vector<ParamID> differing (const std::vector<SettingValues>& rows)
{
	std::vector<ParamID> ids;
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
		for (const SettingValues& row : rows)
			if (valueOf (row, id) != valueOf (rows[0], id))
			{
				ids.push_back (id);
				break;
			}
	return ids;
}

// The editor's names of a parameter, and of its values as "caption = host text".
std::vector<std::string> editorNamesOf (ParamID id)
{
	std::vector<std::string> names;
	for (const EditorName& n : editorNames ())
		if (n.id == id)
			names.push_back (n.name);
	return names;
}

std::vector<std::string> editorValuesOf (Controller& c, ParamID id)
{
	std::vector<std::string> values;
	for (const EditorValueName& v : editorValueNames ())
		if (v.id == id)
			values.push_back (std::string (v.name) + " = " + c.text (id, c.toNormalized (id, v.plain)));
	return values;
}

std::string joined (const std::vector<std::string>& items, const char* separator)
{
	std::string s;
	for (size_t k = 0; k < items.size (); ++k)
		s += (k ? separator : "") + items[k];
	return s;
}

//------------------------------------------------------------------------
void printJsonParameter (Controller& c, const ParamDesc& p, bool last)
{
	const ParamID id = p.info.id;
	std::printf ("    {\"id\": %u, \"title\": %s, \"shortTitle\": %s, \"units\": %s, \"min\": %s, "
	             "\"max\": %s, \"default\": %s, \"stepCount\": %d, \"flags\": %s",
	             id, jsonString (p.title).c_str (), jsonString (p.shortTitle).c_str (), jsonString (p.units).c_str (),
	             jsonString (c.text (id, 0.0)).c_str (), jsonString (c.text (id, 1.0)).c_str (),
	             jsonString (c.text (id, p.info.defaultNormalizedValue)).c_str (), p.info.stepCount,
	             jsonString (flagText (p.info.flags)).c_str ());
	auto array = [] (const char* key, const std::vector<std::string>& items) {
		std::printf (", \"%s\": [", key);
		for (size_t k = 0; k < items.size (); ++k)
			std::printf ("%s%s", k ? ", " : "", jsonString (items[k]).c_str ());
		std::printf ("]");
	};
	if (p.isList ())
		array ("entries", entries (c, p));
	if (!editorNamesOf (id).empty ())
		array ("editorNames", editorNamesOf (id));
	if (!editorValuesOf (c, id).empty ())
		array ("editorValues", editorValuesOf (c, id));
	std::printf ("}%s\n", last ? "" : ",");
}

void printJson (Plugin& plugin, Controller& c, const std::vector<SettingValues>& presets)
{
	std::printf ("{\n  \"plugin\": %s,\n  \"version\": %s,\n  \"parameters\": [\n",
	             jsonString (plugin.path ()).c_str (), jsonString (plugin.version ()).c_str ());
	const auto& ps = c.params ();
	for (size_t i = 0; i < ps.size (); ++i)
		printJsonParameter (c, ps[i], i + 1 == ps.size ());
	std::printf ("  ],\n  \"formatPresets\": [\n");
	for (size_t r = 0; r < presets.size (); ++r)
	{
		std::printf ("    {");
		for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
			std::printf ("%s%s: %s", id > kFirstSetting ? ", " : "", jsonString (c.find (id)->title).c_str (),
			             jsonString (c.text (id, valueOf (presets[r], id))).c_str ());
		std::printf ("}%s\n", r + 1 < presets.size () ? "," : "");
	}
	std::printf ("  ]\n}\n");
}

//------------------------------------------------------------------------
std::string rangeCell (Controller& c, const ParamDesc& p)
{
	const ParamID id = p.info.id;
	if (p.isList ())
		return joined (entries (c, p), "|");
	const std::string bottom = c.text (id, 0.0), aboveBottom = c.text (id, 1e-9), top = c.text (id, 1.0);
	if (bottom == "Off" || bottom == "On")
		return bottom + "|" + top;
	if (bottom != aboveBottom && !(p.info.flags & ParameterInfo::kIsReadOnly)) // a fader closing to minus infinity
		return bottom + "|" + aboveBottom + " .. " + top;
	return bottom + " .. " + top;
}

void printParameterTable (Controller& c)
{
	std::vector<std::vector<std::string>> table = {{"id", "title", "short title", "unit", "range", "default", "flags"}};
	for (const ParamDesc& p : c.params ())
		table.push_back ({std::to_string (p.info.id), p.title, p.shortTitle, p.units.empty () ? "-" : p.units,
		                  rangeCell (c, p), c.text (p.info.id, p.info.defaultNormalizedValue), flagText (p.info.flags)});
	printTable (table);
}

void printEditorNames (Controller& c)
{
	std::printf ("\nThe editor's names (--set takes them as well as the titles):\n");
	std::vector<std::vector<std::string>> table = {{"editor name", "parameter", "values"}};
	for (const ParamDesc& p : c.params ())
	{
		const std::vector<std::string> names = editorNamesOf (p.info.id), values = editorValuesOf (c, p.info.id);
		if (!values.empty ())
			table.push_back ({names.empty () ? p.title : names[0], p.title, joined (values, "; ")});
		for (size_t k = values.empty () ? 0 : 1; k < names.size (); ++k)
			table.push_back ({names[k], p.title, ""});
	}
	printTable (table);
}

void printPresetTable (Controller& c, const std::vector<SettingValues>& presets)
{
	std::printf ("\nOutput Format presets (choosing a format loads its row; every other setting "
	             "returns to its default):\n");
	const std::vector<ParamID> ids = differing (presets);
	std::vector<std::vector<std::string>> table = {{"Output Format"}};
	for (ParamID id : ids)
		if (id != kParamOutFormat)
			table[0].push_back (c.find (id)->title);
	for (const SettingValues& row : presets)
	{
		table.push_back ({c.text (kParamOutFormat, valueOf (row, kParamOutFormat))});
		for (ParamID id : ids)
			if (id != kParamOutFormat)
				table.back ().push_back (c.text (id, valueOf (row, id), true));
	}
	printTable (table);
}

} // namespace

int listParameters (Plugin& plugin, Controller& c, bool json)
{
	std::vector<SettingValues> presets;
	for (int r = 0; r < c.formatPresetCount (); ++r)
		presets.push_back (c.formatPreset (r));
	if (json)
	{
		printJson (plugin, c, presets);
		return kExitOk;
	}
	std::printf ("%s %s (%s)\n\n", plugin.name ().c_str (), plugin.version ().c_str (), plugin.path ().c_str ());
	printParameterTable (c);
	printPresetTable (c, presets);
	printEditorNames (c);
	return kExitOk;
}

} // namespace orvotool
