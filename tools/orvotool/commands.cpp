#include "commands.h"

#include "chain.h"
#include "module/version.h"

#include "batch.h"
#include "polar.h"
#include "session.h"
#include "settings.h"
#include "status.h"

#include "public.sdk/source/vst/vstpresetfile.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>

namespace orvotool {

namespace fs = std::filesystem;

namespace {

bool writeFileAtomically (const std::string& path, const std::function<bool (const std::string&)>& write,
                          std::string& error)
{
	const fs::path p (path);
	const std::string part = (p.parent_path () / ("." + p.filename ().string () + ".part")).string ();
	if (!write (part))
	{
		std::remove (part.c_str ());
		error = error.empty () ? path + ": cannot write" : error;
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

//------------------------------------------------------------------------
// The capsules' channels of a multichannel file: three different channel
// numbers from 1.
bool readChannels (const std::string& text, std::vector<int>& channels, std::string& error)
{
	std::stringstream s (text);
	std::string item;
	while (std::getline (s, item, ','))
	{
		char* end = nullptr;
		const long v = std::strtol (item.c_str (), &end, 10);
		if (item.empty () || *end || v < 1 || v > 64)
		{
			error = "--channels \"" + text + "\": three channel numbers from 1, e.g. 1,2,3";
			return false;
		}
		channels.push_back (static_cast<int> (v));
	}
	if (channels.size () != 3)
		error = "--channels \"" + text + "\": three channel numbers (front, eight, rear)";
	else if (std::set<int> (channels.begin (), channels.end ()).size () != channels.size ())
		error = "--channels \"" + text + "\": a channel named twice; front, eight and rear are three "
		        "different channels";
	return error.empty ();
}

// The inputs and outputs the command line names; "" or the reason it is refused.
std::string inputProblem (const RenderArgs& a)
{
	const bool mono = !a.front.empty () || !a.eight.empty () || !a.rear.empty ();
	const size_t count = mono ? 1 : a.inputs.size ();
	if (mono && (a.front.empty () || a.eight.empty () || a.rear.empty ()))
		return "three mono files take all of --front, --eight and --rear";
	if (mono && !a.inputs.empty ())
		return "give either capsule files or --front/--eight/--rear, not both";
	if (!mono && a.inputs.empty ())
		return "render: no input (orvotool render --help)";
	if (!a.output.empty () && !a.outdir.empty ())
		return "give -o or --outdir, not both";
	if (!a.output.empty () && count > 1)
		return "-o names one output; use --outdir for " + std::to_string (count) + " inputs";
	if (a.binaural && a.ambix)
		return "give --binaural or --ambix, not both";
	if (!a.binaural && (!a.hrtf.empty () || a.headRotationGiven))
		return "--hrtf and --head-rotation belong to --binaural";
	if (a.noLfe && (a.binaural || a.ambix))
		return std::string ("--no-lfe chooses 5.0 for a loudspeaker file; ") +
		       (a.binaural ? "--binaural" : "--ambix") + " writes none";
	if (a.headRotationGiven && !(std::fabs (a.headRotation) <= 180.0))
		return "--head-rotation: " + std::to_string (a.headRotation) + " is outside -180 to 180 degrees";
	return {};
}

std::vector<RenderJob> renderJobs (const RenderArgs& a)
{
	std::vector<RenderJob> jobs;
	auto output = [&] (const std::string& in) {
		const char* suffix = a.binaural ? "_binaural" : a.ambix ? "_ambix" : "_decoded";
		return a.output.empty () ? defaultOutput (in, a.outdir, a.ext, suffix) : a.output;
	};
	if (!a.front.empty ())
		jobs.push_back ({{a.front, a.eight, a.rear}, output (a.front)});
	else
		for (const auto& in : a.inputs)
			jobs.push_back ({{in}, output (in)});
	return jobs;
}

// Every output checked, the ones to keep skipped, the --outdir folder made;
// false when nothing may be decoded.
bool prepareOutputs (std::vector<RenderJob>& jobs, const RenderOptions& o, const RenderArgs& a)
{
	std::vector<std::string> problems, skipped;
	if (!checkOutputs (jobs, o, problems, skipped))
	{
		for (const auto& p : problems)
			fail (kExitUsage, p);
		std::fprintf (stderr, "orvotool: nothing decoded\n");
		return false;
	}
	for (const auto& s : skipped)
		if (!a.quiet)
			std::fprintf (stderr, "orvotool: %s exists, skipped\n", s.c_str ());
	std::error_code ec;
	if (!jobs.empty () && !a.outdir.empty () && !fs::is_directory (a.outdir, ec) &&
	    !fs::create_directories (a.outdir, ec))
	{
		fail (kExitUsage, a.outdir + ": cannot make the folder: " + ec.message ());
		return false;
	}
	return true;
}

RenderOptions renderOptions (const RenderArgs& a)
{
	RenderOptions o;
	o.bits = a.bits;
	o.block = a.block;
	o.tail = !a.noTail;
	o.force = a.force;
	o.skipExisting = a.skipExisting;
	o.createOutdir = !a.outdir.empty ();
	o.jobs = a.jobs;
	o.quiet = a.quiet;
	o.chain = a.binaural ? RenderChain::Binaural : a.ambix ? RenderChain::Ambix : RenderChain::Decode;
	o.hrtf = a.hrtf;
	o.headRotation = a.headRotation;
	return o;
}

} // namespace

int renderCommand (Plugin& plugin, Controller& c, const RenderArgs& a)
{
	std::string error = inputProblem (a);
	RenderOptions o = renderOptions (a);
	if (!error.empty () || (!a.channels.empty () && !readChannels (a.channels, o.capsuleChannels, error)))
		return fail (kExitUsage, error);
	if (!resolveSettings (c, plugin, a.settings.preset, a.settings.sets, error))
		return fail (kExitUsage, error);
	o.settings = c.settings ();
	o.layout = a.binaural ? binauralLayout () : a.ambix ? ambixLayout () : outputLayout (c.outputFormat (), !a.noLfe);
	const int fiveChannels = kNumFormatPresets - 1; // the last format, the only one with an LFE
	if (a.noLfe && c.outputFormat () != fiveChannels)
		return fail (kExitUsage, "--no-lfe chooses 5.0 for the 5 Channels format; the format is " + o.layout.name);
	error = hrtfProblem (a.hrtf);
	if (!error.empty ())
		return fail (kExitUsage, error);
	std::vector<RenderJob> jobs = renderJobs (a);
	if (!prepareOutputs (jobs, o, a))
		return kExitUsage;
	if (jobs.empty ())
		return kExitOk;
	if (!a.quiet)
	{
		std::fprintf (stderr, "orvotool: %s %s, %s output, settings:\n", plugin.name ().c_str (),
		              plugin.version ().c_str (), o.layout.name.c_str ());
		printSettings (c, stderr);
		if (a.binaural)
			std::fprintf (stderr, "  then %s: %s, Head Rotation %.1f\u00b0 (the %s loudspeakers of the "
			              "decode heard on headphones)\n", ORVO_MONITOR_NAME,
			              a.hrtf.empty () ? "built-in MIT KEMAR responses" : a.hrtf.c_str (), a.headRotation,
			              outputLayout (c.outputFormat (), true).name.c_str ());
		if (a.ambix)
			std::fprintf (stderr, "  %s takes the Direction; the other settings shape loudspeaker feeds "
			              "and do not apply\n", ORVO_AMBIX_NAME);
	}
	return renderAll (plugin, jobs, o);
}

//------------------------------------------------------------------------
namespace {

// The processor takes the settings as a DAW hands them over, and its state
// is what the preset file keeps.
bool savePreset (Plugin& plugin, Controller& c, const std::string& out, std::string& error)
{
	// Any rate and block size the plug-in takes: neither is in its state.
	constexpr double kRate = 48000.0;
	constexpr int32 kBlock = 512;
	ProcessorSession session;
	if (!session.start (plugin, kRate, kBlock, error))
		return false;
	session.sendSettings (c.settings ());
	session.stop ();
	return writeFileAtomically (
	    out,
	    [&] (const std::string& part) {
		    IBStream* stream = FileStream::open (part.c_str (), "wb");
		    if (!stream)
			    return false;
		    const bool saved =
		        PresetFile::savePreset (stream, FUID::fromTUID (plugin.effectClass ().data ()), session.component ());
		    stream->release ();
		    return saved;
	    },
	    error);
}

} // namespace

int presetCommand (Plugin& plugin, Controller& c, const PresetArgs& a)
{
	std::string error;
	if (!a.show.empty ())
	{
		if (!c.loadPreset (a.show, plugin.effectClass (), error))
			return fail (kExitFailed, error);
		std::printf ("%s:\n", a.show.c_str ());
		printSettings (c, stdout);
		return kExitOk;
	}
	if (a.output.empty ())
		return fail (kExitUsage, "preset: give an output file OUT.vstpreset, or --show FILE");
	if (!outputAllowed (a.output, a.force, error) ||
	    !resolveSettings (c, plugin, a.settings.preset, a.settings.sets, error))
		return fail (kExitUsage, error);
	if (!savePreset (plugin, c, a.output, error))
		return fail (kExitFailed, error);
	std::printf ("wrote %s:\n", a.output.c_str ());
	printSettings (c, stdout);
	return kExitOk;
}

int polarCommand (Plugin& plugin, Controller& c, const PolarArgs& a)
{
	std::string error;
	const std::string ext = fs::path (a.output).extension ().string ();
	if (ext != ".png" && ext != ".svg")
		return fail (kExitUsage, a.output + ": the picture is written as .png or .svg");
	if (!outputAllowed (a.output, a.force, error) ||
	    !resolveSettings (c, plugin, a.settings.preset, a.settings.sets, error))
		return fail (kExitUsage, error);
	if (!writeFileAtomically (
	        a.output, [&] (const std::string& part) { return drawPolar (c, part, ext == ".svg", a.size, error); },
	        error))
		return fail (kExitFailed, error);
	std::printf ("wrote %s\n", a.output.c_str ());
	return kExitOk;
}

} // namespace orvotool
