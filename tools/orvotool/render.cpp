#include "render.h"

#include "public.sdk/source/vst/hosting/parameterchanges.h"

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include <unistd.h>

namespace orvotool {

namespace fs = std::filesystem;

namespace {

constexpr int kBusChannels = 6;
constexpr int kCapsules = 3;

// Set by SIGINT/SIGTERM: workers stop and remove their partial files.
std::atomic<bool> interrupted {false};
extern "C" void onSignal (int)
{
	interrupted = true;
}

double dbfs (double v)
{
	return v > 0.0 ? 20.0 * std::log10 (v) : -INFINITY;
}

std::string formatDb (double v)
{
	if (!std::isfinite (v))
		return "-inf";
	char s[32];
	std::snprintf (s, sizeof s, "%.1f", v);
	return s;
}

std::string formatDuration (double seconds)
{
	const auto whole = static_cast<long long> (seconds);
	char s[48];
	std::snprintf (s, sizeof s, "%lld:%02lld:%06.3f", whole / 3600, whole / 60 % 60,
	               seconds - static_cast<double> (whole / 60 * 60));
	return s;
}

std::string lowerExt (const std::string& path)
{
	std::string e = fs::path (path).extension ().string ();
	std::transform (e.begin (), e.end (), e.begin (),
	                [] (unsigned char c) { return static_cast<char> (std::tolower (c)); });
	return e;
}

// The libsndfile container for an output name; 0 for an unknown extension.
int containerFor (const std::string& path)
{
	const std::string e = lowerExt (path);
	if (e == ".wav" || e == ".bwf")
		return SF_FORMAT_RF64; // written as WAVE, or RF64 once beyond 4 GB
	if (e == ".rf64")
		return SF_FORMAT_RF64;
	if (e == ".w64")
		return SF_FORMAT_W64;
	if (e == ".flac")
		return SF_FORMAT_FLAC;
	return 0;
}

int subtypeFor (const std::string& bits, int container)
{
	const std::string b = bits.empty () ? (container == SF_FORMAT_FLAC ? "24" : "32f") : bits;
	if (b == "16")
		return SF_FORMAT_PCM_16;
	if (b == "24")
		return SF_FORMAT_PCM_24;
	if (b == "32f")
		return container == SF_FORMAT_FLAC ? 0 : SF_FORMAT_FLOAT;
	return 0;
}

// The capsule recording: one file or three mono files, read block by block.
class CapsuleReader
{
public:
	~CapsuleReader ()
	{
		for (auto& s : sources)
			if (s.file)
				sf_close (s.file);
	}

	bool open (const std::vector<std::string>& inputs, const std::vector<int>& channels,
	           std::string& error)
	{
		for (const auto& path : inputs)
		{
			Source s;
			s.path = path;
			s.file = sf_open (path.c_str (), SFM_READ, &s.info);
			if (!s.file)
			{
				std::error_code ec;
				error = path + ": " +
				        (fs::exists (path, ec) ? std::string ("cannot read: ") + sf_strerror (nullptr)
				                               : std::string ("no such file"));
				return false;
			}
			sources.push_back (std::move (s));
		}
		if (sources.size () == 1)
		{
			Source& s = sources[0];
			std::vector<int> pick = channels;
			if (pick.empty ())
			{
				if (s.info.channels != kCapsules)
				{
					error = s.path + ": " + std::to_string (s.info.channels) +
					        " channel(s); a capsule recording has 3 (front cardioid, figure-of-eight, "
					        "rear cardioid), or name them with --channels F,E,R";
					return false;
				}
				pick = {1, 2, 3};
			}
			for (int c : pick)
				if (c < 1 || c > s.info.channels)
				{
					error = s.path + ": has no channel " + std::to_string (c) + " (it has " +
					        std::to_string (s.info.channels) + ")";
					return false;
				}
			for (int k = 0; k < kCapsules; ++k)
				s.picks.push_back ({pick[static_cast<size_t> (k)] - 1, k});
		}
		else
		{
			for (size_t k = 0; k < sources.size (); ++k)
			{
				Source& s = sources[k];
				if (s.info.channels != 1)
				{
					error = s.path + ": " + std::to_string (s.info.channels) +
					        " channels; --front, --eight and --rear each take a mono file";
					return false;
				}
				if (s.info.samplerate != sources[0].info.samplerate || s.info.frames != sources[0].info.frames)
				{
					error = s.path + ": " + std::to_string (s.info.frames) + " frames at " +
					        std::to_string (s.info.samplerate) + " Hz, but " + sources[0].path + " has " +
					        std::to_string (sources[0].info.frames) + " at " +
					        std::to_string (sources[0].info.samplerate) + " Hz";
					return false;
				}
				s.picks.push_back ({0, static_cast<int> (k)});
			}
		}
		return true;
	}

