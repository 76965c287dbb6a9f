// "Orvotool Monitor" as a host drives it: the loudspeaker layouts it takes,
// the latency it reports, controls moved through IParameterChanges, the
// host's bypass, the saved state with a personal HRTF file that is missing,
// and no allocation on the audio thread.

#include "allocation_count.h"
#include "testhost.h"
#include "common/process_block.h"

#include "controller/orvomonitorcontroller.h"
#include "params/kv_iview.h"
#include "params/orvocids.h"
#include "params/orvomonitorchunk.h"
#include "processor/orvomonitorprocessor.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace orvotest;

namespace {

constexpr double kRate = 48000.;
constexpr int32 kBlock = 512;

// A monitor processor built here (its class, not the bundle's copy, so that
// the allocation hooks see it), with 'input' on its input bus, set up and on.
struct Monitor
{
	OrvoMonitorProcessor* processor = new OrvoMonitorProcessor ();
	PluginInstance host {IPtr<IComponent> (owned (static_cast<IComponent*> (processor)))};

	explicit Monitor (SpeakerArrangement input = SpeakerArr::k51, bool start = true)
	{
		SpeakerArrangement in = input, out = SpeakerArr::kStereo;
		EXPECT_EQ (host.proc ()->setBusArrangements (&in, 1, &out, 1), kResultOk);
		if (start)
		{
			EXPECT_EQ (host.setup (kRate, kBlock), kResultOk);
			EXPECT_EQ (host.activate (true), kResultOk);
		}
	}

	// Renders 'in' in blocks of kBlock; 'first' goes with the first block.
	Audio render (const Audio& in, const std::vector<ParamPoint>& first = {})
	{
		const auto length = static_cast<int32> (in[0].size ());
		Audio out (2, std::vector<float> (static_cast<size_t> (length)));
		for (int32 pos = 0; pos < length; pos += kBlock)
			host.processBlock (in, out, pos, std::min (kBlock, length - pos), pos == 0 ? first : std::vector<ParamPoint> {});
		return out;
	}

	// The controller's "hrtfPath" message, as a host delivers it.
	tresult choose (const char* path)
	{
		IPtr<HostMessage> message = owned (new HostMessage ());
		message->setMessageID (kMonMsgHrtfPath);
		message->getAttributes ()->setBinary ("path", path, static_cast<uint32> (std::strlen (path)));
		return processor->notify (message);
	}
};

// Noise on the listed channels of a 'channels'-channel input, silence elsewhere.
Audio noiseOn (int32 channels, std::initializer_list<int32> live, int32 length, uint32 seed = 1)
{
	Audio a (static_cast<size_t> (channels), std::vector<float> (static_cast<size_t> (length)));
	std::mt19937 random (seed);
	std::uniform_real_distribution<float> unit (-0.25f, 0.25f);
	for (int32 c : live)
		for (float& x : a[static_cast<size_t> (c)])
			x = unit (random);
	return a;
}

double energy (const std::vector<float>& x, int32 from)
{
	double e = 0.;
	for (size_t i = static_cast<size_t> (from); i < x.size (); ++i)
		e += double (x[i]) * x[i];
	return e;
}

double db (double ratio)
{
	return 10. * std::log10 (ratio);
}

int32 rendererLatency ()
{
	// What the renderer reports at this rate with the built-in set.
	sfm_hrtf set {};
	sfm_binaural b {};
	EXPECT_EQ (sfm_hrtf_prepare (&set, sfm_hrir_builtin (), float (kRate)), 0);
	EXPECT_EQ (sfm_binaural_create (&b, float (kRate), &set), 0);
	const int32 latency = sfm_binaural_latency (&b);
	sfm_binaural_free (&b);
	sfm_hrtf_free (&set);
	return latency;
}

// Counts what a view is told.
struct CountingView : kv_IView
{
	int statusChanges {0};
	void parameterChanged (ParamID id, double) override { statusChanges += id == kMonStatusChanged; }
};

} // namespace

