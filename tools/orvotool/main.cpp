// orvotool: decodes double mid-side recordings in batch through the installed
// Orvotool.vst3, hosted as a DAW hosts it, and shows the plug-in's parameters,
// presets and polar patterns.
//
//   orvotool render IN... [-o OUT | --outdir DIR] [--set "Title=value"]... [--preset FILE]
//   orvotool params [--json]
//   orvotool preset [--set ...] OUT.vstpreset | orvotool preset --show FILE
//   orvotool polar [--set ...] OUT.png|OUT.svg
//   orvotool demo [--dir DIR]
//
// Exit status: 0 done, 1 a file or the plug-in failed, 2 the command line,
// a setting or an output was refused before any work.

#include "demo.h"
#include "host.h"
#include "polar.h"
#include "render.h"

#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/vstpresetfile.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include <unistd.h>

#ifndef ORVOTOOL_VERSION
#define ORVOTOOL_VERSION "0"
#endif

using namespace orvotool;
namespace fs = std::filesystem;

namespace {

int fail (int status, const std::string& message)
{
	std::fprintf (stderr, "orvotool: error: %s\n", message.c_str ());
	return status;
}

bool loadPlugin (Plugin& plugin, const std::string& path, std::string& error)
{
	return plugin.load (path.empty () ? defaultPluginPath () : path, error);
}

std::string jsonString (const std::string& s)
{
	std::string out = "\"";
	for (unsigned char c : s)
	{
		if (c == '"' || c == '\\')
			out += '\\', out += static_cast<char> (c);
		else if (c < 0x20)
		{
			char buf[8];
			std::snprintf (buf, sizeof buf, "\\u%04x", c);
			out += buf;
		}
		else
			out += static_cast<char> (c);
	}
	return out + "\"";
}

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

// Columns padded to their widest cell, counted in characters (not bytes).
void printTable (const std::vector<std::vector<std::string>>& rows)
{
	auto width = [] (const std::string& t) {
		size_t n = 0;
		for (unsigned char ch : t)
			n += (ch & 0xC0) != 0x80;
		return n;
	};
	std::vector<size_t> widths;
	for (const auto& row : rows)
		for (size_t k = 0; k < row.size (); ++k)
		{
			widths.resize (std::max (widths.size (), row.size ()));
			widths[k] = std::max (widths[k], width (row[k]));
		}
	for (const auto& row : rows)
	{
		std::string line;
		for (size_t k = 0; k < row.size (); ++k)
		{
			line += row[k];
			if (k + 1 < row.size ())
				line += std::string (widths[k] - width (row[k]) + 2, ' ');
		}
		std::printf ("%s\n", line.c_str ());
	}
}

//------------------------------------------------------------------------
int cmdParams (Plugin& plugin, bool json)
{
	std::string error;
	Controller c;
	if (!c.open (plugin, error))
		return fail (kExitFailed, error);

	// The preset row of every output format, as the editor loads it.
	const ParamDesc* format = c.find (kOutputFormatId);
	const int rows = format ? format->info.stepCount + 1 : 0;
	std::vector<SettingValues> presets;
	for (int r = 0; r < rows; ++r)
	{
		c.effect ()->setParameter (kOutputFormatId, r);
		presets.push_back (c.settings ());
	}
	// Back to the defaults for the default column.
	std::vector<ParamID> differing;
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
		for (int r = 1; r < rows; ++r)
			if (presets[static_cast<size_t> (r)][id - 1] != presets[0][id - 1])
			{
				differing.push_back (id);
				break;
			}

	if (json)
	{
		std::printf ("{\n  \"plugin\": %s,\n  \"version\": %s,\n  \"parameters\": [\n",
		             jsonString (plugin.path ()).c_str (), jsonString (plugin.version ()).c_str ());
		const auto& ps = c.params ();
		for (size_t i = 0; i < ps.size (); ++i)
		{
			const ParamDesc& p = ps[i];
			const ParamID id = p.info.id;
			std::printf ("    {\"id\": %u, \"title\": %s, \"shortTitle\": %s, \"units\": %s, \"min\": %s, "
			             "\"max\": %s, \"default\": %s, \"stepCount\": %d, \"flags\": %s",
			             id, jsonString (p.title).c_str (), jsonString (p.shortTitle).c_str (),
			             jsonString (p.units).c_str (), jsonString (c.text (id, 0.0)).c_str (),
			             jsonString (c.text (id, 1.0)).c_str (),
			             jsonString (c.text (id, p.info.defaultNormalizedValue)).c_str (), p.info.stepCount,
			             jsonString (flagText (p.info.flags)).c_str ());
			if (p.info.stepCount > 1)
			{
				std::printf (", \"entries\": [");
				for (int32 k = 0; k <= p.info.stepCount; ++k)
					std::printf ("%s%s", k ? ", " : "",
					             jsonString (c.text (id, static_cast<double> (k) / p.info.stepCount)).c_str ());
				std::printf ("]");
			}
			std::printf ("}%s\n", i + 1 < ps.size () ? "," : "");
		}
		std::printf ("  ],\n  \"formatPresets\": [\n");
		for (int r = 0; r < rows; ++r)
		{
			std::printf ("    {");
			for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
				std::printf ("%s%s: %s", id > kFirstSetting ? ", " : "", jsonString (c.find (id)->title).c_str (),
				             jsonString (c.text (id, presets[static_cast<size_t> (r)][id - 1])).c_str ());
			std::printf ("}%s\n", r + 1 < rows ? "," : "");
		}
		std::printf ("  ]\n}\n");
		return kExitOk;
	}

	std::printf ("%s %s (%s)\n\n", plugin.name ().c_str (), plugin.version ().c_str (), plugin.path ().c_str ());
	std::vector<std::vector<std::string>> table = {{"id", "title", "short title", "unit", "range", "default", "flags"}};
	for (const ParamDesc& p : c.params ())
	{
		const ParamID id = p.info.id;
		std::string range;
		if (p.info.stepCount > 1)
			for (int32 k = 0; k <= p.info.stepCount; ++k)
				range += (k ? "|" : "") + c.text (id, static_cast<double> (k) / p.info.stepCount);
		else
		{
			const std::string bottom = c.text (id, 0.0), aboveBottom = c.text (id, 1e-9), top = c.text (id, 1.0);
			if (bottom == "Off" || bottom == "On")
				range = bottom + "|" + top;
			else if (bottom != aboveBottom && !(p.info.flags & ParameterInfo::kIsReadOnly)) // a fader closing to minus infinity
				range = bottom + "|" + aboveBottom + " .. " + top;
			else
				range = bottom + " .. " + top;
		}
		table.push_back ({std::to_string (id), p.title, p.shortTitle, p.units.empty () ? "-" : p.units, range,
		                  c.text (id, p.info.defaultNormalizedValue), flagText (p.info.flags)});
	}
	printTable (table);

	std::printf ("\nOutput Format presets (choosing a format loads its row; every other setting "
	             "returns to its default):\n");
	table = {{"Output Format"}};
	for (ParamID id : differing)
		if (id != kOutputFormatId)
			table[0].push_back (c.find (id)->title);
	for (int r = 0; r < rows; ++r)
	{
		const SettingValues& row = presets[static_cast<size_t> (r)];
		table.push_back ({c.text (kOutputFormatId, row[kOutputFormatId - 1])});
		for (ParamID id : differing)
			if (id != kOutputFormatId)
				table.back ().push_back (c.text (id, row[id - 1], true));
	}
	printTable (table);
	return kExitOk;
}

//------------------------------------------------------------------------
void printSettings (Controller& c, FILE* out)
{
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
		if (const ParamDesc* p = c.find (id))
			std::fprintf (out, "  %-26s %s\n", p->title.c_str (), c.text (id, c.normalized (id), true).c_str ());
}

bool writeFileAtomically (const std::string& path, const std::function<bool (const std::string&)>& write,
                          std::string& error)
{
	const fs::path p (path);
	const std::string part = (p.parent_path () / ("." + p.filename ().string () + ".part")).string ();
	if (!write (part))
	{
		std::remove (part.c_str ());
		error = path + ": cannot write";
		return false;
	}
	std::error_code ec;
	fs::rename (part, path, ec);
	if (ec)
	{
		std::remove (part.c_str ());
		error = path + ": " + ec.message ();
		return false;
	}
	return true;
}

// An output file that may be written: not there (or --force), folder writable.
bool outputAllowed (const std::string& path, bool force, std::string& error)
{
	std::error_code ec;
	if (fs::exists (path, ec) && !force)
	{
		error = path + ": exists (use --force to overwrite)";
		return false;
	}
	fs::path dir = fs::path (path).parent_path ();
	if (dir.empty ())
		dir = ".";
	if (!fs::is_directory (dir, ec) || access (dir.c_str (), W_OK | X_OK) != 0)
	{
		error = path + ": folder " + dir.string () + " is missing or not writable";
		return false;
	}
	return true;
}

int cmdPreset (Plugin& plugin, const std::string& basePreset, const std::vector<std::string>& sets,
               const std::string& out, const std::string& show, bool force)
{
	std::string error;
	if (!show.empty ())
	{
		Controller c;
		if (!c.open (plugin, error))
			return fail (kExitFailed, error);
		if (!c.loadPreset (show, plugin.effectClass (), error))
			return fail (kExitFailed, error);
		std::printf ("%s:\n", show.c_str ());
		printSettings (c, stdout);
		return kExitOk;
	}
	if (out.empty ())
		return fail (kExitUsage, "preset: give an output file OUT.vstpreset, or --show FILE");
	if (!outputAllowed (out, force, error))
		return fail (kExitUsage, error);
	Controller c;
	if (!resolveSettings (plugin, basePreset, sets, c, error))
		return fail (kExitUsage, error);

	// The processor takes the settings as a DAW hands them over, and its
	// state is what the preset file keeps.
	auto component = plugin.createComponent (error);
	if (!component)
		return fail (kExitFailed, error);
	FUnknownPtr<IAudioProcessor> processor (component);
	SpeakerArrangement arr = SpeakerArr::k51, arr2 = SpeakerArr::k51;
	processor->setBusArrangements (&arr, 1, &arr2, 1);
	ProcessSetup setup {kOffline, kSample32, 512, 48000.0};
	bool ok = processor->setupProcessing (setup) == kResultOk;
	if (ok)
	{
		component->setActive (true);
		processor->setProcessing (true);
		flushSettings (*processor, c.settings ());
		processor->setProcessing (false);
		component->setActive (false);
		ok = writeFileAtomically (
		    out,
		    [&] (const std::string& part) {
			    IBStream* stream = FileStream::open (part.c_str (), "wb");
			    if (!stream)
				    return false;
			    const bool saved = PresetFile::savePreset (stream, FUID::fromTUID (plugin.effectClass ().data ()),
			                                               component.get ());
			    stream->release ();
			    return saved;
		    },
		    error);
	}
	else
		error = "the plug-in's processor could not be set up";
	component->terminate ();
	if (!ok)
		return fail (kExitFailed, error);
	std::printf ("wrote %s:\n", out.c_str ());
	printSettings (c, stdout);
	return kExitOk;
}

int cmdPolar (Plugin& plugin, const std::string& basePreset, const std::vector<std::string>& sets,
              const std::string& out, int size, bool force)
{
	std::string error;
	const std::string ext = fs::path (out).extension ().string ();
	if (ext != ".png" && ext != ".svg")
		return fail (kExitUsage, out + ": the picture is written as .png or .svg");
	if (!outputAllowed (out, force, error))
		return fail (kExitUsage, error);
	Controller c;
	if (!resolveSettings (plugin, basePreset, sets, c, error))
		return fail (kExitUsage, error);
	if (!writeFileAtomically (
	        out, [&] (const std::string& part) { return drawPolar (c, part, ext == ".svg", size, error); }, error))
		return fail (kExitFailed, error);
	std::printf ("wrote %s\n", out.c_str ());
	return kExitOk;
}

//------------------------------------------------------------------------
struct RenderArgs
{
	std::vector<std::string> inputs;
	std::string output, outdir, ext {"wav"}, front, eight, rear, channels, preset, bits;
	std::vector<std::string> sets;
	bool noLfe {false}, noTail {false}, force {false}, skipExisting {false}, quiet {false};
	int jobs {static_cast<int> (std::max (1u, std::thread::hardware_concurrency ()))};
	int block {1024};
};

int cmdRender (Plugin& plugin, const RenderArgs& a)
{
	const bool mono = !a.front.empty () || !a.eight.empty () || !a.rear.empty ();
	if (mono && (a.front.empty () || a.eight.empty () || a.rear.empty ()))
		return fail (kExitUsage, "three mono files take all of --front, --eight and --rear");
	if (mono && !a.inputs.empty ())
		return fail (kExitUsage, "give either capsule files or --front/--eight/--rear, not both");
	if (!mono && a.inputs.empty ())
		return fail (kExitUsage, "render: no input (orvotool render --help)");
	const size_t count = mono ? 1 : a.inputs.size ();
	if (!a.output.empty () && !a.outdir.empty ())
		return fail (kExitUsage, "give -o or --outdir, not both");
	if (!a.output.empty () && count > 1)
		return fail (kExitUsage, "-o names one output; use --outdir for " + std::to_string (count) + " inputs");

	RenderOptions o;
	if (!a.channels.empty ())
	{
		std::stringstream s (a.channels);
		std::string item;
		while (std::getline (s, item, ','))
		{
			char* end = nullptr;
			const long v = std::strtol (item.c_str (), &end, 10);
			if (item.empty () || *end || v < 1 || v > 64)
				return fail (kExitUsage, "--channels \"" + a.channels + "\": three channel numbers from 1, e.g. 1,2,3");
			o.capsuleChannels.push_back (static_cast<int> (v));
		}
		if (o.capsuleChannels.size () != 3)
			return fail (kExitUsage, "--channels \"" + a.channels + "\": three channel numbers (front, eight, rear)");
	}

	std::string error;
	Controller c;
	if (!resolveSettings (plugin, a.preset, a.sets, c, error))
		return fail (kExitUsage, error);
	o.settings = c.settings ();
	const int format = static_cast<int> (std::lround (c.get ()->normalizedParamToPlain (kOutputFormatId, o.settings[kOutputFormatId - 1])));
	o.layout = outputLayout (format, !a.noLfe);
	if (a.noLfe && format != 3)
		return fail (kExitUsage, "--no-lfe chooses 5.0 for the 5 Channels format; the format is " + o.layout.name);
	o.bits = a.bits;
	o.block = a.block;
	o.tail = !a.noTail;
	o.force = a.force;
	o.skipExisting = a.skipExisting;
	o.jobs = a.jobs;
	o.quiet = a.quiet;

	std::vector<RenderJob> jobs;
	if (mono)
		jobs.push_back ({{a.front, a.eight, a.rear}, a.output.empty () ? defaultOutput (a.front, a.outdir, a.ext) : a.output});
	else
		for (const auto& in : a.inputs)
			jobs.push_back ({{in}, a.output.empty () ? defaultOutput (in, a.outdir, a.ext) : a.output});

	std::vector<std::string> problems, skipped;
	if (!checkOutputs (jobs, o, problems, skipped))
	{
		for (const auto& p : problems)
			std::fprintf (stderr, "orvotool: error: %s\n", p.c_str ());
		std::fprintf (stderr, "orvotool: nothing decoded\n");
		return kExitUsage;
	}
	for (const auto& s : skipped)
		if (!a.quiet)
			std::fprintf (stderr, "orvotool: %s exists, skipped\n", s.c_str ());
	if (jobs.empty ())
		return kExitOk;
	if (!a.quiet)
	{
		std::fprintf (stderr, "orvotool: %s %s, %s output, settings:\n", plugin.name ().c_str (),
		              plugin.version ().c_str (), o.layout.name.c_str ());
		printSettings (c, stderr);
	}
	return renderAll (plugin, jobs, o);
}

} // namespace

