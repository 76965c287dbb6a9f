// The demo recording: five sources playing one after another (each alone for
// two seconds) at the look directions of the default 5-channel decode, over a
// diffuse ambience 20 dB below them, as the front cardioid, the
// figure-of-eight (facing left, with its bass roll-off) and the rear cardioid
// of a double mid-side array would pick them up (orvo_scene.h).
#include "demo.h"

#include "batch.h"
#include "orvo_scene.h"
#include "status.h"

#include <sndfile.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace orvotool {

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 48000;
const char* const kCapsuleFile = "demo_capsules.wav";
const char* const kSourcesFile = "demo_sources.txt";
const char* const kDecodedFile = "demo_decoded.wav";
const char* const kBusNames[6] = {"L", "R", "C", "LFE", "Ls", "Rs"};

struct SourcePlan
{
	const char* name;
	double azimuthDeg;
	double loHz, hiHz; // band of its noise
	double toneHz;     // plus a steady tone, so the sources sound distinct
	int channel;       // where the default decode puts it (5.1 bus index)
};

const SourcePlan kPlan[] = {
    {"centre", 0.0, 300.0, 4000.0, 523.25, 2},
    {"left", 80.0, 200.0, 6000.0, 392.0, 0},
    {"right", -80.0, 250.0, 5000.0, 659.25, 1},
    {"left_surround", 150.0, 150.0, 8000.0, 329.63, 4},
    {"right_surround", -150.0, 400.0, 3000.0, 783.99, 5},
};

struct Source
{
	std::string name;
	double azimuthDeg;
	long start, end; // samples where it plays alone
};

// The scene's capsule signals; each source's segment listed in 'list'.
orvo_scene::Capsules scene (std::ostream& list)
{
	const double lead = 0.5, each = 2.0, tail = 0.5;
	const size_t segment = static_cast<size_t> (each * kRate);
	const size_t n = static_cast<size_t> ((lead + each * std::size (kPlan) + tail) * kRate);
	orvo_scene::Capsules c (n);
	for (size_t k = 0; k < std::size (kPlan); ++k)
	{
		const SourcePlan& s = kPlan[k];
		const size_t start = static_cast<size_t> (lead * kRate) + k * segment;
		std::vector<float> x = orvo_scene::band_noise (segment, 100 + k, 0.08f, kRate, s.loHz, s.hiHz);
		const std::vector<float> tone = orvo_scene::sine (segment, kRate, s.toneHz, 0.08f);
		for (size_t i = 0; i < segment; ++i)
		{
			// 10 ms fades against clicks
			const double fade = std::fmin (1.0, std::fmin (i, segment - 1 - i) / (0.01 * kRate));
			x[i] = static_cast<float> ((x[i] + tone[i]) * fade);
		}
		orvo_scene::add_plane_wave (c, x, s.azimuthDeg * orvo_scene::kPi / 180.0, 0.0, start);
		list << s.name << ' ' << s.azimuthDeg << ' ' << start << ' ' << start + segment << '\n';
	}
	orvo_scene::add_diffuse (c, 7, 0.012f, kRate, 100.0, 10000.0, 48);
	orvo_scene::apply_figure_of_eight_rolloff (c.f8, kRate);
	return c;
}

bool writeCapsules (const std::string& path, const orvo_scene::Capsules& c, std::string& error)
{
	SF_INFO info {};
	info.samplerate = kRate;
	info.channels = 3;
	info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
	SNDFILE* f = sf_open (path.c_str (), SFM_WRITE, &info);
	if (!f)
	{
		error = path + ": cannot write: " + sf_strerror (nullptr);
		return false;
	}
	const size_t n = c.fc.size ();
	std::vector<float> interleaved (n * 3);
	for (size_t i = 0; i < n; ++i)
	{
		interleaved[i * 3] = c.fc[i];
		interleaved[i * 3 + 1] = c.f8[i];
		interleaved[i * 3 + 2] = c.rc[i];
	}
	const bool ok = sf_writef_float (f, interleaved.data (), static_cast<sf_count_t> (n)) ==
	                static_cast<sf_count_t> (n);
	sf_close (f);
	if (!ok)
		error = path + ": short write";
	return ok;
}

bool generate (const fs::path& dir, std::string& error)
{
	std::error_code ec;
	fs::create_directories (dir, ec);
	std::ofstream list (dir / kSourcesFile);
	const orvo_scene::Capsules c = scene (list);
	if (!list)
	{
		error = (dir / kSourcesFile).string () + ": cannot write";
		return false;
	}
	const std::string path = (dir / kCapsuleFile).string ();
	if (!writeCapsules (path, c, error))
		return false;
	std::printf ("generated %s: %.1f s at %d Hz, 3 channels (front cardioid, figure-of-eight, rear cardioid)\n",
	             path.c_str (), static_cast<double> (c.fc.size ()) / kRate, kRate);
	for (const SourcePlan& s : kPlan)
		std::printf ("  %-15s %7.1f deg\n", s.name, s.azimuthDeg);
	std::printf ("  ambience: diffuse noise 100 Hz..10 kHz, 20 dB below the sources\n");
	return true;
}

