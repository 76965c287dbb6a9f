#include "host.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/vstpresetfile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Steinberg {
namespace Vst {
DEF_CLASS_IID (IOrvoEffectAccess)
}
} // namespace Steinberg

namespace orvotool {

std::string toUtf8 (const TChar* s)
{
	std::string out;
	for (; s && *s; ++s)
	{
		uint32_t c = static_cast<char16_t> (*s);
		if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000)
			c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t> (*++s) - 0xDC00);
		if (c < 0x80)
			out += static_cast<char> (c);
		else if (c < 0x800)
		{
			out += static_cast<char> (0xC0 | (c >> 6));
			out += static_cast<char> (0x80 | (c & 0x3F));
		}
		else if (c < 0x10000)
		{
			out += static_cast<char> (0xE0 | (c >> 12));
			out += static_cast<char> (0x80 | ((c >> 6) & 0x3F));
			out += static_cast<char> (0x80 | (c & 0x3F));
		}
		else
		{
			out += static_cast<char> (0xF0 | (c >> 18));
			out += static_cast<char> (0x80 | ((c >> 12) & 0x3F));
			out += static_cast<char> (0x80 | ((c >> 6) & 0x3F));
			out += static_cast<char> (0x80 | (c & 0x3F));
		}
	}
	return out;
}

std::u16string toUtf16 (const std::string& s)
{
	std::u16string out;
	for (size_t i = 0; i < s.size ();)
	{
		const auto b = static_cast<unsigned char> (s[i]);
		uint32_t c = b;
		int more = 0;
		if (b >= 0xF0)
			c = b & 0x07, more = 3;
		else if (b >= 0xE0)
			c = b & 0x0F, more = 2;
		else if (b >= 0xC0)
			c = b & 0x1F, more = 1;
		++i;
		for (; more > 0 && i < s.size (); --more, ++i)
			c = (c << 6) | (static_cast<unsigned char> (s[i]) & 0x3F);
		if (c >= 0x10000)
		{
			c -= 0x10000;
			out += static_cast<char16_t> (0xD800 + (c >> 10));
			out += static_cast<char16_t> (0xDC00 + (c & 0x3FF));
		}
		else
			out += static_cast<char16_t> (c);
	}
	return out;
}

std::string defaultPluginPath ()
{
	const char* home = std::getenv ("HOME");
	return std::string (home ? home : ".") + "/.vst3/Orvotool.vst3";
}

namespace {

std::string lower (std::string s)
{
	std::transform (s.begin (), s.end (), s.begin (),
	                [] (unsigned char c) { return static_cast<char> (std::tolower (c)); });
	return s;
}

std::string trim (const std::string& s)
{
	const auto b = s.find_first_not_of (" \t");
	if (b == std::string::npos)
		return {};
	return s.substr (b, s.find_last_not_of (" \t") - b + 1);
}

// The number a text starts with, in the forms the host prints: "80", "+0.0",
// "-∞", "-inf". Sets 'decimals' to the digits after the point. False when the
// text does not start with a number.
bool leadingNumber (const std::string& text, double& value, int& decimals)
{
	std::string s = trim (text);
	decimals = 0;
	double sign = 1.0;
	std::string rest = s;
	if (!rest.empty () && (rest[0] == '-' || rest[0] == '+'))
	{
		sign = rest[0] == '-' ? -1.0 : 1.0;
		rest = rest.substr (1);
	}
	if (rest.rfind ("\xE2\x88\x9E", 0) == 0 || lower (rest).rfind ("inf", 0) == 0)
	{
		value = sign * INFINITY;
		return true;
	}
	if (lower (rest).rfind ("nan", 0) == 0)
	{
		value = NAN;
		return true;
	}
	char* end = nullptr;
	value = std::strtod (s.c_str (), &end);
	if (end == s.c_str ())
		return false;
	const char* dot = std::strchr (s.c_str (), '.');
	if (dot && dot < end)
		decimals = static_cast<int> (end - dot - 1);
	return true;
}

} // namespace

//------------------------------------------------------------------------
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
	for (const auto& c : module->getFactory ().classInfos ())
		if (c.category () == kVstAudioEffectClass)
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

IPtr<IEditController> Plugin::createController (std::string& error)
{
	std::lock_guard<std::mutex> lock (factoryMutex);
	if (controllerId == VST3::UID ())
	{
		// The processor names its controller; ask a throw-away instance.
		auto component = module->getFactory ().createInstance<IComponent> (effectId);
		TUID cid {};
		if (component && component->getControllerClassId (cid) == kResultOk)
			controllerId = VST3::UID::fromTUID (cid);
	}
	auto controller = module->getFactory ().createInstance<IEditController> (controllerId);
	if (!controller || controller->initialize (host) != kResultOk)
	{
		error = "the plug-in's controller could not be created";
		return nullptr;
	}
	return controller;
}

