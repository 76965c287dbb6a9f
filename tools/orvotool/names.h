// The names the editor's window gives the parameters and some of their
// values: its section headings and captions (drawn by resources/orvoart.cpp,
// placed by source/editor/orvoview.cpp). A user who knows the plug-in from
// its window types them as they read there; they are accepted beside the
// host's titles.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

#include <string>
#include <vector>

namespace orvotool {

struct EditorName
{
	Steinberg::Vst::ParamID id;
	const char* name;
};

// A value by the editor's caption for it, as a plain value.
struct EditorValueName
{
	Steinberg::Vst::ParamID id;
	const char* name;
	double plain;
};

const std::vector<EditorName>& editorNames ();
const std::vector<EditorValueName>& editorValueNames ();

// The parameter an editor name stands for; 0 when none.
Steinberg::Vst::ParamID findEditorName (const std::string& name);
// The plain value an editor caption stands for; false when none.
bool findEditorValue (Steinberg::Vst::ParamID id, const std::string& name, double& plain);

} // namespace orvotool
