// One capsule recording decoded through the plug-in's processor into a file
// of the output format, streamed block by block.
#pragma once

#include "audiofile.h"
#include "controller.h"

#include <atomic>
#include <string>
#include <vector>

namespace orvotool {

// What a render hands the decoder's settings to: the decoder alone (a file
// of the output format), the decoder then the binaural monitor (two ears for
// headphones), or the AmbiX converter (first-order Ambisonics).
enum class RenderChain
{
	Decode,
	Binaural,
	Ambix,
};

struct RenderOptions
{
	SettingValues settings {};
	RenderChain chain {RenderChain::Decode};
	std::string hrtf;                 // the monitor's SOFA file; empty: its built-in set
	double headRotation {0.0};        // degrees, the monitor's Head Rotation
	OutputLayout layout;
	std::string bits;                 // "16", "24", "32f", or empty: 32f (24 for FLAC)
	std::vector<int> capsuleChannels; // 1-based channels of front, eight, rear; empty: 1,2,3
	int block {1024};
	bool tail {true};
	bool force {false};
	bool skipExisting {false};
	bool createOutdir {false};        // the outputs' folder may be created
	int jobs {1};
	bool quiet {false};
};

// One recording: one file holding the capsules, or three mono files (front
// cardioid, figure-of-eight, rear cardioid).
struct RenderJob
{
	std::vector<std::string> inputs;
	std::string output;
};

struct RenderResult
{
	bool ok {false};
	std::string error;
	std::vector<std::string> warnings;
	double audioSeconds {0.0};
	double wallSeconds {0.0};
	std::vector<double> peakDb, rmsDb; // per output channel, dBFS
};

// Frames written so far by every file of a batch, for the progress bar.
struct Progress
{
	std::atomic<int64_t> framesDone {0};
	std::atomic<int64_t> framesTotal {0};
	std::atomic<int> filesDone {0};
};

// Decodes one job: the latency removed, the decay rendered (unless
// options.tail is off). A truncated recording is decoded as far as it goes,
// with a warning. Stops, removing the partial file, once 'stop' is set.
RenderResult renderFile (Plugin& plugin, const RenderJob& job, const RenderOptions& options,
                         Progress& progress, const std::atomic<bool>& stop);

} // namespace orvotool
