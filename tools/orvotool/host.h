// The plug-in as orvotool hosts it: the installed Orvotool.vst3 loaded
// through the SDK's hosting module, its controller for the parameters (text,
// presets, polar display) and its processor for the audio, driven as a DAW
// drives them.
#pragma once

#include "params/orvoeffectaccess.h"

#include "public.sdk/source/vst/hosting/module.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <array>
#include <mutex>
#include <string>
#include <vector>

namespace orvotool {

using namespace Steinberg;
using namespace Steinberg::Vst;

// Identifiers of the user's settings (saved and decoded) and the meters.
constexpr ParamID kFirstSetting = 1;
constexpr ParamID kLastSetting = 22;
constexpr ParamID kOutputFormatId = 6;
constexpr ParamID kWidthId = 8;
constexpr ParamID kRearWidthOnId = 3;
constexpr int kNumSettings = 22;

// Exit statuses shared by every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1; // a file (or the plug-in) failed at run time
constexpr int kExitUsage = 2;  // command line, settings or outputs refused before any work

// Normalized values of settings 1 to 22, index id - 1.
using SettingValues = std::array<ParamValue, kNumSettings>;

std::string toUtf8 (const TChar* s);
std::u16string toUtf16 (const std::string& s);

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

	// New initialized processor component (serialised: factories are not
	// required to be thread-safe).
	IPtr<IComponent> createComponent (std::string& error);
	IPtr<IEditController> createController (std::string& error);

private:
	std::string bundlePath;
	VST3::Hosting::Module::Ptr module;
	VST3::UID effectId;
	VST3::UID controllerId;
	std::string effectName, effectVersion;
	std::mutex factoryMutex;
	IPtr<FUnknown> host;
};

// One parameter as the host sees it.
struct ParamDesc
{
	ParameterInfo info {};
	std::string title, shortTitle, units;
};

// The plug-in's controller, driven as the editor and a DAW's parameter
// fields drive it.
class Controller
{
public:
	~Controller ();
	bool open (Plugin& plugin, std::string& error);

	IEditController* get () { return controller.get (); }
	kv_IEffect* effect () { return effectAccess; }
	const std::vector<ParamDesc>& params () const { return descs; }
	const ParamDesc* find (ParamID id) const;
	// By title or short title, any case, surrounding blanks ignored.
	const ParamDesc* findByName (const std::string& name) const;

	// The host's text of a normalized value (with its units if asked).
	std::string text (ParamID id, ParamValue normalized, bool withUnits = false);
	ParamValue normalized (ParamID id) { return controller->getParamNormalized (id); }

	// Reads a preset file's processor state into the controller. False with a
	// message for an unreadable file or a preset of another plug-in.
	bool loadPreset (const std::string& path, const VST3::UID& effectClass, std::string& error);

	// Applies "Name=text" as typed by the user. Text in the host's units and
	// words ("70", "Stereo", "On", "-inf"); the Output Format loads its preset
	// row as the editor does. False with a message (nothing changed) for an
	// unknown name, a meter, text that is not a value, NaN, or a value outside
	// the parameter's range.
	bool applySetting (const std::string& assignment, std::string& error);

	SettingValues settings ();

private:
	bool parseValue (const ParamDesc& p, const std::string& text, ParamValue& normalized,
	                 std::string& error);
	std::string textOf (ParamID id, ParamValue normalized);
	// The values a parameter takes, as the host prints them.
	std::string textRange (const ParamDesc& p);

	IPtr<IEditController> controller;
	IPtr<IOrvoEffectAccess> access;
	kv_IEffect* effectAccess {nullptr};
	std::vector<ParamDesc> descs;
};

// Settings from the command line: an optional preset file, then the --set
// assignments in order. The message names the culprit. An Output Format
// loads its preset row over what came before it; each setting so replaced
// gets a warning on standard error.
bool resolveSettings (Plugin& plugin, const std::string& presetPath,
                      const std::vector<std::string>& assignments, Controller& controller,
                      std::string& error);

// Runs a processor with no audio (a zero-length block) that carries the
// settings as parameter changes, as hosts flush parameters.
void flushSettings (IAudioProcessor& processor, const SettingValues& values);

} // namespace orvotool
