#include "presets.h"

#include "status.h"

#include "public.sdk/source/vst/vstpresetfile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace orvotool {

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace fs = std::filesystem;

namespace {

constexpr const char* kVendorPlugin = "Veltrane/Orvotool";

std::string lowered (std::string s)
{
	std::transform (s.begin (), s.end (), s.begin (),
	                [] (unsigned char c) { return static_cast<char> (std::tolower (c)); });
	return s;
}

// Every .vstpreset of the folders, by name, the first folder winning.
std::vector<fs::path> presetFiles ()
{
	std::vector<fs::path> files;
	std::vector<std::string> seen;
	for (const auto& folder : presetFolders ())
	{
		std::error_code ec;
		std::vector<fs::path> here;
		for (const auto& entry : fs::directory_iterator (folder, ec))
			if (entry.path ().extension () == ".vstpreset")
				here.push_back (entry.path ());
		std::sort (here.begin (), here.end ());
		for (const auto& file : here)
		{
			const std::string key = lowered (file.stem ().string ());
			if (std::find (seen.begin (), seen.end (), key) == seen.end ())
			{
				seen.push_back (key);
				files.push_back (file);
			}
		}
	}
	return files;
}

// The "Comment" attribute of a preset's metadata, or "".
std::string description (const fs::path& file)
{
	std::unique_ptr<IBStream, void (*) (IBStream*)> stream (
	    FileStream::open (file.string ().c_str (), "rb"), [] (IBStream* s) {
		    if (s)
			    s->release ();
	    });
	if (!stream)
		return "";
	PresetFile preset (stream.get ());
	int32 size = 0;
	if (!preset.readChunkList () || !preset.readMetaInfo (nullptr, size) || size <= 0)
		return "";
	std::string xml (static_cast<size_t> (size), '\0');
	if (!preset.readMetaInfo (xml.data (), size))
		return "";
	const std::string key = "id=\"Comment\" value=\"";
	const auto at = xml.find (key);
	if (at == std::string::npos)
		return "";
	const auto from = at + key.size ();
	std::string text = xml.substr (from, xml.find ('"', from) - from);
	for (const auto& [entity, c] : {std::pair<std::string, std::string> {"&quot;", "\""},
	                                {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
		for (auto pos = text.find (entity); pos != std::string::npos; pos = text.find (entity, pos))
			text.replace (pos, entity.size (), c);
	return text;
}

} // namespace

std::vector<std::string> presetFolders ()
{
	std::vector<std::string> folders;
	if (const char* home = std::getenv ("HOME"); home && *home)
		folders.push_back (std::string (home) + "/.vst3/presets/" + kVendorPlugin);
	folders.push_back (std::string ("/usr/share/vst3/presets/") + kVendorPlugin);
	folders.push_back (std::string ("/usr/local/share/vst3/presets/") + kVendorPlugin);
	return folders;
}

bool findPreset (const std::string& nameOrPath, std::string& path, std::string& error)
{
	std::error_code ec;
	if (fs::is_regular_file (nameOrPath, ec))
	{
		path = nameOrPath;
		return true;
	}
	const std::string wanted = lowered (nameOrPath);
	for (const auto& file : presetFiles ())
	{
		if (lowered (file.stem ().string ()) == wanted || lowered (file.filename ().string ()) == wanted)
		{
			path = file.string ();
			return true;
		}
	}
	error = "no preset file and no preset named \"" + nameOrPath + "\" in " + presetFolders ()[0] +
	        " (orvotool presets lists them)";
	return false;
}

int listPresets ()
{
	const auto files = presetFiles ();
	if (files.empty ())
	{
		std::printf ("no presets in %s (the main job installs the factory presets there)\n",
		             presetFolders ()[0].c_str ());
		return kExitOk;
	}
	size_t width = 0;
	for (const auto& file : files)
		width = std::max (width, file.stem ().string ().size ());
	for (const auto& file : files)
		std::printf ("%-*s  %s\n", static_cast<int> (width), file.stem ().string ().c_str (),
		             description (file).c_str ());
	return kExitOk;
}

} // namespace orvotool
