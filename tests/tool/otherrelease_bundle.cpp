// A stand-in for an Orvotool.vst3 of another release, for orvotool's tool
// interface check: an audio effect whose controller answers the version
// query with the major.minor in ORVO_OTHER_TOOL_VERSION ("2.0"), or offers no
// tool interface at all when it is unset. Of major 1 it offers the
// interface, with a response record of another version.
#include "params/orvotoolaccess.h"

#include "public.sdk/source/main/pluginfactory.h"
#include "public.sdk/source/vst/vstaudioeffect.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include <cstdio>
#include <cstdlib>

namespace Steinberg {
namespace Vst {

DEF_CLASS_IID (IOrvoToolVersion)
DEF_CLASS_IID (IOrvoToolAccess)

namespace {

const FUID kProcessorUID (0xD031A93B, 0x4EE84B66, 0x9D56290F, 0xD10386A4);
const FUID kControllerUID (0xA5A06B87, 0x34914835, 0xA93990BE, 0x2DED4CCE);

// The release's tool interface version; false when it has none.
bool releaseVersion (int32& major, int32& minor)
{
	const char* text = std::getenv ("ORVO_OTHER_TOOL_VERSION");
	return text && std::sscanf (text, "%d.%d", &major, &minor) == 2;
}

class OtherProcessor : public AudioEffect
{
public:
	OtherProcessor () { setControllerClass (kControllerUID); }
	static FUnknown* createInstance (void*) { return static_cast<IAudioProcessor*> (new OtherProcessor ()); }
};

class OtherController : public EditController, public IOrvoToolVersion, public IOrvoToolAccess
{
public:
	static FUnknown* createInstance (void*) { return static_cast<IEditController*> (new OtherController ()); }

	tresult PLUGIN_API getToolAccessVersion (int32* major, int32* minor) SMTG_OVERRIDE
	{
		return releaseVersion (*major, *minor) ? kResultOk : kResultFalse;
	}

	int32 PLUGIN_API getFormatPresetCount () SMTG_OVERRIDE { return 0; }
	tresult PLUGIN_API getFormatPresetValue (int32, ParamID, ParamValue*) SMTG_OVERRIDE { return kInvalidArgument; }
	tresult PLUGIN_API setParamAsEditor (ParamID, ParamValue) SMTG_OVERRIDE { return kInvalidArgument; }
	// A record one version on and 64 bytes longer.
	tresult PLUGIN_API getResponse (OrvoResponseRecord* record) SMTG_OVERRIDE
	{
		record->size = sizeof (OrvoResponseRecord) + 64;
		record->version = kOrvoResponseVersion + 1;
		return kInvalidArgument;
	}

	tresult PLUGIN_API queryInterface (const TUID iid, void** obj) SMTG_OVERRIDE
	{
		int32 major = 0, minor = 0;
		const bool versioned = releaseVersion (major, minor);
		if (versioned && FUnknownPrivate::iidEqual (iid, IOrvoToolVersion::iid))
			return *obj = static_cast<IOrvoToolVersion*> (this), addRef (), kResultOk;
		if (versioned && major == 1 && FUnknownPrivate::iidEqual (iid, IOrvoToolAccess::iid))
			return *obj = static_cast<IOrvoToolAccess*> (this), addRef (), kResultOk;
		return EditController::queryInterface (iid, obj);
	}
	REFCOUNT_METHODS (EditController)
};

} // namespace
} // namespace Vst
} // namespace Steinberg

using namespace Steinberg;
using namespace Steinberg::Vst;

BEGIN_FACTORY_DEF ("Orvotool other release", "", "")
	DEF_CLASS2 (INLINE_UID_FROM_FUID (kProcessorUID), PClassInfo::kManyInstances, kVstAudioEffectClass,
	            "Orvotool", kDistributable, "Fx|Spatial", "9.0.0", kVstVersionString,
	            OtherProcessor::createInstance)
	DEF_CLASS2 (INLINE_UID_FROM_FUID (kControllerUID), PClassInfo::kManyInstances,
	            kVstComponentControllerClass, "Orvotool Controller", 0, "", "9.0.0", kVstVersionString,
	            OtherController::createInstance)
END_FACTORY
