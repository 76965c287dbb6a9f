#include "controller/orvoambixcontroller.h"

#include "params/orvoambixchunk.h"
#include "params/orvoambixparams.h"

#include "base/source/fstreamer.h"

#include <algorithm>
#include <cstring>

namespace Steinberg {
namespace Vst {

FUnknown* OrvoAmbixController::createInstance (void* /*context*/)
{
	return static_cast<IEditController*> (new OrvoAmbixController ());
}

tresult PLUGIN_API OrvoAmbixController::initialize (FUnknown* context)
{
	const tresult result = EditController::initialize (context);
	if (result != kResultOk)
		return result;
	return createAmbixParameters (parameters) ? kResultOk : kOutOfMemory;
}

tresult PLUGIN_API OrvoAmbixController::setComponentState (IBStream* state)
{
	// The processor refuses a damaged chunk whole; so does its controller.
	OrvoAmbixSettings settings;
	if (!state || readAmbixChunk (state, settings) != kResultOk)
		return kResultFalse;
	Parameter* direction = getParameterObject (kAmbDirection);
	if (!direction)
		return kResultFalse;
	return setParamNormalized (kAmbDirection, direction->toNormalized (settings.directionDeg));
}

// The controller's chunk, little-endian: the four bytes "OrvB", an int32
// version (1) and the bypass switch as a normalized double.
namespace {
constexpr char kControllerChunkTag[4] = {'O', 'r', 'v', 'B'};
constexpr int32 kControllerChunkVersion = 1;
} // namespace

tresult PLUGIN_API OrvoAmbixController::getState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	IBStreamer out (state, kLittleEndian);
	const bool ok = out.writeRaw (kControllerChunkTag, sizeof (kControllerChunkTag)) ==
	                    static_cast<TSize> (sizeof (kControllerChunkTag)) &&
	                out.writeInt32 (kControllerChunkVersion) && out.writeDouble (getParamNormalized (kAmbBypass));
	return ok ? kResultOk : kResultFalse;
}

tresult PLUGIN_API OrvoAmbixController::setState (IBStream* state)
{
	if (!state)
		return kResultFalse;
	IBStreamer in (state, kLittleEndian);
	char tag[sizeof (kControllerChunkTag)] {};
	int32 version = 0;
	double bypassed = 0.;
	// Anything but a whole chunk of the known version changes nothing.
	if (in.readRaw (tag, sizeof (tag)) != static_cast<TSize> (sizeof (tag)) ||
	    std::memcmp (tag, kControllerChunkTag, sizeof (tag)) != 0 || !in.readInt32 (version) ||
	    version != kControllerChunkVersion || !in.readDouble (bypassed) || !(bypassed == bypassed))
		return kResultFalse;
	return setParamNormalized (kAmbBypass, std::clamp (bypassed, 0., 1.));
}

IPlugView* PLUGIN_API OrvoAmbixController::createView (FIDString /*name*/)
{
	return nullptr;
}

} // namespace Vst
} // namespace Steinberg