TEST (MonitorFactory, TheBundleOffersTheMonitorAfterTheDecoder)
{
	auto module = loadModule ();
	ASSERT_TRUE (module);
	const auto infos = module->getFactory ().classInfos ();
	ASSERT_GE (infos.size (), 4u);
	const auto& processorInfo = infos[infos.size () - 2];
	EXPECT_EQ (processorInfo.name (), "Orvotool Monitor");
	EXPECT_EQ (processorInfo.category (), kVstAudioEffectClass);
	EXPECT_EQ (infos.back ().name (), "Orvotool Monitor Controller");

	// A host creates it by that id and finds its controller by the id it names.
	auto component = module->getFactory ().createInstance<IComponent> (processorInfo.ID ());
	ASSERT_TRUE (component);
	ASSERT_EQ (component->initialize (hostContext ()), kResultOk);
	TUID controllerId {};
	ASSERT_EQ (component->getControllerClassId (controllerId), kResultOk);
	EXPECT_EQ (VST3::UID::fromTUID (controllerId), infos.back ().ID ());
	component->terminate ();
}

TEST (MonitorBuses, TakesTheLoudspeakerLayoutsRefusesOthersAndReportsTheRenderersLatency)
{
	const int32 latency = rendererLatency ();
	for (SpeakerArrangement layout : {SpeakerArr::kStereo, SpeakerArr::k30Cine, SpeakerArr::k40Music,
	                                  SpeakerArr::k50, SpeakerArr::k51})
	{
		Monitor m (layout);
		SpeakerArrangement bus = 0;
		ASSERT_EQ (m.host.proc ()->getBusArrangement (kInput, 0, bus), kResultOk);
		EXPECT_EQ (bus, layout);
		ASSERT_EQ (m.host.proc ()->getBusArrangement (kOutput, 0, bus), kResultOk);
		EXPECT_EQ (bus, SpeakerArr::kStereo);
		EXPECT_EQ (m.host.proc ()->getLatencySamples (), static_cast<uint32> (latency));
	}

	// Proposals it refuses leave the bus as it was.
	Monitor m (SpeakerArr::k40Music, false);
	struct Proposal
	{
		SpeakerArrangement in, out;
		int32 numIns;
	};
	for (const Proposal& p : {Proposal {SpeakerArr::k71Cine, SpeakerArr::kStereo, 1},
	                          Proposal {SpeakerArr::kMono, SpeakerArr::kStereo, 1},
	                          Proposal {SpeakerArr::k51, SpeakerArr::k51, 1},
	                          Proposal {SpeakerArr::k51, SpeakerArr::kStereo, 2}})
	{
		SpeakerArrangement ins[2] = {p.in, p.in}, out = p.out;
		EXPECT_EQ (m.host.proc ()->setBusArrangements (ins, p.numIns, &out, 1), kResultFalse);
		SpeakerArrangement bus = 0;
		m.host.proc ()->getBusArrangement (kInput, 0, bus);
		EXPECT_EQ (bus, SpeakerArr::k40Music);
	}
}