int main (int argc, char** argv)
{
	CLI::App app {"orvotool: decodes double mid-side recordings (front cardioid, figure-of-eight, rear "
	              "cardioid) to stereo or surround through the Orvotool VST 3 plug-in"};
	app.set_version_flag ("--version", std::string ("orvotool ") + ORVOTOOL_VERSION);
	app.require_subcommand (1);
	std::string pluginPath;
	app.add_option ("--plugin", pluginPath, "the plug-in bundle (default ~/.vst3/Orvotool.vst3)");

	RenderArgs r;
	auto* render = app.add_subcommand ("render", "decode capsule recordings into files of the output format");
	render->add_option ("inputs", r.inputs,
	                    "capsule recordings: 3 channels (front cardioid, figure-of-eight, rear cardioid); WAV, "
	                    "BWF, RF64, W64, FLAC");
	render->add_option ("-o,--output", r.output, "output file (one input); .wav, .rf64, .w64 or .flac");
	render->add_option ("--outdir", r.outdir, "folder for the outputs, named <input>_decoded.<ext>");
	render->add_option ("--ext", r.ext, "output type with --outdir or by default: wav, rf64, w64, flac")
	    ->check (CLI::IsMember ({"wav", "rf64", "w64", "flac"}));
	render->add_option ("--front", r.front, "mono file of the front cardioid");
	render->add_option ("--eight", r.eight, "mono file of the figure-of-eight");
	render->add_option ("--rear", r.rear, "mono file of the rear cardioid");
	render->add_option ("--channels", r.channels,
	                    "which channels of a multichannel file are front, eight and rear, e.g. 2,3,4");
	render->add_option ("--set", r.sets, "a setting by title, as the host shows it: \"Width=70\", "
	                    "\"Output Format=Stereo\" (loads its preset row), \"Rear Delay=20\" (ms)")
	    ->take_all ()->allow_extra_args (false);
	render->add_option ("--preset", r.preset, "start from a .vstpreset file (before any --set)");
	render->add_option ("--bits", r.bits, "sample format: 16, 24 or 32f (default 32f; FLAC 24)")
	    ->check (CLI::IsMember ({"16", "24", "32f"}));
	render->add_flag ("--no-lfe", r.noLfe, "5.0 instead of 5.1 for the 5 Channels format");
	render->add_flag ("--no-tail", r.noTail, "stop at the input's end instead of rendering the decay");
	render->add_flag ("--force", r.force, "overwrite existing outputs");
	render->add_flag ("--skip-existing", r.skipExisting, "leave existing outputs and skip their inputs");
	render->add_option ("-j,--jobs", r.jobs, "files decoded in parallel (default: the number of cores)")
	    ->check (CLI::Range (1, 256));
	render->add_option ("--block", r.block, "host block size in samples")->check (CLI::Range (16, 16384));
	render->add_flag ("-q,--quiet", r.quiet, "no progress output");

	bool json = false;
	auto* params = app.add_subcommand ("params", "list the parameters and the output-format presets");
	params->add_flag ("--json", json, "as JSON");

	std::vector<std::string> presetSets, polarSets;
	std::string presetOut, presetShow, presetBase, polarOut, polarBase;
	bool presetForce = false, polarForce = false;
	int polarSize = 640;
	auto* preset = app.add_subcommand ("preset", "write a .vstpreset with settings, or show one");
	preset->add_option ("output", presetOut, "the preset file to write (OUT.vstpreset)");
	preset->add_option ("--set", presetSets, "a setting by title, as for render")->take_all ()->allow_extra_args (false);
	preset->add_option ("--preset", presetBase, "start from this preset file");
	preset->add_option ("--show", presetShow, "print the settings held in a preset file");
	preset->add_flag ("--force", presetForce, "overwrite an existing file");

	auto* polar = app.add_subcommand ("polar", "draw the decode's polar patterns (PNG or SVG)");
	polar->add_option ("output", polarOut, "OUT.png or OUT.svg")->required ();
	polar->add_option ("--set", polarSets, "a setting by title, as for render")->take_all ()->allow_extra_args (false);
	polar->add_option ("--preset", polarBase, "start from this preset file");
	polar->add_option ("--size", polarSize, "height in pixels")->check (CLI::Range (200, 4000));
	polar->add_flag ("--force", polarForce, "overwrite an existing file");

	DemoArgs d;
	auto* demo = app.add_subcommand ("demo", "generate a scene of five sources, decode it and report where "
	                                         "each landed (exit 1 when one is not loudest in its channel)");
	demo->add_option ("--dir", d.dir, "working folder (default ./orvotool-demo)");
	demo->add_option ("--report", d.decoded, "only report on this decoded file of the scene in --dir");
	demo->add_option ("--margin", d.marginDb, "dB by which a source must lead in its own channel (default 6)")
	    ->check (CLI::Range (0.0, 60.0));

	try
	{
		app.parse (argc, argv);
	}
	catch (const CLI::ParseError& e)
	{
		if (e.get_exit_code () == static_cast<int> (CLI::ExitCodes::Success))
			return app.exit (e, std::cout, std::cout); // --help and --version
		std::fprintf (stderr, "orvotool: error: %s\nRun with --help for more information.\n", e.what ());
		return kExitUsage;
	}

	Plugin plugin;
	std::string error;
	if (!loadPlugin (plugin, pluginPath, error))
		return fail (kExitFailed, error);

	if (*render)
		return cmdRender (plugin, r);
	if (*params)
		return cmdParams (plugin, json);
	if (*preset)
		return cmdPreset (plugin, presetBase, presetSets, presetOut, presetShow, presetForce);
	if (*polar)
		return cmdPolar (plugin, polarBase, polarSets, polarOut, polarSize, polarForce);
	if (*demo)
		return runDemo (plugin, d);
	return kExitUsage;
}
