// The subcommands that take settings: render, preset and polar. Each checks
// its command line and outputs, resolves the settings, then does its work
// through the shared pieces (settings, processor session, batch, picture).
#pragma once

#include "controller.h"

#include <string>
#include <thread>
#include <vector>

namespace orvotool {

// What the settings start from and the --set assignments on top.
struct SettingArgs
{
	std::string preset;
	std::vector<std::string> sets;
};

struct RenderArgs
{
	std::vector<std::string> inputs;
	std::string output, outdir, ext {"wav"}, front, eight, rear, channels, bits;
	SettingArgs settings;
	bool noLfe {false}, noTail {false}, force {false}, skipExisting {false}, quiet {false};
	bool binaural {false}, ambix {false};
	std::string hrtf;
	double headRotation {0.0};
	bool headRotationGiven {false};
	int jobs {static_cast<int> (std::max (1u, std::thread::hardware_concurrency ()))};
	int block {1024};
};

struct PresetArgs
{
	std::string output, show;
	SettingArgs settings;
	bool force {false};
};

struct PolarArgs
{
	std::string output;
	SettingArgs settings;
	int size {640};
	bool force {false};
};

int renderCommand (Plugin& plugin, Controller& controller, const RenderArgs& args);
int presetCommand (Plugin& plugin, Controller& controller, const PresetArgs& args);
int polarCommand (Plugin& plugin, Controller& controller, const PolarArgs& args);

} // namespace orvotool