TEST (MonitorSound, ControlsMovedByTheHostReachTheEars)
{
	const int32 length = 48000;
	const int32 settled = length / 2; // well past every glide
	ParameterContainer params;
	ASSERT_TRUE (createMonitorParameters (params));
	auto normalized = [&] (ParamID id, double plain) {
		return params.getParameter (id)->toNormalized (plain);
	};

	// Output Gain: -6 dB is a quarter of the energy.
	const Audio centre = noiseOn (6, {2}, length);
	const Audio unity = Monitor ().render (centre);
	const Audio lower = Monitor ().render (centre, {{kMonOutputGain, 0, normalized (kMonOutputGain, -6.)}});
	EXPECT_NEAR (db (energy (lower[0], settled) / energy (unity[0], settled)), -6., 0.05);

	// LFE off silences the LFE channel (index 3 of 5.1), and only that.
	const Audio lfe = noiseOn (6, {3}, length);
	const double lfeOn = energy (Monitor ().render (lfe)[0], settled);
	EXPECT_GT (lfeOn, 1.);
	const Audio lfeOff = Monitor ().render (lfe, {{kMonLfeOn, 0, 0.}});
	EXPECT_LT (energy (lfeOff[0], settled) + energy (lfeOff[1], settled), lfeOn * 1e-6);
	EXPECT_GT (energy (Monitor ().render (centre, {{kMonLfeOn, 0, 0.}})[0], settled), 1.);

	// The left loudspeaker alone is louder at the left ear; with the head
	// turned 30 degrees to the left it stands straight ahead.
	const Audio left = noiseOn (6, {0}, length);
	const Audio ahead = Monitor ().render (left);
	EXPECT_GT (db (energy (ahead[0], settled) / energy (ahead[1], settled)), 3.);
	const Audio turned = Monitor ().render (left, {{kMonHeadRotation, 0, normalized (kMonHeadRotation, 30.)}});
	EXPECT_NEAR (db (energy (turned[0], settled) / energy (turned[1], settled)), 0., 1.5);
}

TEST (MonitorSound, BypassPassesTheInputsLeftAndRightDelayedByTheLatency)
{
	Monitor m (SpeakerArr::k51);
	const int32 latency = static_cast<int32> (m.host.proc ()->getLatencySamples ());
	const int32 length = 16384;
	const Audio in = noiseOn (6, {0, 1, 2, 3, 4, 5}, length);
	const Audio out = m.render (in, {{kMonBypass, 0, 1.}});
	// Past the crossfade the ears hear L and R as they came in, one latency late.
	const int32 from = latency + 2 * kBlock;
	for (int32 ear = 0; ear < 2; ++ear)
		for (int32 i = from; i < length; ++i)
			ASSERT_EQ (out[ear][i], in[ear][i - latency]) << "ear " << ear << " sample " << i;
}

TEST (MonitorRealtime, ProcessAllocatesNothingAlsoWhileANewSetIsHandedOver)
{
#ifdef ORVO_COUNT_ALLOCATIONS
	Monitor m (SpeakerArr::k51);
	const Audio in = noiseOn (6, {0, 1, 2, 3, 4, 5}, kBlock);
	Audio out (2, std::vector<float> (kBlock));
	m.host.processBlock (in, out, 0, kBlock);
	for (int round = 0; round < 4; ++round)
	{
		// The control thread prepares the next set (it may allocate) ...
		ASSERT_EQ (m.choose (round % 2 ? "" : "/no/such/folder/set.sofa"), kResultOk);
		// ... and the host's blocks take it, with every control moving.
		ParameterChanges changes (4);
		int32 index = 0;
		changes.addParameterData (kMonHeadRotation, index)->addPoint (0, 0.1 * round, index);
		changes.addParameterData (kMonOutputGain, index)->addPoint (0, 0.3, index);
		changes.addParameterData (kMonLfeOn, index)->addPoint (0, round % 2, index);
		changes.addParameterData (kMonBypass, index)->addPoint (0, round % 2, index);
		float* inPtrs[6];
		for (int c = 0; c < 6; ++c)
			inPtrs[c] = const_cast<float*> (in[static_cast<size_t> (c)].data ());
		float* outPtrs[2] = {out[0].data (), out[1].data ()};
		orvotest::ProcessBlock block (inPtrs, 6, outPtrs, 2, kBlock, &changes);
		gAllocations = 0;
		gCounting = true;
		for (int k = 0; k < 8; ++k)
			block.run (*m.host.proc ());
		gCounting = false;
		EXPECT_EQ (gAllocations, 0) << "round " << round;
	}
#else
	GTEST_SKIP () << "allocation hooks are off under sanitizers";
#endif
}

