// "Orvotool AmbiX" as a host sees it: the class in the module's factory,
// its buses, parameters and state through the VST 3 interfaces of the built
// bundle; the capsules of a modelled array in, first-order Ambisonics out.
// The realtime checks drive the processor compiled in.

#include "allocation_count.h"
#include "common/process_block.h"
#include "testhost.h"

#include "orvo_scene.h"
#include "params/orvoambixchunk.h"
#include "params/orvoambixparams.h"
#include "params/orvocids.h"
#include "processor/orvoambixprocessor.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "pluginterfaces/base/ustring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace orvotest;

namespace {

constexpr double kFs = 48000.;
constexpr int32 kMaxBlock = 1024;
// Block sizes a host might send, none a multiple of the engine's hop.
const std::vector<int32> kBlocks {480, 333, 1024, 7, 600};

IPtr<IComponent> createFromBundle (const FUID& cid)
{
	auto module = loadModule ();
	if (!module)
		return nullptr;
	return module->getFactory ().createInstance<IComponent> (VST3::UID::fromTUID (cid.toTUID ()));
}

IPtr<IEditController> createController ()
{
	auto module = loadModule ();
	if (!module)
		return nullptr;
	auto controller = module->getFactory ().createInstance<IEditController> (
	    VST3::UID::fromTUID (OrvoAmbixControllerUID.toTUID ()));
	if (controller && controller->initialize (hostContext ()) != kResultOk)
		return nullptr;
	return controller;
}

// An AmbiX instance from the bundle, set up and active at 48 kHz.
struct Ambix
{
	PluginInstance plugin {createFromBundle (OrvoAmbixProcessorUID)};

	Ambix ()
	{
		if (!plugin.valid ())
			return;
		SpeakerArrangement in = SpeakerArr::k51, out = SpeakerArr::kAmbi1stOrderACN;
		EXPECT_EQ (plugin.proc ()->setBusArrangements (&in, 1, &out, 1), kResultOk);
		EXPECT_EQ (plugin.setup (kFs, kMaxBlock), kResultOk);
		EXPECT_EQ (plugin.activate (true), kResultOk);
	}

