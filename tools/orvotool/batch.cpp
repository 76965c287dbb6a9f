#include "batch.h"

#include "status.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

namespace orvotool {

namespace fs = std::filesystem;

namespace {

// Set by SIGINT/SIGTERM: workers stop, remove their partial files and take
// no further job.
std::atomic<bool> interrupted {false};
extern "C" void onSignal (int)
{
	interrupted = true;
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

// A folder that exists and is writable, or (with 'create') whose nearest
// existing parent is; the reason otherwise.
std::string folderProblem (const fs::path& dir, bool create)
{
	std::error_code ec;
	fs::path existing = dir;
	while (create && !existing.empty () && !fs::exists (existing, ec))
		existing = existing.parent_path ();
	if (existing.empty ())
		existing = ".";
	if (!fs::is_directory (existing, ec))
		return create && existing != dir ? "cannot make folder " + dir.string () + " (" + existing.string () +
		                                       " is no folder)"
		                                 : "no folder " + dir.string ();
	if (access (existing.c_str (), W_OK | X_OK) != 0)
		return "folder " + existing.string () + " is not writable";
	return {};
}

// The problem with one output, or "" when it may be written or, with
// --skip-existing, is there already ('skip').
std::string outputProblem (const RenderJob& j, const RenderOptions& o, std::set<std::string>& seen,
                           const std::set<std::string>& inputs, bool& skip)
{
	const std::string& out = j.output;
	const int container = containerFor (out);
	if (!container)
		return "unknown file type (use .wav, .rf64, .w64 or .flac)";
	if (!subtypeFor (o.bits, container))
		return (container == SF_FORMAT_FLAC ? "FLAC holds 16 or 24 bits, not " : "no such bit depth: ") + o.bits;
	std::error_code ec;
	const std::string canon = fs::weakly_canonical (out, ec).string ();
	if (!seen.insert (canon).second)
		return "written by two inputs";
	if (inputs.count (canon))
		return "is an input";
	if (fs::is_directory (out, ec))
		return "is a folder";
	if (fs::exists (out, ec) && o.skipExisting)
		return (skip = true), std::string ();
	if (fs::exists (out, ec) && !o.force)
		return "exists (use --force to overwrite, --skip-existing to keep it)";
	fs::path dir = fs::path (out).parent_path ();
	return folderProblem (dir.empty () ? "." : dir, o.createOutdir);
}

void printSummary (const std::vector<RenderJob>& jobs, const std::vector<RenderResult>& results,
                   const RenderOptions& o, double wall, int threads)
{
	int failed = 0;
	double audio = 0.0;
	for (size_t k = 0; k < jobs.size (); ++k)
	{
		const RenderResult& r = results[k];
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
		for (const std::string& name : o.layout.channelNames)
			std::printf (" %6s", name.c_str ());
		std::printf ("\n  peak");
		for (double v : r.peakDb)
			std::printf (" %6s", formatDb (v).c_str ());
		std::printf (" dBFS\n  rms ");
		for (double v : r.rmsDb)
			std::printf (" %6s", formatDb (v).c_str ());
		std::printf (" dBFS\n");
	}
	std::printf ("%zu file(s) decoded, %d failed; %s of audio in %.2f s (%.1fx realtime, %d at a time)\n",
	             jobs.size () - static_cast<size_t> (failed), failed, formatDuration (audio).c_str (), wall,
	             wall > 0 ? audio / wall : 0.0, threads);
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

// A progress bar on the terminal until the last file is done.
void showProgress (const Progress& progress, size_t files, std::mutex& printMutex)
{
	while (progress.filesDone < static_cast<int> (files))
	{
		std::this_thread::sleep_for (std::chrono::milliseconds (200));
		const double total = std::max<double> (1.0, static_cast<double> (progress.framesTotal));
		const double frac = std::min (1.0, static_cast<double> (progress.framesDone) / total);
		const int width = 30, filled = static_cast<int> (frac * width);
		std::lock_guard<std::mutex> lock (printMutex);
		std::fprintf (stderr, "\r\033[K[%s%s] %3.0f%%  %d/%zu files",
		              std::string (static_cast<size_t> (filled), '#').c_str (),
		              std::string (static_cast<size_t> (width - filled), '.').c_str (), frac * 100.0,
		              progress.filesDone.load (), files);
		std::fflush (stderr);
	}
	std::fputs ("\r\033[K", stderr);
}

// The batch's shared state, worked through by a few threads.
struct Batch
{
	Batch (Plugin& plugin, const std::vector<RenderJob>& jobs, const RenderOptions& o)
	: plugin (plugin), jobs (jobs), o (o), bar (!o.quiet && isatty (STDERR_FILENO)), results (jobs.size ())
	{
	}

	Plugin& plugin;
	const std::vector<RenderJob>& jobs;
	const RenderOptions& o;
	const bool bar; // a progress bar on a terminal, else a line per file
	std::vector<RenderResult> results;
	std::atomic<size_t> next {0};
	Progress progress;
	std::mutex printMutex;

	void work ();
	void report (size_t k);
};

void Batch::report (size_t k)
{
	std::lock_guard<std::mutex> lock (printMutex);
	if (bar)
		std::fputs ("\r\033[K", stderr);
	for (const std::string& w : results[k].warnings)
		warn (w);
	if (!results[k].ok)
		std::fprintf (stderr, "orvotool: error: %s\n", results[k].error.c_str ());
	else if (!o.quiet && !bar)
		std::fprintf (stderr, "orvotool: wrote %s\n", jobs[k].output.c_str ());
}

void Batch::work ()
{
	for (size_t k; !interrupted && (k = next++) < jobs.size ();)
	{
		if (!o.quiet && !bar)
		{
			std::lock_guard<std::mutex> lock (printMutex);
			std::fprintf (stderr, "orvotool: decoding %s -> %s\n", jobs[k].inputs[0].c_str (),
			              jobs[k].output.c_str ());
		}
		results[k] = renderFile (plugin, jobs[k], o, progress, interrupted);
		++progress.filesDone;
		report (k);
	}
}

} // namespace

std::string defaultOutput (const std::string& input, const std::string& outdir, const std::string& ext,
                          const std::string& suffix)
{
	const fs::path in (input);
	const fs::path dir = outdir.empty () ? in.parent_path () : fs::path (outdir);
	return (dir / (in.stem ().string () + suffix + "." + ext)).string ();
}

bool checkOutputs (std::vector<RenderJob>& jobs, const RenderOptions& o, std::vector<std::string>& problems,
                   std::vector<std::string>& skipped)
{
	std::set<std::string> seen, inputs;
	std::error_code ec;
	for (const auto& j : jobs)
		for (const auto& i : j.inputs)
			inputs.insert (fs::weakly_canonical (i, ec).string ());
	std::vector<RenderJob> kept;
	for (auto& j : jobs)
	{
		bool skip = false;
		const std::string problem = outputProblem (j, o, seen, inputs, skip);
		if (!problem.empty ())
			problems.push_back (j.output + ": " + problem);
		else if (skip)
			skipped.push_back (j.output);
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
	Batch batch (plugin, jobs, o);
	for (const auto& j : jobs)
		batch.progress.framesTotal += inputFrames (j);
	const auto start = std::chrono::steady_clock::now ();
	const int threads = std::max (1, std::min<int> (o.jobs, static_cast<int> (jobs.size ())));
	std::vector<std::thread> pool;
	for (int t = 0; t < threads; ++t)
		pool.emplace_back ([&batch] { batch.work (); });
	if (batch.bar)
		showProgress (batch.progress, jobs.size (), batch.printMutex);
	for (auto& t : pool)
		t.join ();
	const double wall = std::chrono::duration<double> (std::chrono::steady_clock::now () - start).count ();
	if (interrupted)
		return fail (kExitInterrupted, "interrupted; the file being written was removed, finished ones stay");
	printSummary (jobs, batch.results, o, wall, threads);
	return std::all_of (batch.results.begin (), batch.results.end (), [] (const RenderResult& r) { return r.ok; })
	           ? kExitOk
	           : kExitFailed;
}

} // namespace orvotool