TEST (MonitorState, AMissingSofaFileFallsBackWithANoticeAndKeepsThePathAndTheSettings)
{
	// A processor joined to its controller, as a host joins them.
	Monitor m (SpeakerArr::k50);
	IPtr<OrvoMonitorController> controller = owned (new OrvoMonitorController ());
	ASSERT_EQ (controller->initialize (hostContext ()), kResultOk);
	ASSERT_EQ (m.processor->connect (controller), kResultOk);
	ASSERT_EQ (controller->connect (m.processor), kResultOk);
	CountingView view;
	controller->addView (&view);

	// The editor sees the input's loudspeakers.
	float az[8] {};
	int32 lfe = 0;
	ASSERT_EQ (controller->getSpeakers (az, 8, &lfe), 5);
	EXPECT_EQ (lfe, -1);
	EXPECT_EQ (std::vector<float> (az, az + 5), (std::vector<float> {30.f, -30.f, 0.f, 110.f, -110.f}));

	// The user turns the head, lowers the gain, switches the LFE off, and
	// picks a file that is not there.
	const Audio in = noiseOn (5, {0, 1, 2, 3, 4}, 4 * kBlock);
	m.render (in, {{kMonHeadRotation, 0, 0.25}, {kMonOutputGain, 0, 0.5}, {kMonLfeOn, 0, 0.}});
	const int before = view.statusChanges;
	const char* path = "/no/such/folder/subject_042.sofa";
	controller->chooseHrtf (path);
	EXPECT_GT (view.statusChanges, before);
	char name[256] {}, notice[1024] {};
	controller->getHrtfName (name, sizeof (name));
	controller->getHrtfNotice (notice, sizeof (notice));
	EXPECT_STREQ (name, sfm_hrir_builtin ()->name);
	EXPECT_EQ (std::string (notice).rfind ("Could not read subject_042.sofa: ", 0), 0u) << notice;
	EXPECT_NE (std::string (notice).find (std::string ("Using the built-in ") + sfm_hrir_builtin ()->name + " set."),
	           std::string::npos) << notice;
	EXPECT_EQ (controller->getHrtfPath (), path);
	// The built-in set plays meanwhile.
	EXPECT_GT (energy (m.render (in)[0], 0), 1.);

	// The project saved here keeps the file and every setting ...
	const std::vector<char> saved = m.host.saveState ();
	MemoryStream stream;
	int32 written = 0;
	stream.write (const_cast<char*> (saved.data ()), static_cast<int32> (saved.size ()), &written);
	stream.seek (0, IBStream::kIBSeekSet, nullptr);
	OrvoMonitorState state;
	ASSERT_EQ (readMonitorChunk (&stream, state), kResultOk);
	EXPECT_STREQ (state.path, path);
	EXPECT_DOUBLE_EQ (state.headRotationDeg, -90.);
	EXPECT_DOUBLE_EQ (state.outputGainDb, -6.);
	EXPECT_FALSE (state.lfeOn);

	// ... and so does the same project opened again, before and after set-up.
	Monitor reopened (SpeakerArr::k50, false);
	EXPECT_EQ (reopened.host.loadState (saved), kResultOk);
	EXPECT_EQ (reopened.host.saveState (), saved);
	EXPECT_EQ (reopened.host.setup (kRate, kBlock), kResultOk);
	EXPECT_EQ (reopened.host.saveState (), saved);

	// Its controller shows the same.
	IPtr<OrvoMonitorController> other = owned (new OrvoMonitorController ());
	ASSERT_EQ (other->initialize (hostContext ()), kResultOk);
	stream.seek (0, IBStream::kIBSeekSet, nullptr);
	ASSERT_EQ (other->setComponentState (&stream), kResultOk);
	EXPECT_DOUBLE_EQ (other->getParameter (kMonHeadRotation), -90.);
	EXPECT_DOUBLE_EQ (other->getParameter (kMonOutputGain), -6.);
	EXPECT_EQ (other->getParameter (kMonLfeOn), 0.);
	EXPECT_EQ (other->getHrtfPath (), path);

	controller->removeView (&view);
	m.processor->disconnect (controller);
	controller->disconnect (m.processor);
	controller->terminate ();
	other->terminate ();
}

