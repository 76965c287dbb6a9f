// class_ids: loads the Windows VST 3 module as a host does (LoadLibrary,
// InitDll, GetPluginFactory) and checks the 16 bytes of each class
// identifier that hosts store in their projects. On Windows the SDK lays the
// identifier out in COM order; a build without it would still load and pass
// the validator, yet every saved project would lose the plug-in.
//
//   class_ids <module.vst3>   (the DLL inside the bundle)

#include "pluginterfaces/base/ipluginbase.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

using namespace Steinberg;

namespace {

struct Expected
{
	const char* category;
	const char* name;
	unsigned char cid[16];
};

const Expected kClasses[] = {
    {"Audio Module Class", "Orvotool",
     {0xE7, 0x93, 0x1C, 0x5A, 0x20, 0x4B, 0xF1, 0xD8, 0x9E, 0x37, 0xA4, 0xC2, 0x61, 0xD0, 0xB7, 0x5F}},
    {"Component Controller Class", "Orvotool Controller",
     {0x19, 0x2B, 0x4E, 0x7C, 0xF6, 0xA3, 0x08, 0x4D, 0x8B, 0x15, 0xE9, 0xD6, 0x2F, 0x70, 0xC3, 0xA4}},
    {"Audio Module Class", "Orvotool AmbiX",
     {0x31, 0xCE, 0xB1, 0xA9, 0xC2, 0x8D, 0x0A, 0x48, 0x83, 0x21, 0x42, 0x2C, 0x74, 0x44, 0x55, 0x04}},
    {"Component Controller Class", "Orvotool AmbiX Controller",
     {0x5B, 0xD2, 0x30, 0x72, 0x5C, 0x11, 0xEA, 0x4A, 0xBC, 0x8E, 0x11, 0xA5, 0xE6, 0x5B, 0x57, 0x95}},
    {"Audio Module Class", "Orvotool Monitor",
     {0x75, 0xA9, 0x46, 0x33, 0x49, 0x3D, 0x5E, 0x4E, 0xB6, 0xDA, 0xF1, 0x52, 0x85, 0x51, 0x41, 0xD0}},
    {"Component Controller Class", "Orvotool Monitor Controller",
     {0xE8, 0x86, 0xC3, 0xEE, 0x9E, 0x17, 0x97, 0x4F, 0x85, 0xC7, 0xB5, 0xC9, 0x7A, 0x37, 0x97, 0x78}},
};
constexpr int32 kNumClasses = static_cast<int32> (sizeof (kClasses) / sizeof (kClasses[0]));

void printBytes (const char* label, const unsigned char* b)
{
	std::printf ("%s", label);
	for (int i = 0; i < 16; ++i)
		std::printf (" %02X", b[i]);
	std::printf ("\n");
}

} // namespace

int main (int argc, char** argv)
{
	if (argc != 2)
	{
		std::fprintf (stderr, "usage: class_ids <module>\n");
		return 2;
	}
	HMODULE module = LoadLibraryA (argv[1]);
	if (!module)
	{
		std::printf ("cannot load %s (error %lu)\n", argv[1], GetLastError ());
		return 1;
	}
	using BoolFunction = bool (*) ();
	using FactoryFunction = IPluginFactory* (PLUGIN_API*) ();
	auto initDll = reinterpret_cast<BoolFunction> (reinterpret_cast<void*> (GetProcAddress (module, "InitDll")));
	auto exitDll = reinterpret_cast<BoolFunction> (reinterpret_cast<void*> (GetProcAddress (module, "ExitDll")));
	auto getFactory =
	    reinterpret_cast<FactoryFunction> (reinterpret_cast<void*> (GetProcAddress (module, "GetPluginFactory")));
	if (!initDll || !exitDll || !getFactory)
	{
		std::printf ("missing entry point (InitDll %p, ExitDll %p, GetPluginFactory %p)\n",
		             reinterpret_cast<void*> (initDll), reinterpret_cast<void*> (exitDll),
		             reinterpret_cast<void*> (getFactory));
		return 1;
	}
	int failures = 0;
	if (!initDll ())
	{
		std::printf ("InitDll returned false\n");
		++failures;
	}
	IPluginFactory* factory = getFactory ();
	if (!factory || factory->countClasses () != kNumClasses)
	{
		std::printf ("expected a factory with %d classes\n", static_cast<int> (kNumClasses));
		return 1;
	}
	for (int32 i = 0; i < kNumClasses; ++i)
	{
		PClassInfo info {};
		if (factory->getClassInfo (i, &info) != kResultOk)
		{
			std::printf ("class %d: no class info\n", i);
			++failures;
			continue;
		}
		const Expected& want = kClasses[i];
		printBytes (info.name, reinterpret_cast<const unsigned char*> (info.cid));
		if (std::memcmp (info.cid, want.cid, 16) != 0)
		{
			printBytes ("  expected", want.cid);
			++failures;
		}
		if (std::strcmp (info.category, want.category) != 0 || std::strcmp (info.name, want.name) != 0)
		{
			std::printf ("  expected \"%s\" of category \"%s\"\n", want.name, want.category);
			++failures;
		}
	}
	factory->release ();
	if (!exitDll ())
	{
		std::printf ("ExitDll returned false\n");
		++failures;
	}
	FreeLibrary (module);
	std::printf ("%s\n", failures ? "FAILED" : "class identifiers as stored by hosts: ok");
	return failures ? 1 : 0;
}
