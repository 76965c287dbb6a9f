// orvopresets: writes the factory presets as .vstpreset files, run by the
// build. Each file holds the processor's state chunk for the preset (the
// same bytes the plug-in saves) and a little metadata (name, plug-in),
// so DAWs list it and load it as if it had been saved from the plug-in.
//   orvopresets OUTDIR

#include "params/orvocids.h"
#include "params/orvoparams.h"
#include "params/orvopresets.h"
#include "params/orvostatechunk.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/vstpresetfile.h"

#include <cstdio>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string xmlEscaped (const char* text)
{
	std::string out;
	for (const char* c = text; *c; ++c)
	{
		switch (*c)
		{
			case '&': out += "&amp;"; break;
			case '<': out += "&lt;"; break;
			case '>': out += "&gt;"; break;
			case '"': out += "&quot;"; break;
			default: out += *c;
		}
	}
	return out;
}

// The preset's metadata, in the XML that .vstpreset files carry.
std::string metaInfo (const OrvoFactoryPreset& preset)
{
	return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<MetaInfo>\n"
	       "\t<Attr id=\"MediaType\" value=\"VstPreset\" type=\"string\" flags=\"writeProtected\"/>\n"
	       "\t<Attr id=\"PlugInName\" value=\"Orvotool\" type=\"string\" flags=\"writeProtected\"/>\n"
	       "\t<Attr id=\"PlugInCategory\" value=\"Spatial|Fx\" type=\"string\" flags=\"writeProtected\"/>\n"
	       "\t<Attr id=\"Name\" value=\"" +
	       xmlEscaped (preset.name) +
	       "\" type=\"string\" flags=\"\"/>\n"
	       "\t<Attr id=\"Comment\" value=\"" +
	       xmlEscaped (preset.description) + "\" type=\"string\" flags=\"\"/>\n</MetaInfo>\n";
}

bool writePreset (const OrvoFactoryPreset& preset, const std::string& folder)
{
	ParameterContainer parameters;
	if (!createParameters (parameters) || !applyFactoryPreset (parameters, preset))
		return false;
	IPtr<MemoryStream> state = owned (new MemoryStream ());
	if (writeStateChunk (state, parameters) != kResultOk)
		return false;
	state->seek (0, IBStream::kIBSeekSet, nullptr);
	IPtr<MemoryStream> file = owned (new MemoryStream ());
	const std::string xml = metaInfo (preset);
	if (!PresetFile::savePreset (file, OrvoProcessorUID, state, nullptr, xml.c_str (),
	                             static_cast<int32> (xml.size ())))
		return false;
	const std::string path = folder + "/" + preset.name + ".vstpreset";
	FILE* out = std::fopen (path.c_str (), "wb");
	if (!out)
		return false;
	const auto size = static_cast<size_t> (file->getSize ());
	const bool written = std::fwrite (file->getData (), 1, size, out) == size;
	return std::fclose (out) == 0 && written;
}

} // namespace

int main (int argc, char** argv)
{
	if (argc != 2)
	{
		std::fprintf (stderr, "usage: orvopresets OUTDIR\n");
		return 2;
	}
	for (const OrvoFactoryPreset& preset : kFactoryPresets)
	{
		if (!writePreset (preset, argv[1]))
		{
			std::fprintf (stderr, "orvopresets: cannot write \"%s\" into %s\n", preset.name, argv[1]);
			return 1;
		}
	}
	return 0;
}