//------------------------------------------------------------------------
Controller::~Controller ()
{
	effectAccess = nullptr;
	access = nullptr;
	if (controller)
		controller->terminate ();
}

bool Controller::open (Plugin& plugin, std::string& error)
{
	controller = plugin.createController (error);
	if (!controller)
		return false;
	access = FUnknownPtr<IOrvoEffectAccess> (controller);
	effectAccess = access ? access->getEffect () : nullptr;
	const int32 count = controller->getParameterCount ();
	for (int32 i = 0; i < count; ++i)
	{
		ParamDesc d;
		if (controller->getParameterInfo (i, d.info) != kResultOk)
			continue;
		d.title = toUtf8 (d.info.title);
		d.shortTitle = toUtf8 (d.info.shortTitle);
		d.units = toUtf8 (d.info.units);
		descs.push_back (d);
	}
	if (!effectAccess)
	{
		error = "the plug-in " + plugin.path () +
		        " does not offer the editor's interface (a build older than this tool)";
		return false;
	}
	return true;
}

const ParamDesc* Controller::find (ParamID id) const
{
	for (const auto& d : descs)
		if (d.info.id == id)
			return &d;
	return nullptr;
}

const ParamDesc* Controller::findByName (const std::string& name) const
{
	const std::string key = lower (trim (name));
	for (const auto& d : descs)
		if (lower (d.title) == key || lower (d.shortTitle) == key)
			return &d;
	return nullptr;
}

std::string Controller::text (ParamID id, ParamValue normalized, bool withUnits)
{
	String128 s {};
	if (controller->getParamStringByValue (id, normalized, s) != kResultTrue)
		return "?";
	std::string t = toUtf8 (s);
	const ParamDesc* d = find (id);
	if (withUnits && d && !d->units.empty ())
		t += " " + d->units;
	return t;
}

bool Controller::loadPreset (const std::string& path, const VST3::UID& effectClass,
                             std::string& error)
{
	std::unique_ptr<IBStream, void (*) (IBStream*)> stream (
	    FileStream::open (path.c_str (), "rb"), [] (IBStream* s) {
		    if (s)
			    s->release ();
	    });
	if (!stream)
	{
		error = path + ": cannot open: " + std::strerror (errno);
		return false;
	}
	PresetFile file (stream.get ());
	if (!file.readChunkList ())
	{
		error = path + ": not a VST 3 preset file";
		return false;
	}
	if (VST3::UID::fromTUID (file.getClassID ().toTUID ()) != effectClass)
	{
		error = path + ": a preset of another plug-in (class " +
		        VST3::UID::fromTUID (file.getClassID ().toTUID ()).toString () + ")";
		return false;
	}
	if (!file.contains (kComponentState) || !file.restoreComponentState (controller.get ()))
	{
		error = path + ": its settings could not be read";
		return false;
	}
	return true;
}

bool Controller::parseValue (const ParamDesc& p, const std::string& rawText, ParamValue& normalized,
                             std::string& error)
{
	const std::string text = trim (rawText);
	const std::string quoted = p.title + "=" + rawText;
	const std::string range = textRange (p);
	double number = 0.0;
	int decimals = 0;
	bool numeric = leadingNumber (text, number, decimals);
	if (numeric && std::isnan (number))
	{
		error = "\"" + quoted + "\": NaN is not a value; " + p.title + " takes " + range;
		return false;
	}
	const bool list = p.info.stepCount > 1;
	// A list entry may start with a digit ("4 Channels"): a list's text is
	// numeric only when it is a number and nothing else.
	if (list && numeric)
	{
		char* end = nullptr;
		std::strtod (text.c_str (), &end);
		numeric = trim (end).empty ();
	}
	std::u16string wide = toUtf16 (text);
	std::vector<TChar> buffer (wide.begin (), wide.end ());
	buffer.push_back (0);
	ParamValue n = 0.0;
	if (text.empty () || controller->getParamValueByString (p.info.id, buffer.data (), n) != kResultTrue ||
	    std::isnan (n))
	{
		error = "\"" + quoted + "\": " + (list && numeric ? "outside the range of " : "not a value of ") +
		        p.title + "; it takes " + range;
		return false;
	}
	bool outside = n < 0.0 || n > 1.0;
	if (!outside && numeric && !list)
	{
		// The host may hold a number at its range's end. Printed back, the
		// value must give the number typed, to the printed precision.
		double back = 0.0;
		int backDecimals = 0;
		if (!leadingNumber (textOf (p.info.id, n), back, backDecimals))
		{
			// Printed as a word ("On"): the number must be the plain value.
			outside = number != controller->normalizedParamToPlain (p.info.id, n);
		}
		else
		{
			const double tolerance = 0.5 * std::pow (10.0, -backDecimals) * (1.0 + 1e-9);
			if (std::isinf (back) || std::isinf (number))
				outside = back != number;
			else
				outside = std::fabs (back - number) > tolerance;
		}
	}
	if (outside)
	{
		error = "\"" + quoted + "\": outside the range of " + p.title + " (" + range + ")";
		return false;
	}
	normalized = std::min (1.0, std::max (0.0, n));
	return true;
}

