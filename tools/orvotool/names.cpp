#include "names.h"

#include "text.h"

#include "params/orvoparams.h"

namespace orvotool {

using namespace Steinberg::Vst;

const std::vector<EditorName>& editorNames ()
{
	// A caption that appears in several sections ("L, R", "Gain") is named
	// with its section; the radio buttons under POLAR PATTERN choose the
	// Beamshaping, the label buttons beside a check box its switch.
	static const std::vector<EditorName> names = {
	    {kParamBeamshaping, "Polar Pattern"},
	    {kParamMicResponseC, "Polar Pattern C"},
	    {kParamMicResponseLR, "Polar Pattern L, R"},
	    {kParamMicResponseLsRs, "Polar Pattern Ls, Rs"},
	    {kParamDiffuseGain, "Ambience Gain"},
	    {kParamDiffuser, "Decorrelation"},
	    {kParamWidth, "Microphone Angle L, R"},
	    {kParamRearWidth, "Microphone Angle Ls, Rs"},
	    {kParamRearWidthOn, "Microphone Angle Ls, Rs On/Off"},
	    {kParamDirection, "Rotate"},
	    {kParamRearDelay, "Surround Delay"},
	    {kParamRearDelayOn, "Surround Delay On/Off"},
	    {kParamRearLowpass, "Surround Lowpass"},
	    {kParamRearLowpassOn, "Surround Lowpass On/Off"},
	    {kParamGainC, "Output Gain C"},
	    {kParamGainLR, "Output Gain L, R"},
	    {kParamGainLsRs, "Output Gain Ls, Rs"},
	};
	return names;
}

const std::vector<EditorValueName>& editorValueNames ()
{
	static const std::vector<EditorValueName> values = {
	    {kParamBeamshaping, "First Order", 0.0},
	    {kParamBeamshaping, "Enhanced Pattern", 1.0},
	    {kParamOutFormat, "L, R", 0.0},
	    {kParamOutFormat, "L, R, C", 1.0},
	    {kParamOutFormat, "L, R, Ls, Rs", 2.0},
	    {kParamOutFormat, "L, R, C, Ls, Rs", 3.0},
	};
	return values;
}

ParamID findEditorName (const std::string& name)
{
	const std::string key = nameKey (name);
	for (const EditorName& n : editorNames ())
		if (nameKey (n.name) == key)
			return n.id;
	return 0;
}

bool findEditorValue (ParamID id, const std::string& name, double& plain)
{
	const std::string key = nameKey (name);
	for (const EditorValueName& v : editorValueNames ())
		if (v.id == id && nameKey (v.name) == key)
		{
			plain = v.plain;
			return true;
		}
	return false;
}

} // namespace orvotool
