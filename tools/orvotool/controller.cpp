#include "controller.h"

#include "text.h"

#include "public.sdk/source/vst/vstpresetfile.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

namespace Steinberg {
namespace Vst {
DEF_CLASS_IID (IOrvoToolAccess)
DEF_CLASS_IID (IOrvoToolVersion)
} // namespace Vst
} // namespace Steinberg

namespace orvotool {

namespace {

std::string versionText (int32 major, int32 minor)
{
	return std::to_string (major) + "." + std::to_string (minor);
}

// Earlier minors of this major that the tool can work with: none of the
// methods it calls came after 1.0.
constexpr int32 kLeastMinor = 0;

} // namespace

std::string toolAccessVersion ()
{
	return versionText (kOrvoToolAccessMajor, kOrvoToolAccessMinor);
}

Controller::~Controller ()
{
	access = nullptr;
	if (controller)
		controller->terminate ();
}

bool Controller::open (Plugin& plugin, std::string& error)
{
	controller = plugin.createController (error);
	if (!controller)
		return false;
	if (!openToolAccess (plugin.path () + " (" + plugin.name () + " " + plugin.version () + ")", error))
		return false;
	readParameters ();
	return true;
}

// The tool interface of this build's major; otherwise the version query
// names what the bundle offers.
bool Controller::openToolAccess (const std::string& bundle, std::string& error)
{
	FUnknownPtr<IOrvoToolVersion> query (controller);
	int32 major = 0, minor = 0;
	const bool known = query && query->getToolAccessVersion (&major, &minor) == kResultOk;
	access = FUnknownPtr<IOrvoToolAccess> (controller);
	if (access && known && major == kOrvoToolAccessMajor && minor >= kLeastMinor)
		return true;
	access = nullptr;
	const std::string advice = "; install an orvotool and a plug-in of one release";
	if (!known)
		error = "the plug-in " + bundle + " offers no tool interface (it predates version " +
		        toolAccessVersion () + ", which this orvotool speaks)" + advice;
	else
		error = "the plug-in " + bundle + " offers tool interface " + versionText (major, minor) +
		        ", this orvotool speaks " + toolAccessVersion () + advice;
	return false;
}

void Controller::readParameters ()
{
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
}

const ParamDesc* Controller::find (ParamID id) const
{
	for (const auto& d : descs)
		if (d.info.id == id)
			return &d;
	return nullptr;
}

const ParamDesc* Controller::findByTitle (const std::string& name) const
{
	const std::string key = nameKey (name);
	for (const auto& d : descs)
		if (nameKey (d.title) == key || nameKey (d.shortTitle) == key)
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

bool Controller::fromText (ParamID id, const std::string& text, ParamValue& normalized)
{
	std::u16string wide = toUtf16 (text);
	std::vector<TChar> buffer (wide.begin (), wide.end ());
	buffer.push_back (0);
	return controller->getParamValueByString (id, buffer.data (), normalized) == kResultTrue &&
	       !std::isnan (normalized);
}

ParamValue Controller::toPlain (ParamID id, ParamValue normalized)
{
	return controller->normalizedParamToPlain (id, normalized);
}

ParamValue Controller::toNormalized (ParamID id, ParamValue plain)
{
	return controller->plainParamToNormalized (id, plain);
}

int Controller::outputFormat ()
{
	return static_cast<int> (std::lround (plain (kParamOutFormat)));
}

void Controller::edit (ParamID id, ParamValue normalized)
{
	access->setParamAsEditor (id, normalized);
}

SettingValues Controller::settings ()
{
	SettingValues v {};
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
		valueOf (v, id) = controller->getParamNormalized (id);
	return v;
}

int Controller::formatPresetCount ()
{
	return access->getFormatPresetCount ();
}

SettingValues Controller::formatPreset (int row)
{
	SettingValues v {};
	for (ParamID id = kFirstSetting; id <= kLastSetting; ++id)
		access->getFormatPresetValue (row, id, &valueOf (v, id));
	return v;
}

bool Controller::response (OrvoResponseRecord& record, std::string& error)
{
	std::memset (&record, 0, sizeof record);
	record.size = sizeof record;
	record.version = kOrvoResponseVersion;
	const tresult result = access->getResponse (&record);
	const bool ours = record.size == sizeof record && record.version == kOrvoResponseVersion;
	if (result == kResultOk && ours)
		return true;
	if (ours)
		error = "the plug-in gave no polar response";
	else
		error = "the plug-in's polar response is a record of version " + std::to_string (record.version) + " (" +
		        std::to_string (record.size) + " bytes), this orvotool reads version " +
		        std::to_string (kOrvoResponseVersion) + " (" + std::to_string (sizeof record) +
		        " bytes); install an orvotool and a plug-in of one release";
	return false;
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
	const VST3::UID presetClass = VST3::UID::fromTUID (file.getClassID ().toTUID ());
	if (presetClass != effectClass)
	{
		error = path + ": a preset of another plug-in (class " + presetClass.toString () + ")";
		return false;
	}
	if (!file.contains (kComponentState) || !file.restoreComponentState (controller.get ()))
	{
		error = path + ": its settings could not be read";
		return false;
	}
	return true;
}

} // namespace orvotool
