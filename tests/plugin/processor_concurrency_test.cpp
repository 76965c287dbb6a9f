// Loading states while the audio runs: a host's control thread calls setState
// (and getState) at any moment during playback. Built a second time under
// ThreadSanitizer by scripts/test.sh, where any unsynchronised access between
// the two threads fails the run.

#include "testhost.h"

#include "params/orvoparams.h"
#include "processor/orvomonitorprocessor.h"
#include "processor/orvoprocessor.h"
#include "params/orvostatechunk.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>

using namespace orvotest;

namespace {

constexpr double kSampleRate = 48000.;
constexpr int32 kMaxBlock = 1024;

std::unique_ptr<PluginInstance> directInstance ()
{
	auto instance = std::make_unique<PluginInstance> (
	    IPtr<IComponent> (owned (static_cast<IComponent*> (new OrvoProcessor ()))));
	EXPECT_TRUE (instance->valid ());
	EXPECT_EQ (instance->setup (kSampleRate, kMaxBlock), kResultOk);
	return instance;
}

// A chunk with every setting at a random point of its travel; now and then
// a plain value beyond the range (clamped when read) or a gain at silence.
// Random settings, each at its bottom one time in ten; an 'audible' state
// keeps every mute off and every gain open.
std::vector<char> randomChunk (std::mt19937& random, bool audible = false)
{
	ParameterContainer set;
	EXPECT_TRUE (createParameters (set));
	std::uniform_real_distribution<double> unit (0., 1.);
	for (ParamID id = 1; id <= kNumUserParams; ++id)
	{
		const double value = unit (random) < 0.1 ? 0. : unit (random);
		if (!(audible && id >= kParamMuteLR))
			set.getParameter (id)->setNormalized (value);
	}
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	EXPECT_EQ (writeStateChunk (stream, set), kResultOk);
	std::vector<char> bytes (stream->getData (), stream->getData () + stream->getSize ());
	if (unit (random) < 0.2)
	{
		// Rear Delay far beyond the engine's 50 ms (3 s), as a big-endian double.
		const std::string key = "rearDelay";
		const auto at = std::search (bytes.begin (), bytes.end (), key.begin (), key.end ());
		EXPECT_NE (at, bytes.end ());
		const double far = 3.0;
		uint64_t u = 0;
		std::memcpy (&u, &far, 8);
		for (int b = 0; b < 8; ++b)
			at[static_cast<long> (key.size ()) + 1 + b] = static_cast<char> (u >> (56 - 8 * b));
	}
	return bytes;
}

} // namespace

TEST (ProcessorConcurrency, StatesLoadedDuringPlaybackReachTheAudioThreadWhole)
{
	auto playing = directInstance ();
	ASSERT_EQ (playing->activate (true), kResultOk);

	constexpr int kLoads = 200;
	std::atomic<bool> automationOff {false};
	std::atomic<bool> automationStopped {false};
	std::atomic<bool> loadsDone {false};
	std::atomic<int> blocks {0};

	// The audio thread: random block sizes, random host automation until the
	// loader asks it to stop, a few blocks after the last load.
	std::thread audio ([&] {
		std::mt19937 random (2);
		std::uniform_int_distribution<int32> size (0, kMaxBlock);
		std::uniform_int_distribution<int32> pick (1, kNumUserParams);
		std::uniform_real_distribution<double> unit (0., 1.);
		const Audio in = capsuleSignal (kMaxBlock, 3);
		Audio out (6, std::vector<float> (kMaxBlock));
		int afterLast = 0;
		while (afterLast < 4)
		{
			std::vector<ParamPoint> changes;
			if (!automationOff.load ())
				for (int k = 0; k < 3; ++k)
					changes.push_back ({static_cast<ParamID> (pick (random)), 0, unit (random)});
			else
				automationStopped.store (true);
			playing->processBlock (in, out, 0, size (random), changes);
			blocks.fetch_add (1);
			if (loadsDone.load ())
				++afterLast;
		}
	});

	// The control thread: random states, one after another, with saves in
	// between; halfway the automation stops, so the last state stands.
	std::mt19937 random (1);
	std::vector<char> last;
	for (int i = 0; i < kLoads; ++i)
	{
		if (i == kLoads / 2)
		{
			automationOff.store (true);
			while (!automationStopped.load ())
				std::this_thread::yield ();
		}
		last = randomChunk (random, i == kLoads - 1);
		EXPECT_EQ (playing->loadState (last), kResultOk);
		// What was loaded is what a save returns, before any block ran.
		if (i % 4 == 0)
		{
			const auto saved = playing->saveState ();
			EXPECT_EQ (saved.size (), 533u);
			if (i > kLoads / 2)
			{
				auto reference = directInstance ();
				reference->loadState (last);
				EXPECT_EQ (saved, reference->saveState ()) << "load " << i;
			}
		}
		std::this_thread::yield ();
	}
	loadsDone.store (true);
	audio.join ();
	EXPECT_GT (blocks.load (), kLoads / 4);

	// After the last load the plug-in sounds exactly as a fresh instance
	// given the same state: restart both from silence and compare. Both play
	// some silence first, so that each surround delay has finished gliding
	// to the loaded one (a glide that a restart does not cut short).
	auto fresh = directInstance ();
	ASSERT_EQ (fresh->loadState (last), kResultOk);
	EXPECT_EQ (playing->saveState (), fresh->saveState ());
	ASSERT_EQ (fresh->activate (true), kResultOk);
	for (auto* instance : {playing.get (), fresh.get ()})
	{
		instance->render (Audio (3, std::vector<float> (16384)), {1024});
		instance->activate (false);
		ASSERT_EQ (instance->activate (true), kResultOk);
	}
	const Audio in = capsuleSignal (24000, 5);
	const Audio a = playing->render (in, {480, 1024, 77});
	const Audio b = fresh->render (in, {480, 1024, 77});
	EXPECT_EQ (maxDifference (a, b, 0, 24000), 0.f);
	float peak = 0.f;
	for (const auto& ch : b)
		for (float v : ch)
			peak = std::max (peak, std::fabs (v));
	EXPECT_GT (peak, 0.f);
}

