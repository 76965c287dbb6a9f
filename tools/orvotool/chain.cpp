#include "chain.h"

#include "module/version.h"
#include "params/orvoambixparams.h"
#include "params/orvomonitorparams.h"
#include "params/orvoparams.h"
#include "sfm_binaural.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <algorithm>
#include <cmath>

namespace orvotool {

std::string hrtfProblem (const std::string& path)
{
	if (path.empty ())
		return {};
	if (!sfm_hrir_sofa_supported ())
		return "--hrtf: this build reads no SOFA files; leave it out for the built-in MIT KEMAR set";
	sfm_hrir_file file {};
	char why[512] = {};
	const int result = sfm_hrir_read_sofa (&file, path.c_str (), why, sizeof why);
	sfm_hrir_file_free (&file);
	return result == 0 ? std::string () : path + ": " + why;
}

namespace {

// The monitor reads the SOFA file named in its "hrtfPath" message, as its
// editor sends it.
bool sendHrtfPath (IComponent* component, const std::string& path, std::string& error)
{
	FUnknownPtr<IConnectionPoint> connection (component);
	IPtr<IMessage> message = owned (static_cast<IMessage*> (new HostMessage ()));
	message->setMessageID (kMonMsgHrtfPath);
	message->getAttributes ()->setBinary ("path", path.data (), static_cast<uint32> (path.size ()));
	if (!connection || connection->notify (message) != kResultOk)
	{
		error = "\"" ORVO_MONITOR_NAME "\" does not take the response file " + path;
		return false;
	}
	return true;
}

// Degrees -180 to 180 as the normalized value of an angle parameter.
ParamValue angleValue (double degrees)
{
	const double wrapped = std::remainder (degrees, 360.0);
	return std::clamp ((wrapped + 180.0) / 360.0, 0.0, 1.0);
}

} // namespace

bool startChain (Plugin& plugin, const RenderOptions& o, double rate, ProcessorSession& first,
                 ProcessorSession& second, std::string& error)
{
	switch (o.chain)
	{
		case RenderChain::Decode:
			if (!first.start (plugin, rate, o.block, error))
				return false;
			first.sendSettings (o.settings);
			return true;
		case RenderChain::Ambix:
		{
			// The converter takes the decoder's Direction; the rest of the
			// settings shape loudspeaker feeds, which AmbiX has none of.
			SessionClass ambix {ORVO_AMBIX_NAME, SpeakerArr::k51, SpeakerArr::kAmbi1stOrderACN, {}};
			if (!first.start (plugin, ambix, rate, o.block, error))
				return false;
			first.sendParameters ({{kAmbDirection, valueOf (o.settings, kParamDirection)}});
			return true;
		}
		case RenderChain::Binaural:
		{
			if (!first.start (plugin, rate, o.block, error))
				return false;
			first.sendSettings (o.settings);
			SessionClass monitor {ORVO_MONITOR_NAME, SpeakerArr::k51, SpeakerArr::kStereo, {}};
			if (!o.hrtf.empty ())
				monitor.prepare = [&o] (IComponent* c, std::string& e) { return sendHrtfPath (c, o.hrtf, e); };
			if (!second.start (plugin, monitor, rate, o.block, error))
				return false;
			second.sendParameters ({{kMonHeadRotation, angleValue (o.headRotation)}});
			return true;
		}
	}
	return false;
}

} // namespace orvotool
