// The module as a host discovers it: exports, factory and class infos, and
// the pairing of processor and controller.

#include "testhost.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstcomponent.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <dlfcn.h>

using namespace orvotest;

namespace {

const char* const kProcessorCid = "5A1C93E74B20D8F19E37A4C261D0B75F";
const char* const kControllerCid = "7C4E2B19A3F64D088B15E9D62F70C3A4";

std::string hex (const TUID id)
{
	char text[33] = {};
	FUID::fromTUID (id).toString (text);
	return text;
}

// The module's exports, looked up in the library the hosting module loaded.
void* moduleSymbol (const char* name)
{
	auto module = loadModule ();
	if (!module)
		return nullptr;
	const std::string so = module->getPath () + "/Contents/x86_64-linux/Orvotool.so";
	void* handle = dlopen (so.c_str (), RTLD_LAZY | RTLD_NOLOAD);
	if (!handle)
		return nullptr;
	void* symbol = dlsym (handle, name);
	dlclose (handle);
	return symbol;
}

} // namespace

TEST (PluginFactory, FactoryInfoNamesTheVendor)
{
	auto module = loadModule ();
	ASSERT_TRUE (module);
	PFactoryInfo info {};
	ASSERT_EQ (module->getFactory ().get ()->getFactoryInfo (&info), kResultOk);
	EXPECT_STREQ (info.vendor, "Veltrane");
	EXPECT_EQ (info.flags, PFactoryInfo::kUnicode);
	EXPECT_EQ (std::strncmp (info.email, "mailto:", 7), 0);
	EXPECT_GT (std::strlen (info.url), 0u);
}

TEST (PluginFactory, ClassInfosDescribeProcessorThenController)
{
	auto module = loadModule ();
	ASSERT_TRUE (module);
	IPluginFactory* factory = module->getFactory ().get ();
	// The decoder first, then the AmbiX converter and the binaural monitor,
	// each effect followed by its controller.
	ASSERT_EQ (factory->countClasses (), 6);

	FUnknownPtr<IPluginFactory2> factory2 (factory);
	ASSERT_TRUE (factory2);
	PClassInfo2 proc {}, ctrl {};
	ASSERT_EQ (factory2->getClassInfo2 (0, &proc), kResultOk);
	ASSERT_EQ (factory2->getClassInfo2 (1, &ctrl), kResultOk);

	EXPECT_EQ (hex (proc.cid), kProcessorCid);
	EXPECT_EQ (proc.cardinality, PClassInfo::kManyInstances);
	EXPECT_STREQ (proc.category, kVstAudioEffectClass);
	EXPECT_STREQ (proc.name, "Orvotool");
	EXPECT_EQ (proc.classFlags, 1u);
	EXPECT_STREQ (proc.subCategories, "Spatial|Fx");
	EXPECT_STREQ (proc.vendor, "");
	EXPECT_STREQ (proc.version, "1.0.0.6");
	EXPECT_STREQ (proc.sdkVersion, "VST 3.5.1");

	EXPECT_EQ (hex (ctrl.cid), kControllerCid);
	EXPECT_EQ (ctrl.cardinality, PClassInfo::kManyInstances);
	EXPECT_STREQ (ctrl.category, kVstComponentControllerClass);
	EXPECT_STREQ (ctrl.name, "Orvotool Controller");
	EXPECT_EQ (ctrl.classFlags, 0u);
	EXPECT_STREQ (ctrl.subCategories, "");
	EXPECT_STREQ (ctrl.version, "1.0.0.6");

	struct Follower
	{
		const char* name;
		const char* subCategories;
	};
	const Follower followers[] = {{"Orvotool AmbiX", "Spatial|Ambisonics|Fx"},
	                              {"Orvotool Monitor", "Spatial|Fx"}};
	for (int32 i = 0; i < 2; ++i)
	{
		PClassInfo2 effect {}, controller {};
		ASSERT_EQ (factory2->getClassInfo2 (2 + 2 * i, &effect), kResultOk);
		ASSERT_EQ (factory2->getClassInfo2 (3 + 2 * i, &controller), kResultOk);
		EXPECT_STREQ (effect.category, kVstAudioEffectClass);
		EXPECT_STREQ (effect.name, followers[i].name);
		EXPECT_STREQ (effect.subCategories, followers[i].subCategories);
		EXPECT_STREQ (effect.version, "1.0.0.6");
		EXPECT_STREQ (controller.category, kVstComponentControllerClass);
		EXPECT_EQ (std::string (controller.name), std::string (followers[i].name) + " Controller");
	}

	// The UTF-16 infos carry the same names.
	FUnknownPtr<IPluginFactory3> factory3 (factory);
	ASSERT_TRUE (factory3);
	PClassInfoW wide {};
	ASSERT_EQ (factory3->getClassInfoUnicode (0, &wide), kResultOk);
	EXPECT_EQ (wide.name[0], u'O');
	EXPECT_EQ (wide.name[7], u'l');
	EXPECT_EQ (wide.name[8], 0);
}

TEST (PluginFactory, CreatesBothClassesAndRefusesUnknownIds)
{
	auto module = loadModule ();
	ASSERT_TRUE (module);
	IPluginFactory* factory = module->getFactory ().get ();

	FUID procId, ctrlId, unknown (1, 2, 3, 4);
	ASSERT_TRUE (procId.fromString (kProcessorCid));
	ASSERT_TRUE (ctrlId.fromString (kControllerCid));

	IComponent* component = nullptr;
	ASSERT_EQ (factory->createInstance (procId, IComponent::iid, reinterpret_cast<void**> (&component)),
	           kResultOk);
	ASSERT_NE (component, nullptr);
	TUID controllerOfProcessor {};
	EXPECT_EQ (component->getControllerClassId (controllerOfProcessor), kResultOk);
	EXPECT_EQ (hex (controllerOfProcessor), kControllerCid);
	component->release ();

	IEditController* controller = nullptr;
	EXPECT_EQ (factory->createInstance (ctrlId, IEditController::iid,
	                                    reinterpret_cast<void**> (&controller)),
	           kResultOk);
	ASSERT_NE (controller, nullptr);
	controller->release ();

	void* nothing = nullptr;
	EXPECT_NE (factory->createInstance (unknown, IComponent::iid, &nothing), kResultOk);
	EXPECT_EQ (nothing, nullptr);
}

TEST (PluginFactory, ExportsShareOneFactoryAndEntryPointsSucceed)
{
	using GetFactory = IPluginFactory* (PLUGIN_API*) ();
	using EntryPoint = bool (*) ();
	auto getFactory = reinterpret_cast<GetFactory> (moduleSymbol ("GetPluginFactory"));
	auto initDll = reinterpret_cast<EntryPoint> (moduleSymbol ("InitDll"));
	auto exitDll = reinterpret_cast<EntryPoint> (moduleSymbol ("ExitDll"));
	ASSERT_NE (getFactory, nullptr);
	ASSERT_NE (initDll, nullptr);
	ASSERT_NE (exitDll, nullptr);
	EXPECT_TRUE (initDll ());
	EXPECT_TRUE (exitDll ());

	// Each call returns the same object with one more reference.
	IPluginFactory* a = getFactory ();
	IPluginFactory* b = getFactory ();
	ASSERT_NE (a, nullptr);
	EXPECT_EQ (a, b);
	const uint32 afterTwo = a->addRef ();
	IPluginFactory* c = getFactory ();
	EXPECT_EQ (c, a);
	EXPECT_EQ (a->release (), afterTwo);
	c->release ();
	b->release ();
	a->release ();
}
