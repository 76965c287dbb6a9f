#include "params/orvomonitorparams.h"

#include "params/kv_vstparam.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <cmath>
#include <new>

namespace Steinberg {
namespace Vst {

namespace {

constexpr int32 A = ParameterInfo::kCanAutomate;
constexpr int32 W = ParameterInfo::kIsWrapAround;

// Host texts, as the decoder writes its angles and gains.
constexpr kv_ValueText kWholeDegrees {kv_ValueText::kNumber, 0, 1., false};  // "-30" deg
constexpr kv_ValueText kTenthDbSigned {kv_ValueText::kNumber, 1, 1., true};  // "+0.0" dB

bool add (ParameterContainer& container, kv_VSTParam* p, const kv_ValueText& text = {})
{
	if (!p)
		return false;
	p->setUnitID (kRootUnitId);
	p->setValueText (text);
	container.addParameter (p);
	return true;
}

bool addAll (ParameterContainer& c)
{
	// The head turns all the way round: like the decoder's Direction, the
	// control wraps from one end of its travel to the other.
	bool ok = add (c,
	               new (std::nothrow) kv_VSTParamAngle (STR16 ("Head Rotation"), kMonHeadRotation,
	                                                    A | W, STR16 ("Head Rot"), STR16 ("deg"),
	                                                    -180., 180., 0.),
	               kWholeDegrees);
	ok = ok && add (c,
	                new (std::nothrow) kv_VSTParam (STR16 ("Output Gain"), kMonOutputGain, A,
	                                                STR16 ("Out Gain"), STR16 ("dB"), -24., 12., 0.),
	                kTenthDbSigned);
	ok = ok && add (c, new (std::nothrow)
	                       kv_VSTParamBool (STR16 ("LFE"), kMonLfeOn, A, true, STR16 ("LFE")));
	ok = ok && add (c, new (std::nothrow) kv_VSTParamBool (STR16 ("Bypass"), kMonBypass,
	                                                       A | ParameterInfo::kIsBypass, false,
	                                                       STR16 ("Bypass")));
	return ok;
}

// Loudspeaker directions by layout family: the front pair and the surround
// pair at +-front and +-surround degrees, the centre (and the LFE's nominal
// place) straight ahead. Quad is a square; the 5.x layouts follow
// ITU-R BS.775 (fronts at 30, surrounds at 110 degrees).
struct LayoutAngles
{
	SpeakerArrangement arrangement;
	float frontDeg;
	float surroundDeg;
};

constexpr LayoutAngles kLayouts[] = {
    {SpeakerArr::kStereo, 30.f, 0.f},
    {SpeakerArr::k30Cine, 30.f, 0.f},
    {SpeakerArr::k40Music, 45.f, 135.f},
    {SpeakerArr::k50, 30.f, 110.f},
    {SpeakerArr::k51, 30.f, 110.f},
};

const LayoutAngles* findLayout (SpeakerArrangement arrangement)
{
	for (const LayoutAngles& layout : kLayouts)
		if (layout.arrangement == arrangement)
			return &layout;
	return nullptr;
}

} // namespace

bool createMonitorParameters (ParameterContainer& container)
{
	try
	{
		return addAll (container);
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
}

double wrapHeadRotation (double degrees)
{
	if (!std::isfinite (degrees) || (degrees >= -180. && degrees <= 180.))
		return degrees;
	const double turned = std::fmod (degrees + 180., 360.);
	return (turned < 0. ? turned + 360. : turned) - 180.;
}

bool isMonitorInput (SpeakerArrangement arrangement)
{
	return findLayout (arrangement) != nullptr;
}

int32 monitorSpeakers (SpeakerArrangement arrangement, float* azimuthDeg, int32 max,
                       int32* lfeIndex)
{
	if (lfeIndex)
		*lfeIndex = -1;
	const LayoutAngles* layout = findLayout (arrangement);
	if (!layout)
		return 0;
	// The SDK orders a bus's channels by speaker bit; each channel's speaker
	// says where it stands.
	const int32 count = SpeakerArr::getChannelCount (arrangement);
	for (int32 i = 0; i < count; ++i)
	{
		const Speaker speaker = SpeakerArr::getSpeaker (arrangement, i);
		float az = 0.f;
		if (speaker == kSpeakerL)
			az = layout->frontDeg;
		else if (speaker == kSpeakerR)
			az = -layout->frontDeg;
		else if (speaker == kSpeakerLs)
			az = layout->surroundDeg;
		else if (speaker == kSpeakerRs)
			az = -layout->surroundDeg;
		else if (speaker == kSpeakerLfe && lfeIndex)
			*lfeIndex = i;
		if (azimuthDeg && i < max)
			azimuthDeg[i] = az;
	}
	return count;
}

} // namespace Vst
} // namespace Steinberg
