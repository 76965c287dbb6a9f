// A batch of decodes: the outputs checked before any work, the files decoded
// a few at a time with a progress bar, a summary at the end, and Ctrl-C
// stopping the batch cleanly.
#pragma once

#include "render.h"

#include <string>
#include <vector>

namespace orvotool {

// The output name for an input when only a folder (or nothing) is given:
// <folder or input's folder>/<stem>_decoded.<ext>.
std::string defaultOutput (const std::string& input, const std::string& outdir, const std::string& ext,
                          const std::string& suffix = "_decoded");

// Checks every output before anything is decoded (known file type, bit depth
// the type can hold, a writable folder or, with options.createOutdir, one
// that can be made, no existing file without --force, no two jobs writing
// one file, no output overwriting an input). Jobs whose output exists are
// dropped when skipExisting is set. Returns false with one message per
// problem.
bool checkOutputs (std::vector<RenderJob>& jobs, const RenderOptions& options,
                   std::vector<std::string>& problems, std::vector<std::string>& skipped);

// Decodes every job, options.jobs files at a time; prints progress and
// warnings on the standard error stream and a summary table on the standard
// output. kExitOk when every file was decoded, kExitFailed when one failed,
// kExitInterrupted when Ctrl-C (or SIGTERM) stopped the batch: the file
// being written is removed, the ones finished stay.
int renderAll (Plugin& plugin, const std::vector<RenderJob>& jobs, const RenderOptions& options);

} // namespace orvotool
