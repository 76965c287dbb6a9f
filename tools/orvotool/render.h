// Batch decoding: capsule recordings streamed through the plug-in's processor
// block by block into files of the chosen output format.
#pragma once

#include "host.h"

#include <string>
#include <vector>

namespace orvotool {

// The output channels of an output format, in file order.
struct OutputLayout
{
	std::string name;              // "Stereo", "5.1", ...
	std::vector<int> busChannels;  // indices into the plug-in's 5.1 bus (L R C LFE Ls Rs)
	std::vector<std::string> channelNames;
	std::vector<int> channelMap;   // libsndfile channel-map codes (the WAVE channel mask)
};

// Output Format index 0 to 3; withLfe chooses 5.1 over 5.0 for index 3.
OutputLayout outputLayout (int formatIndex, bool withLfe);

struct RenderOptions
{
	SettingValues settings {};
	OutputLayout layout;
	std::string bits;           // "16", "24", "32f", or empty: 32f (24 for FLAC)
	std::vector<int> capsuleChannels; // 1-based channels of front, eight, rear; empty: 1,2,3
	int block {1024};
	bool tail {true};
	bool force {false};
	bool skipExisting {false};
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

// The output name for an input when only a folder (or nothing) is given:
// <folder or input's folder>/<stem>_decoded.<ext>.
std::string defaultOutput (const std::string& input, const std::string& outdir, const std::string& ext);

// Checks every output before anything is decoded (known file type, bit depth
// the type can hold, a writable folder, no existing file without --force, no
// two jobs writing one file, no output overwriting an input). Jobs whose
// output exists are dropped when skipExisting is set. Returns false with one
// message per problem.
bool checkOutputs (std::vector<RenderJob>& jobs, const RenderOptions& options,
                   std::vector<std::string>& problems, std::vector<std::string>& skipped);

// Decodes every job, options.jobs files at a time; prints progress on the
// standard error stream and a summary table on the standard output. Returns
// kExitOk when every file was decoded, else kExitFailed.
int renderAll (Plugin& plugin, const std::vector<RenderJob>& jobs, const RenderOptions& options);

} // namespace orvotool
