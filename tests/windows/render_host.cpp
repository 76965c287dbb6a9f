// render_host: decodes a three-channel capsule recording (front cardioid,
// figure-of-eight, rear cardioid) to a six-channel 5.1 WAV with the Orvotool
// module, loaded from its bundle through the SDK's hosting API as a DAW loads
// it. Built for Linux and for Windows from this one source, so the Windows
// module's decode (under Wine) can be compared with the Linux module's, host
// for host. The module's latency is removed, so the output lines up with the
// input sample for sample.
//
//   render_host --plugin PATH [--block N] [--set ID=VALUE]... [--tail] in.wav out.wav
//
// --set takes a parameter identifier and a plain value, converted by the
// plug-in's own controller. --tail appends the plug-in's tail.

#include "common/process_block.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include "wavfile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kCapsules = 3;
constexpr int kOutputs = 6;
const char* const kOutputNames[kOutputs] = {"L", "R", "C", "LFE", "Ls", "Rs"};

struct Options
{
	std::string plugin;
	std::string input;
	std::string output;
	int block = 512;
	bool tail = false;
	std::vector<std::pair<ParamID, double>> settings;
};

void usage ()
{
	std::fprintf (stderr,
	              "usage: render_host [--plugin PATH] [--block N] [--set ID=VALUE]... [--tail] "
	              "in.wav out.wav\n"
	              "  in.wav: 3 channels (front cardioid, figure-of-eight, rear cardioid)\n"
	              "  out.wav: 6 channels, 32-bit float (L, R, C, LFE, Ls, Rs)\n"
	              );
}

bool parseOptions (int argc, char** argv, Options& o)
{
	std::vector<std::string> files;
	for (int i = 1; i < argc; ++i)
	{
		const std::string a = argv[i];
		if (a == "--plugin" && i + 1 < argc)
			o.plugin = argv[++i];
		else if (a == "--block" && i + 1 < argc)
			o.block = std::atoi (argv[++i]);
		else if (a == "--set" && i + 1 < argc)
		{
			const std::string s = argv[++i];
			const auto eq = s.find ('=');
			if (eq == std::string::npos)
				return false;
			o.settings.emplace_back (static_cast<ParamID> (std::atoi (s.substr (0, eq).c_str ())),
			                         std::atof (s.substr (eq + 1).c_str ()));
		}
		else if (a == "--tail")
			o.tail = true;
		else if (a == "-h" || a == "--help")
			return false;
		else if (!a.empty () && a[0] == '-')
			return false;
		else
			files.push_back (a);
	}
	if (files.size () != 2 || o.block < 1 || o.block > 65536)
		return false;
	o.input = files[0];
	o.output = files[1];
	if (o.plugin.empty ())
	{
		const char* home = std::getenv ("HOME");
		o.plugin = std::string (home ? home : ".") + "/.vst3/Orvotool.vst3";
	}
	return true;
}

// One process call over 'n' frames starting at 'offset' of the given
// channel buffers, with optional parameter changes at its start.
tresult processBlock (IAudioProcessor& processor, std::vector<std::vector<float>>& in,
                      std::vector<std::vector<float>>& out, int offset, int n,
                      IParameterChanges* changes)
{
	float* inPtrs[kCapsules + 3] = {};
	float* outPtrs[kOutputs] = {};
	std::vector<float> unused (static_cast<size_t> (n), 0.f);
	for (int c = 0; c < kCapsules; ++c)
		inPtrs[c] = in[c].data () + offset;
	for (int c = kCapsules; c < kCapsules + 3; ++c)
		inPtrs[c] = unused.data (); // the 5.1 input's channels 3 to 5 carry nothing
	for (int c = 0; c < kOutputs; ++c)
		outPtrs[c] = out[c].data () + offset;
	ParameterChanges outChanges (32);
	return orvotest::ProcessBlock (inPtrs, kCapsules + 3, outPtrs, kOutputs, n, changes, &outChanges,
	                               kOffline)
	    .run (processor);
}

} // namespace