	// Six input channels (the capsules on 1 to 3) through the blocks of
	// kBlocks; 'params' go with the first block. Four output channels.
	Audio render (const Audio& in6, const std::vector<ParamPoint>& params = {})
	{
		const auto length = static_cast<int32> (in6[0].size ());
		Audio out (4, std::vector<float> (static_cast<size_t> (length), 0.f));
		size_t k = 0;
		for (int32 pos = 0; pos < length;)
		{
			const int32 n = std::min (kBlocks[k++ % kBlocks.size ()], length - pos);
			EXPECT_EQ (plugin.processBlock (in6, out, pos, n, pos == 0 ? params : std::vector<ParamPoint> {}),
			           kResultOk);
			pos += n;
		}
		return out;
	}
};

ParamValue directionNormalized (double degrees)
{
	return (degrees + 180.) / 360.;
}

// The capsules of a plane wave of 'x' from 'azDeg' on channels 1 to 3 of a
// 5.1 input; the other three channels silent.
Audio planeWave (const std::vector<float>& x, double azDeg)
{
	orvo_scene::Capsules c (x.size ());
	orvo_scene::add_plane_wave (c, x, azDeg * orvo_scene::kPi / 180.);
	orvo_scene::apply_figure_of_eight_rolloff (c.f8, kFs);
	Audio in (6, std::vector<float> (x.size (), 0.f));
	in[0] = c.fc;
	in[1] = c.f8;
	in[2] = c.rc;
	return in;
}

// A component's gain relative to W (sign included) over [begin, end).
double gainToW (const Audio& out, int32 channel, size_t begin, size_t end)
{
	double aw = 0., ww = 0.;
	for (size_t i = begin; i < end; ++i)
	{
		aw += double (out[channel][i]) * out[0][i];
		ww += double (out[0][i]) * out[0][i];
	}
	return ww > 0. ? aw / ww : 0.;
}

TEST (AmbixPlugin, HostFindsAnAmbisonicEffectWithTheDecodersInputAndTheGenericEditor)
{
	auto module = loadModule ();
	ASSERT_TRUE (module);
	bool found = false;
	for (const auto& info : module->getFactory ().classInfos ())
		if (info.ID () == VST3::UID::fromTUID (OrvoAmbixProcessorUID.toTUID ()))
		{
			found = true;
			EXPECT_EQ (info.name (), "Orvotool AmbiX");
			EXPECT_EQ (info.category (), kVstAudioEffectClass);
			EXPECT_EQ (info.subCategoriesString (), "Spatial|Ambisonics|Fx");
		}
	EXPECT_TRUE (found);

	Ambix a;
	ASSERT_TRUE (a.plugin.valid ());
	SpeakerArrangement arr = 0;
	ASSERT_EQ (a.plugin.proc ()->getBusArrangement (kInput, 0, arr), kResultOk);
	EXPECT_EQ (arr, SpeakerArr::k51);
	ASSERT_EQ (a.plugin.proc ()->getBusArrangement (kOutput, 0, arr), kResultOk);
	EXPECT_EQ (arr, SpeakerArr::kAmbi1stOrderACN);
	// Other layouts are refused: the encoder's buses are fixed.
	SpeakerArrangement stereo = SpeakerArr::kStereo, ambi = SpeakerArr::kAmbi1stOrderACN;
	EXPECT_NE (a.plugin.proc ()->setBusArrangements (&stereo, 1, &ambi, 1), kResultOk);

	TUID controllerId {};
	ASSERT_EQ (a.plugin.comp ()->getControllerClassId (controllerId), kResultOk);
	EXPECT_EQ (FUID::fromTUID (controllerId), OrvoAmbixControllerUID);
	auto controller = createController ();
	ASSERT_TRUE (controller);
	EXPECT_EQ (controller->createView (ViewType::kEditor), nullptr);
	ASSERT_EQ (controller->getParameterCount (), 2);
	ParameterInfo info {};
	ASSERT_EQ (controller->getParameterInfo (0, info), kResultOk);
	EXPECT_EQ (info.id, kAmbDirection);
	EXPECT_TRUE (info.flags & ParameterInfo::kCanAutomate);
	ASSERT_EQ (controller->getParameterInfo (1, info), kResultOk);
	EXPECT_TRUE (info.flags & ParameterInfo::kIsBypass);
	// Plain degrees both ways, as the decoder's Direction.
	String128 text {};
	ASSERT_EQ (controller->getParamStringByValue (kAmbDirection, directionNormalized (-45.), text), kResultOk);
	EXPECT_EQ (std::u16string (text), u"-45");
	ParamValue typed = 0.;
	ASSERT_EQ (controller->getParamValueByString (kAmbDirection, const_cast<TChar*> (STR16 ("90")), typed),
	           kResultOk);
	EXPECT_NEAR (typed, directionNormalized (90.), 1e-9);
	controller->terminate ();
}

TEST (AmbixPlugin, PlaneWaveComesOutAsWYXAndDirectionTurnsItAhead)
{
	const auto length = static_cast<int32> (kFs);
	const auto tone = orvo_scene::sine (static_cast<size_t> (length), kFs, 1000., 0.25f);
	const size_t begin = 4800, end = static_cast<size_t> (length) - 4800;
	struct Case
	{
		double source, direction, heardAt;
	};
	// Direction turns clockwise, as the decoder's: looking at -60 brings a
	// source at 60 (counter-clockwise, left) straight ahead.
	for (const Case& c : {Case {60., 0., 60.}, Case {60., -60., 0.}, Case {-120., 30., -90.}, Case {150., 0., 150.}})
	{
		Ambix a;
		ASSERT_TRUE (a.plugin.valid ());
		const Audio out = a.render (planeWave (tone, c.source), {{kAmbDirection, 0, directionNormalized (c.direction)}});
		const double y = gainToW (out, 1, begin, end), x = gainToW (out, 3, begin, end);
		const double rad = c.heardAt * orvo_scene::kPi / 180.;
		EXPECT_NEAR (y, std::sin (rad), 0.02) << "source " << c.source << ", direction " << c.direction;
		EXPECT_NEAR (x, std::cos (rad), 0.02) << "source " << c.source << ", direction " << c.direction;
		EXPECT_EQ (orvo_scene::rms (out[2].data (), 0, out[2].size ()), 0.) << "Z has no capsule";
		EXPECT_NEAR (orvo_scene::rms (out[0].data (), begin, end), 0.25 / std::sqrt (2.), 0.25 * 0.035);
	}
}

TEST (AmbixPlugin, AClickArrivesExactlyTheReportedLatencyLaterAndBypassIsTheInputAsLate)
{
	Ambix a;
	ASSERT_TRUE (a.plugin.valid ());
	const uint32 latency = a.plugin.proc ()->getLatencySamples ();
	EXPECT_EQ (latency, 1024u); // two hops of 512 at 48 kHz: the rings' and the transform's

	const int32 length = 12000, at = 1500;
	Audio in (6, std::vector<float> (length, 0.f));
	in[0][at] = in[2][at] = 0.5f; // pressure: both cardioids
	const Audio out = a.render (in);
	int32 peak = 0;
	for (int32 i = 0; i < length; ++i)
		if (std::fabs (out[0][i]) > std::fabs (out[0][peak]))
			peak = i;
	EXPECT_EQ (peak, at + static_cast<int32> (latency));
	EXPECT_NEAR (out[0][peak], 1.f, 1e-4f);

	// Bypassed (the host's switch), input channels 1 to 4 come out on the four
	// outputs as late as the encoding would; a channel beyond stays out.
	Ambix b;
	ASSERT_TRUE (b.plugin.valid ());
	Audio signal (6, std::vector<float> (length));
	for (int32 c = 0; c < 6; ++c)
		for (int32 i = 0; i < length; ++i)
			signal[c][i] = 0.1f * static_cast<float> (std::sin (0.01 * (c + 1) * i));
	const Audio dry = b.render (signal, {{kAmbBypass, 0, 1.}});
	// After the switch's ramp (10 ms) the output is the delayed input exactly.
	Audio expected (4, std::vector<float> (length, 0.f));
	for (int32 c = 0; c < 4; ++c)
		for (int32 i = static_cast<int32> (latency); i < length; ++i)
			expected[c][i] = signal[c][i - latency];
	EXPECT_EQ (maxDifference (dry, expected, 1000, length), 0.f);
}

TEST (AmbixPlugin, StateRoundTripsAndADamagedChunkChangesNothing)
{
	Ambix a;
	ASSERT_TRUE (a.plugin.valid ());
	const auto tone = orvo_scene::sine (9600, kFs, 700., 0.2f);
	const Audio in = planeWave (tone, 45.);
	// A user turns Direction by automation; the saved state carries it.
	a.render (in, {{kAmbDirection, 0, directionNormalized (-100.)}});
	const std::vector<char> saved = a.plugin.saveState ();
	ASSERT_EQ (saved.size (), static_cast<size_t> (kAmbixChunkBytes));

	Ambix b;
	ASSERT_TRUE (b.plugin.valid ());
	ASSERT_EQ (b.plugin.loadState (saved), kResultOk);
	EXPECT_EQ (b.plugin.saveState (), saved);
	Ambix fresh;
	ASSERT_TRUE (fresh.plugin.valid ());
	ASSERT_EQ (fresh.plugin.loadState (saved), kResultOk);
	EXPECT_EQ (maxDifference (b.render (in), fresh.render (in), 0, 9600), 0.f);
	Ambix unturned;
	ASSERT_TRUE (unturned.plugin.valid ());
	EXPECT_GT (maxDifference (b.render (in), unturned.render (in), 4000, 9600), 0.01f);

	// The controller shows what was loaded.
	auto controller = createController ();
	ASSERT_TRUE (controller);
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	int32 written = 0;
	stream->write (const_cast<char*> (saved.data ()), static_cast<int32> (saved.size ()), &written);
	stream->seek (0, IBStream::kIBSeekSet, nullptr);
	ASSERT_EQ (controller->setComponentState (stream), kResultOk);
	EXPECT_NEAR (controller->getParamNormalized (kAmbDirection), directionNormalized (-100.), 1e-12);

	// A chunk cut anywhere is refused whole: the state stays as it was.
	// (Damage inside the chunk: the reader's own test below.)
	for (size_t cut = 0; cut < saved.size (); ++cut)
	{
		std::vector<char> shortChunk (saved.begin (), saved.begin () + static_cast<long> (cut));
		EXPECT_NE (b.plugin.loadState (shortChunk), kResultOk) << "cut at " << cut;
		EXPECT_EQ (b.plugin.saveState (), saved);
		IPtr<MemoryStream> s = owned (new MemoryStream ());
		s->write (shortChunk.data (), static_cast<int32> (shortChunk.size ()), &written);
		s->seek (0, IBStream::kIBSeekSet, nullptr);
		EXPECT_NE (controller->setComponentState (s), kResultOk);
	}
	controller->terminate ();
}

TEST (AmbixPlugin, ChunkReaderRefusesEveryDamagedChunkWhole)
{
	IPtr<MemoryStream> out = owned (new MemoryStream ());
	ASSERT_EQ (writeAmbixChunk (out, OrvoAmbixSettings {-100.}), kResultOk);
	const std::vector<char> saved (out->getData (), out->getData () + out->getSize ());
	std::mt19937 random (11);
	int accepted = 0;
	for (int trial = 0; trial < 100000; ++trial)
	{
		std::vector<char> damaged = saved;
		for (int k = 0; k <= trial % 4; ++k)
			damaged[random () % damaged.size ()] = static_cast<char> (random ());
		if (trial % 7 == 0)
			damaged.resize (random () % 1100, static_cast<char> (random () & 0xff));
		IPtr<MemoryStream> s = owned (new MemoryStream ());
		int32 written = 0;
		s->write (damaged.data (), static_cast<int32> (damaged.size ()), &written);
		s->seek (0, IBStream::kIBSeekSet, nullptr);
		OrvoAmbixSettings settings {12.};
		if (readAmbixChunk (s, settings) == kResultOk)
		{
			++accepted;
			ASSERT_TRUE (settings.directionDeg >= -180. && settings.directionDeg <= 180.);
		}
		else
			ASSERT_EQ (settings.directionDeg, 12.);
	}
	// Changes inside the value's bytes still make valid chunks now and then.
	EXPECT_GT (accepted, 0);
	EXPECT_LT (accepted, 100000);
}

// The processor compiled in, driven as the audio thread drives it.
struct DirectAmbix
{
	HostApplication host;
	IPtr<OrvoAmbixProcessor> processor = owned (new OrvoAmbixProcessor ());
	Audio in = Audio (6, std::vector<float> (512, 0.1f));
	Audio out = Audio (4, std::vector<float> (512));

