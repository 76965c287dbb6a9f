// Presets by name: the .vstpreset files in the folders where VST 3 hosts
// look for Orvotool's presets (the factory presets that the main job
// installs, and any a user saved there from a DAW).
#pragma once

#include <string>
#include <vector>

namespace orvotool {

// ~/.vst3/presets/Veltrane/Orvotool, then the system-wide folders.
std::vector<std::string> presetFolders ();

// The file of 'nameOrPath': an existing file as it is, else the preset of
// that name (any case, without ".vstpreset") in the preset folders. False
// with a message naming what was looked for.
bool findPreset (const std::string& nameOrPath, std::string& path, std::string& error);

// `orvotool presets`: every preset by name with its description. Returns the
// exit status.
int listPresets ();

} // namespace orvotool