std::string Controller::textOf (ParamID id, ParamValue normalized)
{
	return text (id, normalized, false);
}

std::string Controller::textRange (const ParamDesc& p)
{
	const ParamID id = p.info.id;
	if (p.info.stepCount > 1)
	{
		std::string list;
		for (int32 i = 0; i <= p.info.stepCount; ++i)
			list += (i ? ", " : "") + text (id, static_cast<double> (i) / p.info.stepCount);
		return list + " (or the index 0 to " + std::to_string (p.info.stepCount) + ")";
	}
	double ignored = 0.0;
	int decimals = 0;
	if (p.info.stepCount == 1 || !leadingNumber (text (id, 0.0), ignored, decimals))
		return text (id, 0.0) + " or " + text (id, 1.0);
	// A fader whose bottom end is minus infinity: its finite range starts
	// just above.
	const std::string bottom = text (id, 0.0), aboveBottom = text (id, 1e-9);
	if (bottom != aboveBottom)
		return bottom + ", or " + aboveBottom + " to " + text (id, 1.0, true);
	return bottom + " to " + text (id, 1.0, true);
}

bool Controller::applySetting (const std::string& assignment, std::string& error)
{
	const auto eq = assignment.find ('=');
	if (eq == std::string::npos)
	{
		error = "\"" + assignment + "\": a setting is written Name=value, e.g. \"Width=70\"";
		return false;
	}
	const std::string name = assignment.substr (0, eq);
	const ParamDesc* p = findByName (name);
	if (!p)
	{
		error = "\"" + assignment + "\": no parameter \"" + trim (name) +
		        "\" (orvotool params lists them)";
		return false;
	}
	if ((p->info.flags & ParameterInfo::kIsReadOnly) || p->info.id > kLastSetting)
	{
		error = "\"" + assignment + "\": " + p->title + " is a meter, not a setting";
		return false;
	}
	ParamValue n = 0.0;
	if (!parseValue (*p, assignment.substr (eq + 1), n, error))
		return false;

	const ParamID id = p->info.id;
	if (id == kOutputFormatId || id == kWidthId || id == kRearWidthOnId)
	{
		// The editor's own edits: a format loads its preset row, Width moves a
		// following Rear Width, switching Rear Width off snaps it back.
		effectAccess->setParameter (id, controller->normalizedParamToPlain (id, n));
	}
	else
		controller->setParamNormalized (id, n);
	return true;
}

SettingValues Controller::settings ()
{
	SettingValues v {};
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
		v[id - 1] = controller->getParamNormalized (id);
	return v;
}

bool resolveSettings (Plugin& plugin, const std::string& presetPath,
                      const std::vector<std::string>& assignments, Controller& controller,
                      std::string& error)
{
	if (!controller.open (plugin, error))
		return false;
	if (!presetPath.empty () && !controller.loadPreset (presetPath, plugin.effectClass (), error))
		return false;
	for (const auto& a : assignments)
		if (!controller.applySetting (a, error))
			return false;
	return true;
}

void flushSettings (IAudioProcessor& processor, const SettingValues& values)
{
	ParameterChanges changes (kNumSettings);
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
	{
		int32 index = 0;
		if (IParamValueQueue* q = changes.addParameterData (id, index))
			q->addPoint (0, values[id - 1], index);
	}
	// Zero frames, yet every channel gets a buffer for a careful plug-in.
	float scratch[6] = {};
	float* none[6] = {scratch, scratch + 1, scratch + 2, scratch + 3, scratch + 4, scratch + 5};
	AudioBusBuffers in {}, out {};
	in.numChannels = 6;
	in.channelBuffers32 = none;
	out.numChannels = 6;
	out.channelBuffers32 = none;
	ParameterChanges outChanges (32);
	ProcessData data {};
	data.processMode = kOffline;
	data.symbolicSampleSize = kSample32;
	data.numSamples = 0;
	data.numInputs = 1;
	data.numOutputs = 1;
	data.inputs = &in;
	data.outputs = &out;
	data.inputParameterChanges = &changes;
	data.outputParameterChanges = &outChanges;
	processor.process (data);
}

} // namespace orvotool