	DirectAmbix ()
	{
		EXPECT_EQ (processor->initialize (&host), kResultOk);
		ProcessSetup setup {kRealtime, kSample32, 512, kFs};
		EXPECT_EQ (processor->setupProcessing (setup), kResultOk);
		processor->setActive (true);
	}
	~DirectAmbix ()
	{
		processor->setActive (false);
		processor->terminate ();
	}

	void run (IParameterChanges* changes)
	{
		float* inPtrs[6];
		float* outPtrs[4];
		for (int c = 0; c < 6; ++c)
			inPtrs[c] = in[c].data ();
		for (int c = 0; c < 4; ++c)
			outPtrs[c] = out[c].data ();
		ProcessBlock (inPtrs, 6, outPtrs, 4, 512, changes).run (*processor);
	}
};

TEST (AmbixPlugin, ProcessAllocatesNothingWhileAStateLoadsAndTheHostMovesControls)
{
#ifdef ORVO_COUNT_ALLOCATIONS
	DirectAmbix p;
	p.run (nullptr);
	IPtr<MemoryStream> chunk = owned (new MemoryStream ());
	ASSERT_EQ (writeAmbixChunk (chunk, OrvoAmbixSettings {75.}), kResultOk);
	chunk->seek (0, IBStream::kIBSeekSet, nullptr);
	ASSERT_EQ (p.processor->setState (chunk), kResultOk);
	ParameterChanges changes (4);
	int32 index = 0;
	changes.addParameterData (kAmbDirection, index)->addPoint (0, 0.2, index);
	changes.addParameterData (kAmbBypass, index)->addPoint (100, 1.0, index);

	gAllocations = 0;
	gCounting = true;
	for (int block = 0; block < 20; ++block)
		p.run (block == 0 ? &changes : nullptr);
	gCounting = false;
	EXPECT_EQ (gAllocations, 0);
	for (const auto& ch : p.out)
		for (float v : ch)
			ASSERT_TRUE (std::isfinite (v));
#else
	GTEST_SKIP () << "allocation hooks are off under sanitizers";
#endif
}

} // namespace