int main (int argc, char** argv)
{
	Options opt;
	if (!parseOptions (argc, argv, opt))
	{
		usage ();
		return 2;
	}

	// Input.
	OrvoAudio input;
	std::string readError;
	if (!orvoReadAudio (opt.input, input, readError))
	{
		std::fprintf (stderr, "render_host: cannot read %s: %s\n", opt.input.c_str (), readError.c_str ());
		return 1;
	}
	if (input.channels < kCapsules)
	{
		std::fprintf (stderr, "render_host: %s has %d channel(s); the decoder needs 3 capsule channels\n",
		              opt.input.c_str (), input.channels);
		return 1;
	}
	const int64_t frames = input.frames;
	const std::vector<float>& interleaved = input.samples;
	std::printf ("input:   %s, %d Hz, %d channels, %lld frames (%.2f s)\n", opt.input.c_str (),
	             input.sampleRate, input.channels, static_cast<long long> (frames),
	             static_cast<double> (frames) / input.sampleRate);
	if (input.channels > kCapsules)
		std::printf ("         channels 4 to %d are ignored\n", input.channels);

	// Plug-in.
	std::string error;
	auto module = VST3::Hosting::Module::create (opt.plugin, error);
	if (!module)
	{
		std::fprintf (stderr, "render_host: cannot load %s: %s\n", opt.plugin.c_str (), error.c_str ());
		return 1;
	}
	const auto& factory = module->getFactory ();
	const VST3::Hosting::ClassInfo* effectClass = nullptr;
	const auto classes = factory.classInfos ();
	for (const auto& c : classes)
		if (c.category () == kVstAudioEffectClass)
		{
			effectClass = &c;
			break;
		}
	if (!effectClass)
	{
		std::fprintf (stderr, "render_host: %s holds no audio effect\n", opt.plugin.c_str ());
		return 1;
	}
	std::printf ("plug-in: %s %s by %s (%s)\n", effectClass->name ().c_str (),
	             effectClass->version ().c_str (), factory.info ().vendor ().c_str (),
	             module->getPath ().c_str ());

	IPtr<HostApplication> host = owned (new HostApplication ());
	auto component = factory.createInstance<IComponent> (effectClass->ID ());
	if (!component || component->initialize (host) != kResultOk)
	{
		std::fprintf (stderr, "render_host: the plug-in's processor could not be created\n");
		return 1;
	}
	FUnknownPtr<IAudioProcessor> processor (component);
	if (!processor)
	{
		std::fprintf (stderr, "render_host: the component is no audio processor\n");
		component->terminate ();
		return 1;
	}

	// Settings: plain values converted by the plug-in's own controller.
	ParameterChanges changes (static_cast<int32> (opt.settings.size ()) + 1);
	if (!opt.settings.empty ())
	{
		TUID controllerId {};
		IPtr<IEditController> controller;
		if (component->getControllerClassId (controllerId) == kResultOk)
			controller = factory.createInstance<IEditController> (VST3::UID::fromTUID (controllerId));
		if (!controller || controller->initialize (host) != kResultOk)
		{
			std::fprintf (stderr, "render_host: the plug-in's controller could not be created\n");
			component->terminate ();
			return 1;
		}
		for (const auto& [id, plain] : opt.settings)
		{
			ParameterInfo info {};
			bool known = false;
			for (int32 i = 0; i < controller->getParameterCount () && !known; ++i)
				known = controller->getParameterInfo (i, info) == kResultOk && info.id == id;
			if (!known || (info.flags & ParameterInfo::kIsReadOnly))
			{
				std::fprintf (stderr, "render_host: no settable parameter %u\n", id);
				controller->terminate ();
				component->terminate ();
				return 2;
			}
			const ParamValue normalized = controller->plainParamToNormalized (id, plain);
			int32 index = 0;
			if (IParamValueQueue* q = changes.addParameterData (id, index))
				q->addPoint (0, normalized, index);
			char title[128] = {};
			for (int k = 0; k < 127 && info.title[k]; ++k)
				title[k] = static_cast<char> (info.title[k]);
			std::printf ("set:     %u %s = %g (normalized %.6f)\n", id, title, plain, normalized);
		}
		controller->terminate ();
	}

	SpeakerArrangement inArr = SpeakerArr::k51, outArr = SpeakerArr::k51;
	processor->setBusArrangements (&inArr, 1, &outArr, 1);
	ProcessSetup setup {kOffline, kSample32, opt.block, static_cast<double> (input.sampleRate)};
	if (processor->setupProcessing (setup) != kResultOk)
	{
		std::fprintf (stderr, "render_host: the plug-in refuses %d Hz with blocks of %d\n",
		              input.sampleRate, opt.block);
		component->terminate ();
		return 1;
	}
	const int latency = static_cast<int> (processor->getLatencySamples ());
	const int tail = static_cast<int> (processor->getTailSamples ());
	component->activateBus (kAudio, kInput, 0, true);
	component->activateBus (kAudio, kOutput, 0, true);
	component->setActive (true);
	processor->setProcessing (true);
	std::printf ("decode:  blocks of %d, latency %d samples (removed), tail %d samples%s\n", opt.block,
	             latency, tail, opt.tail ? " (appended)" : "");

	// Render: the input followed by silence long enough to flush the latency
	// (and the tail when asked for), in whole blocks.
	const int64_t outFrames = frames + (opt.tail ? tail : 0);
	const int64_t needed = outFrames + latency;
	const int64_t total = (needed + opt.block - 1) / opt.block * opt.block;
	std::vector<std::vector<float>> in (kCapsules, std::vector<float> (static_cast<size_t> (total), 0.f));
	std::vector<std::vector<float>> out (kOutputs, std::vector<float> (static_cast<size_t> (total), 0.f));
	for (int64_t i = 0; i < frames; ++i)
		for (int c = 0; c < kCapsules; ++c)
			in[c][static_cast<size_t> (i)] = interleaved[static_cast<size_t> (i * input.channels + c)];

	const auto start = std::chrono::steady_clock::now ();
	for (int64_t pos = 0; pos < total; pos += opt.block)
		processBlock (*processor, in, out, static_cast<int> (pos), opt.block,
		              pos == 0 ? static_cast<IParameterChanges*> (&changes) : nullptr);
	const double seconds =
	    std::chrono::duration<double> (std::chrono::steady_clock::now () - start).count ();

	processor->setProcessing (false);
	component->setActive (false);
	component->terminate ();

	// Output: latency removed.
	std::vector<float> result (static_cast<size_t> (outFrames * kOutputs));
	double peak[kOutputs] = {};
	double energy[kOutputs] = {};
	for (int64_t i = 0; i < outFrames; ++i)
		for (int c = 0; c < kOutputs; ++c)
		{
			const float x = out[c][static_cast<size_t> (i + latency)];
			result[static_cast<size_t> (i * kOutputs + c)] = x;
			peak[c] = std::max (peak[c], static_cast<double> (std::fabs (x)));
			energy[c] += static_cast<double> (x) * x;
		}

	OrvoAudio decoded;
	decoded.sampleRate = input.sampleRate;
	decoded.channels = kOutputs;
	decoded.frames = outFrames;
	decoded.samples = std::move (result);
	std::string writeError;
	if (!orvoWrite51 (opt.output, decoded, writeError))
	{
		std::fprintf (stderr, "render_host: cannot write %s: %s\n", opt.output.c_str (), writeError.c_str ());
		return 1;
	}

	std::printf ("output:  %s, %d Hz, 6 channels (L R C LFE Ls Rs), %lld frames, 32-bit float\n",
	             opt.output.c_str (), input.sampleRate, static_cast<long long> (outFrames));
	for (int c = 0; c < kOutputs; ++c)
	{
		const double rms = outFrames > 0 ? std::sqrt (energy[c] / static_cast<double> (outFrames)) : 0.0;
		auto db = [] (double v) { return v > 0 ? 20.0 * std::log10 (v) : -INFINITY; };
		std::printf ("         %-3s peak %7.1f dBFS  rms %7.1f dBFS\n", kOutputNames[c], db (peak[c]), db (rms));
	}
	const double audioSeconds = static_cast<double> (total) / input.sampleRate;
	std::printf ("time:    %.3f s for %.2f s of audio (%.0fx real time)\n", seconds, audioSeconds,
	             seconds > 0 ? audioSeconds / seconds : 0.0);
	return 0;
}