bool readSources (const fs::path& path, std::vector<Source>& sources, std::string& error)
{
	std::ifstream f (path);
	if (!f)
	{
		error = path.string () + ": cannot read (generate the scene first: orvotool demo --dir DIR)";
		return false;
	}
	std::string line;
	int lineNo = 0;
	while (std::getline (f, line))
	{
		++lineNo;
		if (line.empty () || line[0] == '#')
			continue;
		std::istringstream s (line);
		Source src;
		if (!(s >> src.name >> src.azimuthDeg >> src.start >> src.end) || src.start < 0 || src.end <= src.start)
		{
			error = path.string () + ":" + std::to_string (lineNo) + ": expected 'name azimuth start end'";
			return false;
		}
		sources.push_back (src);
	}
	if (sources.empty ())
	{
		error = path.string () + ": no sources";
		return false;
	}
	return true;
}

// The decode's six channels (a 5.1 file), one vector each.
bool readDecoded (const std::string& decoded, std::vector<std::vector<float>>& ch, std::string& error)
{
	SF_INFO info {};
	SNDFILE* f = sf_open (decoded.c_str (), SFM_READ, &info);
	if (!f)
	{
		error = decoded + ": cannot read: " + sf_strerror (nullptr);
		return false;
	}
	if (info.channels != 6)
	{
		sf_close (f);
		error = decoded + ": " + std::to_string (info.channels) +
		        " channels; the report reads a 5.1 decode (L R C LFE Ls Rs)";
		return false;
	}
	const auto frames = static_cast<size_t> (info.frames);
	std::vector<float> interleaved (frames * 6);
	sf_readf_float (f, interleaved.data (), info.frames);
	sf_close (f);
	ch.assign (6, std::vector<float> (frames));
	for (size_t i = 0; i < frames; ++i)
		for (size_t c = 0; c < 6; ++c)
			ch[c][i] = interleaved[i * 6 + c];
	return true;
}

// The bus channel the default decode puts a source in; -1 for a stranger.
int ownChannel (const Source& s)
{
	for (const SourcePlan& p : kPlan)
		if (s.name == p.name)
			return p.channel;
	return -1;
}

// Prints one source's levels; true when it leads in its own channel by
// the margin (the LFE, which carries every source, is not compared).
bool reportSource (const Source& s, int own, const std::vector<std::vector<float>>& ch, double marginDb)
{
	std::array<double, 6> level {};
	double others = -INFINITY;
	for (size_t j = 0; j < 6; ++j)
	{
		level[j] = orvo_scene::rms_db (ch[j].data (), static_cast<size_t> (s.start), static_cast<size_t> (s.end));
		if (static_cast<int> (j) != own && j != 3)
			others = std::max (others, level[j]);
	}
	const double lead = level[static_cast<size_t> (own)] - others;
	const bool ok = lead >= marginDb;
	std::printf ("  %-15s %7.1f", s.name.c_str (), s.azimuthDeg);
	for (double l : level)
		l < -200.0 ? std::printf (" %7s", "-inf") : std::printf (" %7.1f", l);
	std::printf ("  %-8s %5.1f dB %s\n", kBusNames[own], lead, ok ? "ok" : "FAIL");
	return ok;
}

// Levels of every source in every channel; fails when a source is not the
// loudest in its own channel by marginDb over every other channel.
int report (const fs::path& dir, const std::string& decoded, double marginDb)
{
	std::vector<Source> sources;
	std::vector<std::vector<float>> ch;
	std::string error;
	if (!readSources (dir / kSourcesFile, sources, error) || !readDecoded (decoded, ch, error))
		return fail (kExitFailed, error);
	std::printf ("report for %s (dBFS, RMS over each source's segment; a source must lead in its own "
	             "channel by %.1f dB)\n", decoded.c_str (), marginDb);
	std::printf ("  %-15s %7s", "source", "azimuth");
	for (const char* name : kBusNames)
		std::printf (" %7s", name);
	std::printf ("  %-8s %s\n", "own", "lead");
	int failures = 0;
	for (const Source& s : sources)
	{
		const int own = ownChannel (s);
		if (own < 0 || static_cast<size_t> (s.end) > ch[0].size ())
			return fail (kExitFailed, "source " + s.name + " is not one of the scene's or ends past " + decoded);
		failures += reportSource (s, own, ch, marginDb) ? 0 : 1;
	}
	if (failures)
	{
		std::printf ("%d source(s) not loudest in their own channel by %.1f dB\n", failures, marginDb);
		return kExitFailed;
	}
	std::printf ("every source is loudest in its own channel by at least %.1f dB\n", marginDb);
	return kExitOk;
}

} // namespace

int runDemo (Plugin& plugin, Controller& controller, const DemoArgs& args)
{
	const fs::path dir = args.dir;
	if (!args.decoded.empty ())
		return report (dir, args.decoded, args.marginDb);
	std::string error;
	if (!generate (dir, error))
		return fail (kExitFailed, error);
	// The plug-in's defaults, with the LFE of a 5-channel decode: the report
	// reads six channels.
	RenderOptions o;
	o.settings = controller.settings ();
	o.layout = outputLayout (controller.outputFormat (), true);
	o.tail = false;
	o.force = true;
	o.quiet = true;
	const std::string decoded = (dir / kDecodedFile).string ();
	const int rc = renderAll (plugin, {{{(dir / kCapsuleFile).string ()}, decoded}}, o);
	if (rc != kExitOk)
		return rc;
	return report (dir, decoded, args.marginDb);
}

} // namespace orvotool
