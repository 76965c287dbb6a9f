#include "params/orvopresets.h"

#include "params/kv_vstparam.h"

#include <cctype>

namespace Steinberg {
namespace Vst {

// Output Format rows: 0 Stereo, 1 3 Channels, 2 4 Channels, 3 5 Channels.
// Settings in plain values: degrees, seconds (Rear Delay), Hz, dB, 0/1.
const OrvoFactoryPreset kFactoryPresets[kNumFactoryPresets] = {
    {"Natural 5.1 Ambience",
     "5.1 for atmospheres and room tone: decorrelated ambience, surrounds 10 ms late",
     3,
     {{kParamDiffuser, 1.}, {kParamDiffuseGain, 2.}, {kParamRearDelayOn, 1.}, {kParamRearDelay, 0.01}},
     4},
    {"Film Surround 5.1",
     "5.1 with the film surround treatment: surrounds 20 ms late and rolled off above 7 kHz",
     3,
     {{kParamRearDelayOn, 1.}, {kParamRearDelay, 0.02}, {kParamRearLowpassOn, 1.},
      {kParamRearLowpass, 7000.}, {kParamDiffuser, 1.}},
     5},
    {"Close Perspective 5.1",
     "5.1 that favours the direct sound: narrow pickups, ambience 6 dB down",
     3,
     {{kParamFocus, 1.2}, {kParamDiffuseGain, -6.}},
     2},
    {"Dialogue L C R",
     "L/C/R with a firm centre for dialogue: narrow pickups, ambience 4 dB down",
     1,
     {{kParamWidth, 70.}, {kParamFocus, 1.1}, {kParamDiffuseGain, -4.}},
     3},
    {"Wide Quad Atmosphere",
     "Quad for atmospheres: decorrelated ambience 3 dB up, surrounds 12 ms late",
     2,
     {{kParamDiffuser, 1.}, {kParamDiffuseGain, 3.}, {kParamRearDelayOn, 1.}, {kParamRearDelay, 0.012}},
     4},
    {"Stereo Narrow",
     "Stereo fold-down with a compact image for dialogue and effects",
     0,
     {{kParamWidth, 75.}, {kParamDiffuseGain, -2.}},
     2},
    {"Stereo Wide",
     "Stereo fold-down with a wide image and a spacious, decorrelated room",
     0,
     {{kParamWidth, 35.}, {kParamDiffuser, 1.}, {kParamDiffuseGain, 2.}},
     3},
    {"First Order 5.1",
     "5.1 from plain first-order virtual microphones, for comparison",
     3,
     {{kParamBeamshaping, 0.}},
     1},
    {"First Order Stereo Cardioids",
     "Stereo from two first-order cardioids at plus and minus 50 degrees, the classic pair",
     0,
     {{kParamBeamshaping, 0.}, {kParamMicResponseLR, 0.5}},
     2},
    {"Surround Room 5.1",
     "5.1 that wraps the listener in the room: broad pickups, ambience 6 dB up",
     3,
     {{kParamFocus, 0.8}, {kParamDiffuser, 1.}, {kParamDiffuseGain, 6.}},
     3},
};

const OrvoFactoryPreset* findFactoryPreset (const char* name)
{
	if (!name)
		return nullptr;
	for (const OrvoFactoryPreset& preset : kFactoryPresets)
	{
		const char* a = preset.name;
		const char* b = name;
		while (*a && *b && std::tolower (static_cast<unsigned char> (*a)) ==
		                       std::tolower (static_cast<unsigned char> (*b)))
			++a, ++b;
		if (!*a && !*b)
			return &preset;
	}
	return nullptr;
}

bool applyFactoryPreset (ParameterContainer& parameters, const OrvoFactoryPreset& preset)
{
	if (preset.outputFormat < 0 || preset.outputFormat >= kNumFormatPresets)
		return false;
	const double* row = formatPresetTable[preset.outputFormat];
	for (ParamID id = 1; id <= kNumUserParams; ++id)
	{
		auto* p = dynamic_cast<kv_VSTParam*> (parameters.getParameter (id));
		if (!p)
			return false;
		p->setNormalized (p->getInfo ().defaultNormalizedValue);
		p->setPlain (row[id]);
	}
	for (int32 i = 0; i < preset.numSettings; ++i)
	{
		auto* p = dynamic_cast<kv_VSTParam*> (parameters.getParameter (preset.settings[i].id));
		if (!p)
			return false;
		p->setPlain (preset.settings[i].plain);
	}
	return true;
}

} // namespace Vst
} // namespace Steinberg