TEST (ProcessorConcurrency, MonitorTakesResponseSetsChosenDuringPlayback)
{
	// The monitor plays 5.1 while the user picks files (one missing, so the
	// built-in set is prepared anew each time) and the host loads and saves.
	auto* monitor = new OrvoMonitorProcessor ();
	PluginInstance playing (IPtr<IComponent> (owned (static_cast<IComponent*> (monitor))));
	SpeakerArrangement in51 = SpeakerArr::k51, stereo = SpeakerArr::kStereo;
	ASSERT_EQ (playing.proc ()->setBusArrangements (&in51, 1, &stereo, 1), kResultOk);
	ASSERT_EQ (playing.setup (kSampleRate, kMaxBlock), kResultOk);
	ASSERT_EQ (playing.activate (true), kResultOk);
	const std::vector<char> saved = playing.saveState ();

	std::atomic<bool> done {false};
	std::atomic<int> blocks {0};
	std::thread audio ([&] {
		std::mt19937 random (4);
		std::uniform_int_distribution<int32> size (0, kMaxBlock);
		std::uniform_real_distribution<double> unit (0., 1.);
		Audio in = capsuleSignal (kMaxBlock, 6);
		in.push_back (in[0]);
		in.push_back (in[1]);
		in.push_back (in[2]);
		Audio out (2, std::vector<float> (kMaxBlock));
		while (!done.load ())
		{
			playing.processBlock (in, out, 0, size (random), {{kMonHeadRotation, 0, unit (random)}});
			blocks.fetch_add (1);
		}
	});

	std::string last;
	for (int i = 0; i < 200; ++i)
	{
		last = i % 2 ? "" : "/no/such/folder/set" + std::to_string (i) + ".sofa";
		if (i % 3 == 0)
		{
			// A project with that file, loaded as the host loads it.
			std::vector<char> chunk = saved;
			const auto body = static_cast<int32> (saved.size () - 12 + last.size ());
			const auto pathBytes = static_cast<int32> (last.size ());
			std::memcpy (&chunk[8], &body, 4);
			std::memcpy (&chunk[chunk.size () - 4], &pathBytes, 4);
			chunk.insert (chunk.end (), last.begin (), last.end ());
			EXPECT_EQ (playing.loadState (chunk), kResultOk);
		}
		else
		{
			IPtr<HostMessage> message = owned (new HostMessage ());
			message->setMessageID (kMonMsgHrtfPath);
			message->getAttributes ()->setBinary ("path", last.data (), static_cast<uint32> (last.size ()));
			EXPECT_EQ (monitor->notify (message), kResultOk);
		}
		const std::vector<char> now = playing.saveState ();
		EXPECT_EQ (std::string (now.end () - static_cast<long> (last.size ()), now.end ()), last);
		// Every other time the audio thread takes the set before the next
		// one comes; otherwise the next replaces it untaken.
		if (i % 2)
			for (const int seen = blocks.load (); blocks.load () < seen + 2;)
				std::this_thread::yield ();
	}
	done.store (true);
	audio.join ();

	// Still rendering, and nothing but numbers.
	Audio in (6, std::vector<float> (kMaxBlock, 0.1f));
	Audio out (2, std::vector<float> (kMaxBlock));
	for (int k = 0; k < 8; ++k)
		playing.processBlock (in, out, 0, kMaxBlock);
	float peak = 0.f;
	for (const auto& ear : out)
		for (float v : ear)
		{
			ASSERT_TRUE (std::isfinite (v));
			peak = std::max (peak, std::fabs (v));
		}
	EXPECT_GT (peak, 0.f);
}