TEST (MonitorState, DamagedChunksAreRefusedWholeAndLaterVersionsRead)
{
	Monitor m (SpeakerArr::k51);
	m.render (noiseOn (6, {0}, kBlock), {{kMonHeadRotation, 0, 0.75}, {kMonLfeOn, 0, 0.}});
	ASSERT_EQ (m.choose ("/home/user/HRTF/ärger.sofa"), kResultOk);
	const std::vector<char> good = m.host.saveState ();
	ASSERT_GT (good.size (), 28u);

	// Random bytes, every truncation and single damaged bytes never crash;
	// whatever is refused leaves the state as it was.
	std::mt19937 random (7);
	std::uniform_int_distribution<int> byte (0, 255);
	std::vector<std::vector<char>> damaged;
	for (size_t n = 0; n < good.size (); ++n)
		damaged.emplace_back (good.begin (), good.begin () + static_cast<long> (n));
	for (int k = 0; k < 400; ++k)
	{
		std::vector<char> v = good;
		v[static_cast<size_t> (random () % v.size ())] = static_cast<char> (byte (random));
		damaged.push_back (v);
		std::vector<char> noise (random () % 64);
		for (char& c : noise)
			c = static_cast<char> (byte (random));
		damaged.push_back (noise);
	}
	for (const auto& chunk : damaged)
	{
		const std::vector<char> kept = m.host.saveState ();
		if (m.host.loadState (chunk) != kResultOk)
			ASSERT_EQ (m.host.saveState (), kept);
		else
			m.host.loadState (good);
	}
	EXPECT_EQ (m.host.saveState (), good);

	// A later version's chunk: a larger body and version; what this version
	// knows is read, the rest skipped.
	std::vector<char> later = good;
	later[4] = 2;
	const int32 grown = static_cast<int32> (good.size ()) - 12 + 16;
	std::memcpy (&later[8], &grown, 4); // the hosts here are little-endian, as the chunk
	later.insert (later.end (), 16, '\x5a');
	Monitor fresh (SpeakerArr::k51);
	ASSERT_EQ (fresh.host.loadState (later), kResultOk);
	EXPECT_EQ (fresh.host.saveState (), good);
}

TEST (MonitorState, TheControllerKeepsTheHostsBypassAndTheEditorsZoomInItsOwnChunk)
{
	IPtr<OrvoMonitorController> first = owned (new OrvoMonitorController ());
	ASSERT_EQ (first->initialize (hostContext ()), kResultOk);
	first->setParamNormalized (kMonBypass, 1.);
	first->setEditorZoom (9.); // beyond what the editor offers: its largest
	EXPECT_EQ (first->getEditorZoom (), 4.);
	MemoryStream stream;
	ASSERT_EQ (first->getState (&stream), kResultOk);

	IPtr<OrvoMonitorController> second = owned (new OrvoMonitorController ());
	ASSERT_EQ (second->initialize (hostContext ()), kResultOk);
	// The processor's chunk is not the controller's: refused, nothing moves.
	Monitor m (SpeakerArr::k51, false);
	const std::vector<char> processorChunk = m.host.saveState ();
	MemoryStream wrong;
	int32 written = 0;
	wrong.write (const_cast<char*> (processorChunk.data ()), static_cast<int32> (processorChunk.size ()), &written);
	wrong.seek (0, IBStream::kIBSeekSet, nullptr);
	EXPECT_EQ (second->setState (&wrong), kResultFalse);
	EXPECT_EQ (second->getParameter (kMonBypass), 0.);
	stream.seek (0, IBStream::kIBSeekSet, nullptr);
	ASSERT_EQ (second->setState (&stream), kResultOk);
	EXPECT_EQ (second->getParameter (kMonBypass), 1.);
	EXPECT_EQ (second->getEditorZoom (), 4.);
	first->terminate ();
	second->terminate ();
}
