// Factory presets: starting points for real recording situations, each a
// named Output Format plus the few settings that make it what it is. The
// build writes them as .vstpreset files (which DAWs list), and orvotool
// reads them by name.
#pragma once

#include "params/orvoparams.h"

#include "public.sdk/source/vst/vstparameters.h"

namespace Steinberg {
namespace Vst {

struct OrvoPresetSetting
{
	ParamID id;
	double plain;
};

struct OrvoFactoryPreset
{
	const char* name;        // also the .vstpreset file's name
	const char* description; // one line, for lists
	int32 outputFormat;      // row of formatPresetTable
	OrvoPresetSetting settings[8];
	int32 numSettings;
};

constexpr int32 kNumFactoryPresets = 10;
extern const OrvoFactoryPreset kFactoryPresets[kNumFactoryPresets];

// The preset by name (any case), or null.
const OrvoFactoryPreset* findFactoryPreset (const char* name);

// Sets the user's settings (identifiers 1 to 22) as choosing the preset in
// the editor would: every setting to its default, the Output Format's row,
// then the preset's own settings. False when a parameter is missing.
bool applyFactoryPreset (ParameterContainer& parameters, const OrvoFactoryPreset& preset);

} // namespace Vst
} // namespace Steinberg
