// Exit statuses shared by every subcommand, and the form of the messages on
// the standard error stream ("orvotool: error: ...", "orvotool: warning: ...").
#pragma once

#include <string>

namespace orvotool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;       // a file (or the plug-in) failed at run time
constexpr int kExitUsage = 2;        // command line, settings or outputs refused before any work
constexpr int kExitInterrupted = 130; // stopped by Ctrl-C (SIGINT), as shells report it

// Prints the error; returns 'status' for the caller to return.
int fail (int status, const std::string& message);
void warn (const std::string& message);

} // namespace orvotool