	int rate () const { return sources[0].info.samplerate; }
	int64_t frames () const { return sources[0].info.frames; }
	SNDFILE* first () { return sources[0].file; }

	// Reads n frames into the three capsule buffers; false with a message
	// when the file ends early or cannot be read.
	bool read (float* const* capsules, int n, std::string& error)
	{
		for (auto& s : sources)
		{
			scratch.resize (static_cast<size_t> (n) * static_cast<size_t> (s.info.channels));
			const sf_count_t got = sf_readf_float (s.file, scratch.data (), n);
			if (got != n)
			{
				error = s.path + ": unreadable or truncated after " + std::to_string (done + std::max<sf_count_t> (got, 0)) +
				        " of " + std::to_string (s.info.frames) + " frames" +
				        (sf_error (s.file) ? std::string (" (") + sf_strerror (s.file) + ")" : std::string ());
				return false;
			}
			for (const auto& [from, to] : s.picks)
				for (int i = 0; i < n; ++i)
					capsules[to][i] = scratch[static_cast<size_t> (i * s.info.channels + from)];
		}
		done += n;
		return true;
	}

private:
	struct Source
	{
		std::string path;
		SNDFILE* file {nullptr};
		SF_INFO info {};
		std::vector<std::pair<int, int>> picks; // file channel -> capsule
	};
	std::vector<Source> sources;
	std::vector<float> scratch;
	int64_t done {0};
};

struct Result
{
	bool ok {false};
	std::string error;
	double audioSeconds {0.0};
	double wallSeconds {0.0};
	std::vector<double> peak, rms;
};

// Progress of the running batch, read by the progress printer.
struct Progress
{
	std::atomic<int64_t> framesDone {0};
	std::atomic<int64_t> framesTotal {0};
	std::atomic<int> filesDone {0};
};

std::string partName (const std::string& output)
{
	const fs::path p (output);
	return (p.parent_path () / ("." + p.filename ().string () + ".part-" + std::to_string (getpid ())))
	    .string ();
}

Result renderOne (Plugin& plugin, const RenderJob& job, const RenderOptions& o, Progress& progress)
{
	Result r;
	const auto start = std::chrono::steady_clock::now ();
	CapsuleReader reader;
	if (!reader.open (job.inputs, o.capsuleChannels, r.error))
		return r;
	const int64_t frames = reader.frames ();
	const int rate = reader.rate ();

	auto component = plugin.createComponent (r.error);
	if (!component)
		return r;
	struct Terminate
	{
		IComponent* c;
		bool active {false};
		~Terminate ()
		{
			if (active)
				c->setActive (false);
			c->terminate ();
		}
	} terminate {component.get ()};
	FUnknownPtr<IAudioProcessor> processor (component);
	if (!processor)
	{
		r.error = "the plug-in's component is no audio processor";
		return r;
	}
	SpeakerArrangement inArr = SpeakerArr::k51, outArr = SpeakerArr::k51;
	processor->setBusArrangements (&inArr, 1, &outArr, 1);
	ProcessSetup setup {kOffline, kSample32, o.block, static_cast<double> (rate)};
	if (processor->setupProcessing (setup) != kResultOk)
	{
		r.error = job.inputs[0] + ": the plug-in does not decode at " + std::to_string (rate) +
		          " Hz";
		return r;
	}
	const int64_t latency = processor->getLatencySamples ();
	const int64_t tail = o.tail ? processor->getTailSamples () : 0;
	component->activateBus (kAudio, kInput, 0, true);
	component->activateBus (kAudio, kOutput, 0, true);
	component->setActive (true);
	terminate.active = true;
	processor->setProcessing (true);
	flushSettings (*processor, o.settings);

	// Output, written under a temporary name and renamed when complete.
	const int container = containerFor (job.output);
	SF_INFO outInfo {};
	outInfo.samplerate = rate;
	outInfo.channels = static_cast<int> (o.layout.busChannels.size ());
	outInfo.format = container | subtypeFor (o.bits, container);
	const std::string part = partName (job.output);
	SNDFILE* out = sf_open (part.c_str (), SFM_WRITE, &outInfo);
	if (!out)
	{
		r.error = job.output + ": cannot write: " + sf_strerror (nullptr);
		return r;
	}
	auto fail = [&] (const std::string& why) {
		sf_close (out);
		std::remove (part.c_str ());
		r.error = why;
		return r;
	};
	if (container == SF_FORMAT_RF64 && lowerExt (job.output) != ".rf64")
		sf_command (out, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
	sf_command (out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
	std::vector<int> map = o.layout.channelMap;
	sf_command (out, SFC_SET_CHANNEL_MAP_INFO, map.data (), static_cast<int> (map.size () * sizeof (int)));
	// The recorder's broadcast chunk (time reference, description,
	// originator): the decode lines up with the recording sample for sample.
	SF_BROADCAST_INFO bext {};
	if (sf_command (reader.first (), SFC_GET_BROADCAST_INFO, &bext, sizeof bext) == SF_TRUE &&
	    container != SF_FORMAT_FLAC)
		sf_command (out, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);

	const int block = o.block;
	std::vector<std::vector<float>> in (kBusChannels, std::vector<float> (static_cast<size_t> (block), 0.f));
	std::vector<std::vector<float>> bus (kBusChannels, std::vector<float> (static_cast<size_t> (block), 0.f));
	float* inPtrs[kBusChannels];
	float* outPtrs[kBusChannels];
	for (int c = 0; c < kBusChannels; ++c)
	{
		inPtrs[c] = in[static_cast<size_t> (c)].data ();
		outPtrs[c] = bus[static_cast<size_t> (c)].data ();
	}
	const size_t outChannels = o.layout.busChannels.size ();
	std::vector<float> interleaved (static_cast<size_t> (block) * outChannels);
	std::vector<double> peak (outChannels, 0.0), energy (outChannels, 0.0);

	const int64_t want = frames + tail;
	int64_t fed = 0, produced = 0, written = 0;
	ParameterChanges noChanges (0);
	while (written < want)
	{
		if (interrupted)
			return fail (job.output + ": interrupted");
		const int n = block;
		const int fromFile = static_cast<int> (std::min<int64_t> (n, frames - fed));
		for (int c = 0; c < kCapsules; ++c)
			std::fill (in[static_cast<size_t> (c)].begin (), in[static_cast<size_t> (c)].end (), 0.f);
		if (fromFile > 0 && !reader.read (inPtrs, fromFile, r.error))
			return fail (r.error);
		fed += std::max (fromFile, 0);

		AudioBusBuffers inBus {}, outBus {};
		inBus.numChannels = kBusChannels;
		inBus.channelBuffers32 = inPtrs;
		outBus.numChannels = kBusChannels;
		outBus.channelBuffers32 = outPtrs;
		ParameterChanges meters (32);
		ProcessData data {};
		data.processMode = kOffline;
		data.symbolicSampleSize = kSample32;
		data.numSamples = n;
		data.numInputs = 1;
		data.numOutputs = 1;
		data.inputs = &inBus;
		data.outputs = &outBus;
		data.inputParameterChanges = &noChanges;
		data.outputParameterChanges = &meters;
		if (processor->process (data) != kResultOk)
			return fail (job.inputs[0] + ": the plug-in failed to process a block");

		// The first 'latency' frames precede the recording's first sample.
		const int64_t skip = std::clamp<int64_t> (latency - produced, 0, n);
		const int64_t count = std::min<int64_t> (n - skip, want - written);
		for (int64_t i = 0; i < count; ++i)
			for (size_t c = 0; c < outChannels; ++c)
			{
				const float x = bus[static_cast<size_t> (o.layout.busChannels[c])][static_cast<size_t> (skip + i)];
				interleaved[static_cast<size_t> (i) * outChannels + c] = x;
				peak[c] = std::max (peak[c], static_cast<double> (std::fabs (x)));
				energy[c] += static_cast<double> (x) * x;
			}
		produced += n;
		if (count > 0)
		{
			if (sf_writef_float (out, interleaved.data (), count) != count)
				return fail (job.output + ": write failed: " + sf_strerror (out));
			written += count;
			progress.framesDone += count;
		}
	}
	if (sf_close (out) != 0)
	{
		std::remove (part.c_str ());
		r.error = job.output + ": write failed";
		return r;
	}
	std::error_code ec;
	fs::rename (part, job.output, ec);
	if (ec)
	{
		std::remove (part.c_str ());
		r.error = job.output + ": cannot rename the finished file into place: " + ec.message ();
		return r;
	}
	r.ok = true;
	r.audioSeconds = static_cast<double> (want) / rate;
	r.wallSeconds = std::chrono::duration<double> (std::chrono::steady_clock::now () - start).count ();
	for (size_t c = 0; c < outChannels; ++c)
	{
		r.peak.push_back (dbfs (peak[c]));
		r.rms.push_back (dbfs (want > 0 ? std::sqrt (energy[c] / static_cast<double> (want)) : 0.0));
	}
	return r;
}

// Frames a job will write (input length plus tail is not known before the
// plug-in is set up; the input length suffices for the bar).
int64_t inputFrames (const RenderJob& job)
{
	SF_INFO info {};
	SNDFILE* f = sf_open (job.inputs[0].c_str (), SFM_READ, &info);
	if (!f)
		return 0;
	sf_close (f);
	return info.frames;
}

} // namespace

OutputLayout outputLayout (int formatIndex, bool withLfe)
{
	switch (formatIndex)
	{
		case 0:
			return {"Stereo", {0, 1}, {"L", "R"}, {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT}};
		case 1:
			return {"3 Channels", {0, 1, 2}, {"L", "R", "C"},
			        {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER}};
		case 2:
			return {"4 Channels", {0, 1, 4, 5}, {"L", "R", "Ls", "Rs"},
			        {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_REAR_LEFT,
			         SF_CHANNEL_MAP_REAR_RIGHT}};
		default:
			if (!withLfe)
				return {"5.0", {0, 1, 2, 4, 5}, {"L", "R", "C", "Ls", "Rs"},
				        {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER,
				         SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT}};
			return {"5.1", {0, 1, 2, 3, 4, 5}, {"L", "R", "C", "LFE", "Ls", "Rs"},
			        {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER, SF_CHANNEL_MAP_LFE,
			         SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT}};
	}
}

std::string defaultOutput (const std::string& input, const std::string& outdir, const std::string& ext)
{
	const fs::path in (input);
	const fs::path dir = outdir.empty () ? in.parent_path () : fs::path (outdir);
	return (dir / (in.stem ().string () + "_decoded." + ext)).string ();
}

bool checkOutputs (std::vector<RenderJob>& jobs, const RenderOptions& o,
                   std::vector<std::string>& problems, std::vector<std::string>& skipped)
{
	std::set<std::string> seen, inputs;
	std::error_code ec;
	for (const auto& j : jobs)
		for (const auto& i : j.inputs)
			inputs.insert (fs::weakly_canonical (i, ec).string ());
	std::vector<RenderJob> kept;
	for (auto& j : jobs)
	{
		const std::string& out = j.output;
		const int container = containerFor (out);
		if (!container)
		{
			problems.push_back (out + ": unknown file type (use .wav, .rf64, .w64 or .flac)");
			continue;
		}
		if (!subtypeFor (o.bits, container))
		{
			problems.push_back (out + ": " + (container == SF_FORMAT_FLAC ? "FLAC holds 16 or 24 bits, not " : "no such bit depth: ") + o.bits);
			continue;
		}
		const std::string canon = fs::weakly_canonical (out, ec).string ();
		if (!seen.insert (canon).second)
		{
			problems.push_back (out + ": written by two inputs");
			continue;
		}
		if (inputs.count (canon))
		{
			problems.push_back (out + ": is an input");
			continue;
		}
		if (fs::is_directory (out, ec))
		{
			problems.push_back (out + ": is a folder");
			continue;
		}
		if (fs::exists (out, ec))
		{
			if (o.skipExisting)
			{
				skipped.push_back (out);
				continue;
			}
			if (!o.force)
			{
				problems.push_back (out + ": exists (use --force to overwrite, --skip-existing to keep it)");
				continue;
			}
		}
		fs::path dir = fs::path (out).parent_path ();
		if (dir.empty ())
			dir = ".";
		if (!fs::is_directory (dir, ec))
			problems.push_back (out + ": no folder " + dir.string ());
		else if (access (dir.c_str (), W_OK | X_OK) != 0)
			problems.push_back (out + ": folder " + dir.string () + " is not writable");
		else
			kept.push_back (j);
	}
	jobs = kept;
	return problems.empty ();
}

int renderAll (Plugin& plugin, const std::vector<RenderJob>& jobs, const RenderOptions& o)
{
	std::signal (SIGINT, onSignal);
	std::signal (SIGTERM, onSignal);
	Progress progress;
	for (const auto& j : jobs)
		progress.framesTotal += inputFrames (j);

	std::vector<Result> results (jobs.size ());
	std::atomic<size_t> next {0};
	std::mutex printMutex;
	const bool bar = !o.quiet && isatty (STDERR_FILENO);
	const auto start = std::chrono::steady_clock::now ();
	auto worker = [&] () {
		for (size_t k; (k = next++) < jobs.size ();)
		{
			if (!o.quiet && !bar)
			{
				std::lock_guard<std::mutex> lock (printMutex);
				std::fprintf (stderr, "orvotool: decoding %s -> %s\n", jobs[k].inputs[0].c_str (),
				              jobs[k].output.c_str ());
			}
			results[k] = renderOne (plugin, jobs[k], o, progress);
			++progress.filesDone;
			std::lock_guard<std::mutex> lock (printMutex);
			if (bar)
				std::fputs ("\r\033[K", stderr);
			if (!results[k].ok)
				std::fprintf (stderr, "orvotool: error: %s\n", results[k].error.c_str ());
			else if (!o.quiet && !bar)
				std::fprintf (stderr, "orvotool: wrote %s\n", jobs[k].output.c_str ());
		}
	};
	const int threads = std::max (1, std::min<int> (o.jobs, static_cast<int> (jobs.size ())));
	std::vector<std::thread> pool;
	for (int t = 0; t < threads; ++t)
		pool.emplace_back (worker);

	if (bar)
	{
		// A progress bar until the last file is done.
		while (progress.filesDone < static_cast<int> (jobs.size ()))
		{
			std::this_thread::sleep_for (std::chrono::milliseconds (200));
			const double total = std::max<double> (1.0, static_cast<double> (progress.framesTotal));
			const double frac = std::min (1.0, static_cast<double> (progress.framesDone) / total);
			const int width = 30, filled = static_cast<int> (frac * width);
			std::lock_guard<std::mutex> lock (printMutex);
			std::fprintf (stderr, "\r\033[K[%s%s] %3.0f%%  %d/%zu files", std::string (static_cast<size_t> (filled), '#').c_str (),
			              std::string (static_cast<size_t> (width - filled), '.').c_str (), frac * 100.0,
			              progress.filesDone.load (), jobs.size ());
			std::fflush (stderr);
		}
		std::fputs ("\r\033[K", stderr);
	}
	for (auto& t : pool)
		t.join ();
	const double wall = std::chrono::duration<double> (std::chrono::steady_clock::now () - start).count ();

	// Summary: one block per file.
	int failed = 0;
	double audio = 0.0;
	for (size_t k = 0; k < jobs.size (); ++k)
	{
		const Result& r = results[k];
		if (!r.ok)
		{
			++failed;
			std::printf ("%s: FAILED (%s)\n", jobs[k].inputs[0].c_str (), r.error.c_str ());
			continue;
		}
		audio += r.audioSeconds;
		std::printf ("%s -> %s\n  %s, %s, %.1fx realtime\n  ", jobs[k].inputs[0].c_str (), jobs[k].output.c_str (),
		             formatDuration (r.audioSeconds).c_str (), o.layout.name.c_str (),
		             r.wallSeconds > 0 ? r.audioSeconds / r.wallSeconds : 0.0);
		for (size_t c = 0; c < o.layout.channelNames.size (); ++c)
			std::printf (" %6s", o.layout.channelNames[c].c_str ());
		std::printf ("\n  peak");
		for (double v : r.peak)
			std::printf (" %6s", formatDb (v).c_str ());
		std::printf (" dBFS\n  rms ");
		for (double v : r.rms)
			std::printf (" %6s", formatDb (v).c_str ());
		std::printf (" dBFS\n");
	}
	std::printf ("%zu file(s) decoded, %d failed; %s of audio in %.2f s (%.1fx realtime, %d at a time)\n",
	             jobs.size () - static_cast<size_t> (failed), failed, formatDuration (audio).c_str (), wall,
	             wall > 0 ? audio / wall : 0.0, threads);
	if (interrupted)
		return kExitFailed;
	return failed ? kExitFailed : kExitOk;
}

} // namespace orvotool
