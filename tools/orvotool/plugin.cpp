#include "plugin.h"

#include "module/version.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <algorithm>
#include <cstdlib>

namespace orvotool {

std::string defaultPluginPath ()
{
	const char* home = std::getenv ("HOME");
	return std::string (home ? home : ".") + "/.vst3/Orvotool.vst3";
}

bool Plugin::load (const std::string& path, std::string& error)
{
	bundlePath = path;
	std::string why;
	module = VST3::Hosting::Module::create (path, why);
	if (!module)
	{
		error = "cannot load the plug-in " + path + ": " + (why.empty () ? "not a VST 3 bundle" : why);
		return false;
	}
	// The decoder by its name; a bundle of another make, by its first effect.
	const auto classes = module->getFactory ().classInfos ();
	auto isDecoder = [] (const VST3::Hosting::ClassInfo& c) {
		return c.category () == kVstAudioEffectClass && c.name () == ORVO_PLUGIN_NAME;
	};
	const bool named = std::any_of (classes.begin (), classes.end (), isDecoder);
	for (const auto& c : classes)
		if (named ? isDecoder (c) : c.category () == kVstAudioEffectClass)
		{
			effectId = c.ID ();
			effectName = c.name ();
			effectVersion = c.version ();
			host = owned (static_cast<IHostApplication*> (new HostApplication ()));
			return true;
		}
	error = "the plug-in " + path + " holds no audio effect";
	return false;
}

IPtr<IComponent> Plugin::createComponent (std::string& error)
{
	std::lock_guard<std::mutex> lock (factoryMutex);
	auto component = module->getFactory ().createInstance<IComponent> (effectId);
	if (!component || component->initialize (host) != kResultOk)
	{
		error = "the plug-in's processor could not be created";
		return nullptr;
	}
	TUID cid {};
	if (component->getControllerClassId (cid) == kResultOk)
		controllerId = VST3::UID::fromTUID (cid);
	return component;
}

bool Plugin::findEffect (const std::string& className, VST3::UID& id) const
{
	for (const auto& c : module->getFactory ().classInfos ())
		if (c.category () == kVstAudioEffectClass && c.name () == className)
		{
			id = c.ID ();
			return true;
		}
	return false;
}

IPtr<IComponent> Plugin::createComponent (const std::string& className, std::string& error)
{
	std::lock_guard<std::mutex> lock (factoryMutex);
	VST3::UID id;
	if (!findEffect (className, id))
	{
		error = "the plug-in " + bundlePath + " holds no \"" + className + "\" (an older version?)";
		return nullptr;
	}
	auto component = module->getFactory ().createInstance<IComponent> (id);
	if (!component || component->initialize (host) != kResultOk)
	{
		error = "the plug-in's \"" + className + "\" could not be created";
		return nullptr;
	}
	return component;
}

// The processor names its controller; a throw-away instance is asked.
bool Plugin::findControllerClass ()
{
	auto component = module->getFactory ().createInstance<IComponent> (effectId);
	TUID cid {};
	if (!component || component->getControllerClassId (cid) != kResultOk)
		return false;
	controllerId = VST3::UID::fromTUID (cid);
	return true;
}

IPtr<IEditController> Plugin::createController (std::string& error)
{
	std::lock_guard<std::mutex> lock (factoryMutex);
	if (controllerId == VST3::UID ())
		findControllerClass ();
	auto controller = module->getFactory ().createInstance<IEditController> (controllerId);
	if (!controller || controller->initialize (host) != kResultOk)
	{
		error = "the plug-in's controller could not be created";
		return nullptr;
	}
	return controller;
}

} // namespace orvotool
