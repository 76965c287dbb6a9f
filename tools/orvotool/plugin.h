// The installed Orvotool.vst3 as orvotool hosts it: the bundle loaded through
// the SDK's hosting module, and its processor and controller classes created
// from the factory as a DAW creates them. The bundle holds the decoder and
// the classes that follow it in a chain (the binaural monitor, the AmbiX
// converter); the decoder is the one the settings belong to.
#pragma once

#include "public.sdk/source/vst/hosting/module.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <mutex>
#include <string>

namespace orvotool {

using namespace Steinberg;
using namespace Steinberg::Vst;

// The default bundle: ~/.vst3/Orvotool.vst3.
std::string defaultPluginPath ();

class Plugin
{
public:
	// Loads the bundle; false with a message naming the path and the reason.
	bool load (const std::string& path, std::string& error);

	const std::string& path () const { return bundlePath; }
	const VST3::UID& effectClass () const { return effectId; }
	std::string name () const { return effectName; }
	std::string version () const { return effectVersion; }

	// A new initialized processor component or controller. Serialised:
	// factories are not required to be thread-safe.
	IPtr<IComponent> createComponent (std::string& error);
	IPtr<IEditController> createController (std::string& error);
	// A new initialized processor component of the bundle's audio effect
	// named 'className' ("Orvotool Monitor", "Orvotool AmbiX").
	IPtr<IComponent> createComponent (const std::string& className, std::string& error);
	// The class id of the audio effect named 'className'; false when the
	// bundle has none.
	bool findEffect (const std::string& className, VST3::UID& id) const;

private:
	bool findControllerClass ();

	std::string bundlePath;
	VST3::Hosting::Module::Ptr module;
	VST3::UID effectId;
	VST3::UID controllerId;
	std::string effectName, effectVersion;
	std::mutex factoryMutex;
	IPtr<FUnknown> host;
};

} // namespace orvotool
