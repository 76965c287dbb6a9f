// orvotool: decodes double mid-side recordings in batch through the installed
// Orvotool.vst3, hosted as a DAW hosts it, and shows the plug-in's parameters,
// presets and polar patterns.
//
//   orvotool render IN... [-o OUT | --outdir DIR] [--set "Title=value"]... [--preset FILE]
//                         [--binaural [--hrtf FILE.sofa] [--head-rotation DEG] | --ambix]
//   orvotool params [--json]
//   orvotool preset [--set ...] OUT.vstpreset | orvotool preset --show FILE
//   orvotool polar [--set ...] OUT.png|OUT.svg
//   orvotool demo [--dir DIR]
//
// Exit status: 0 done, 1 a file or the plug-in failed, 2 the command line,
// a setting or an output was refused before any work, 130 stopped by Ctrl-C.

#include "presets.h"
#include "commands.h"
#include "demo.h"
#include "listing.h"
#include "status.h"

#include <CLI/CLI.hpp>

#include <iostream>

#ifndef ORVOTOOL_VERSION
#define ORVOTOOL_VERSION "0"
#endif

using namespace orvotool;

namespace {

const char* const kSetHelp = "a setting by title or the editor's name, as the host shows it: \"Width=70\", "
                             "\"Output Format=Stereo\" (loads its preset row), \"Rear Delay=20 ms\", "
                             "\"Rear Lowpass=8 kHz\"";

void addSettingOptions (CLI::App* command, SettingArgs& s)
{
	command->add_option ("--set", s.sets, kSetHelp)->take_all ()->allow_extra_args (false);
	command->add_option ("--preset", s.preset,
	                     "start from a preset (before any --set): a .vstpreset file, or the name of one in "
	                     "the VST 3 preset folders (orvotool presets lists them)");
}

CLI::App* addRender (CLI::App& app, RenderArgs& r)
{
	auto* render = app.add_subcommand ("render", "decode capsule recordings into files of the output format");
	render->add_option ("inputs", r.inputs,
	                    "capsule recordings: 3 channels (front cardioid, figure-of-eight, rear cardioid); WAV, "
	                    "BWF, RF64, W64, FLAC");
	render->add_option ("-o,--output", r.output, "output file (one input); .wav, .rf64, .w64 or .flac");
	render->add_option ("--outdir", r.outdir, "folder for the outputs, named <input>_decoded.<ext> (made if missing)");
	render->add_option ("--ext", r.ext, "output type with --outdir or by default: wav, rf64, w64, flac")
	    ->check (CLI::IsMember ({"wav", "rf64", "w64", "flac"}));
	render->add_option ("--front", r.front, "mono file of the front cardioid");
	render->add_option ("--eight", r.eight, "mono file of the figure-of-eight");
	render->add_option ("--rear", r.rear, "mono file of the rear cardioid");
	render->add_option ("--channels", r.channels,
	                    "which channels of a multichannel file are front, eight and rear, e.g. 2,3,4");
	addSettingOptions (render, r.settings);
	render->add_option ("--bits", r.bits, "sample format: 16, 24 or 32f (default 32f; FLAC 24)")
	    ->check (CLI::IsMember ({"16", "24", "32f"}));
	render->add_flag ("--no-lfe", r.noLfe, "5.0 instead of 5.1 for the 5 Channels format");
	render->add_flag ("--binaural", r.binaural,
	                  "decode, then hear the loudspeakers on headphones: a 2-channel file (Orvotool Monitor)");
	render->add_option ("--hrtf", r.hrtf, "with --binaural: the listener's own responses, a SOFA file");
	render->add_option_function<double> (
	    "--head-rotation", [&r] (double d) { r.headRotation = d; r.headRotationGiven = true; },
	    "with --binaural: the head turned by DEG degrees, positive to the left");
	render->add_flag ("--ambix", r.ambix,
	                  "first-order Ambisonics instead of loudspeakers: W, Y, Z, X (ACN, SN3D; Orvotool AmbiX)");
	render->add_flag ("--no-tail", r.noTail, "stop at the input's end instead of rendering the decay");
	render->add_flag ("--force", r.force, "overwrite existing outputs");
	render->add_flag ("--skip-existing", r.skipExisting, "leave existing outputs and skip their inputs");
	render->add_option ("-j,--jobs", r.jobs, "files decoded in parallel (default: the number of cores)")
	    ->check (CLI::Range (1, 256));
	render->add_option ("--block", r.block, "host block size in samples")->check (CLI::Range (16, 16384));
	render->add_flag ("-q,--quiet", r.quiet, "no progress output");
	return render;
}

CLI::App* addPreset (CLI::App& app, PresetArgs& p)
{
	auto* preset = app.add_subcommand ("preset", "write a .vstpreset with settings, or show one");
	preset->add_option ("output", p.output, "the preset file to write (OUT.vstpreset)");
	addSettingOptions (preset, p.settings);
	preset->add_option ("--show", p.show, "print the settings held in a preset file");
	preset->add_flag ("--force", p.force, "overwrite an existing file");
	return preset;
}

CLI::App* addPolar (CLI::App& app, PolarArgs& p)
{
	auto* polar = app.add_subcommand ("polar", "draw the decode's polar patterns (PNG or SVG)");
	polar->add_option ("output", p.output, "OUT.png or OUT.svg")->required ();
	addSettingOptions (polar, p.settings);
	polar->add_option ("--size", p.size, "height in pixels")->check (CLI::Range (200, 4000));
	polar->add_flag ("--force", p.force, "overwrite an existing file");
	return polar;
}

CLI::App* addDemo (CLI::App& app, DemoArgs& d)
{
	auto* demo = app.add_subcommand ("demo", "generate a scene of five sources, decode it and report where "
	                                         "each landed (exit 1 when one is not loudest in its channel)");
	demo->add_option ("--dir", d.dir, "working folder (default ./orvotool-demo)");
	demo->add_option ("--report", d.decoded, "only report on this decoded file of the scene in --dir");
	demo->add_option ("--margin", d.marginDb, "dB by which a source must lead in its own channel (default 6)")
	    ->check (CLI::Range (0.0, 60.0));
	return demo;
}

// Every subcommand's arguments, filled by the parser.
struct Arguments
{
	std::string pluginPath;
	RenderArgs render;
	PresetArgs preset;
	PolarArgs polar;
	DemoArgs demo;
	bool json {false};
};

int run (CLI::App& app, Arguments& a)
{
	if (app.got_subcommand ("presets"))
		return listPresets ();
	Plugin plugin;
	Controller controller;
	std::string error;
	if (!plugin.load (a.pluginPath.empty () ? defaultPluginPath () : a.pluginPath, error) ||
	    !controller.open (plugin, error))
		return fail (kExitFailed, error);
	if (app.got_subcommand ("render"))
		return renderCommand (plugin, controller, a.render);
	if (app.got_subcommand ("params"))
		return listParameters (plugin, controller, a.json);
	if (app.got_subcommand ("preset"))
		return presetCommand (plugin, controller, a.preset);
	if (app.got_subcommand ("polar"))
		return polarCommand (plugin, controller, a.polar);
	if (app.got_subcommand ("demo"))
		return runDemo (plugin, controller, a.demo);
	return kExitUsage;
}

} // namespace

int main (int argc, char** argv)
{
	CLI::App app {"orvotool: decodes double mid-side recordings (front cardioid, figure-of-eight, rear "
	              "cardioid) to stereo or surround through the Orvotool VST 3 plug-in"};
	app.set_version_flag ("--version", std::string ("orvotool ") + ORVOTOOL_VERSION + " (plug-in tool interface " +
	                                       toolAccessVersion () + ")");
	app.require_subcommand (1);
	Arguments a;
	app.add_option ("--plugin", a.pluginPath, "the plug-in bundle (default ~/.vst3/Orvotool.vst3)");
	addRender (app, a.render);
	app.add_subcommand ("params", "list the parameters, the editor's names and the output-format presets")
	    ->add_flag ("--json", a.json, "as JSON");
	addPreset (app, a.preset);
	app.add_subcommand ("presets", "list the presets by name (factory presets and any saved in "
	                               "~/.vst3/presets/Veltrane/Orvotool) with their descriptions");
	addPolar (app, a.polar);
	addDemo (app, a.demo);
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
	return run (app, a);
}
