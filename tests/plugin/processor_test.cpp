// The processor seen through its VST 3 interfaces from the test host:
// set-up, latency and tail, arrangements, parameter traffic, block handling,
// meters, silence flags and state.

#include "testhost.h"
#include "common/process_block.h"
#include "common/saved_state.h"

#include "params/orvoparams.h"
#include "params/orvostatechunk.h"

#include "public.sdk/source/common/memorystream.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace orvotest;

namespace {

constexpr double kRate = 48000.0;
constexpr int32 kHop = 512; // engine hop at 44.1 and 48 kHz

// A processor set up and active at 48 kHz for blocks of at most 'maxBlock'.
std::unique_ptr<PluginInstance> running (int32 maxBlock)
{
	auto p = std::make_unique<PluginInstance> ();
	if (!p->valid () || p->setup (kRate, maxBlock) != kResultOk || p->activate (true) != kResultOk)
		return nullptr;
	return p;
}

// What a fresh instance set up for 'maxBlock' renders of 'in' in the given
// block sizes, with the latency it reports (empty when it cannot be set up).
Audio renderFresh (const Audio& in, int32 maxBlock, const std::vector<int32>& blocks,
                   int32* latency = nullptr)
{
	auto p = running (maxBlock);
	EXPECT_TRUE (p);
	if (!p)
		return {};
	if (latency)
		*latency = static_cast<int32> (p->proc ()->getLatencySamples ());
	return p->render (in, blocks);
}

// Plain value of a parameter as the processor saved it.
double savedPlain (PluginInstance& p, ParamID id)
{
	return plainInChunk (p.saveState (), id);
}

double energy (const Audio& a, int32 from, int32 to)
{
	double e = 0;
	for (const auto& ch : a)
		for (int32 i = from; i < to && i < static_cast<int32> (ch.size ()); ++i)
			e += double (ch[i]) * ch[i];
	return e;
}

bool allFinite (const Audio& a)
{
	for (const auto& ch : a)
		for (float x : ch)
			if (!std::isfinite (x))
				return false;
	return true;
}

Audio silence (int32 channels, int32 length)
{
	return Audio (static_cast<size_t> (channels), std::vector<float> (static_cast<size_t> (length), 0.f));
}

} // namespace

//------------------------------------------------------------------------
// Set-up, latency and tail
//------------------------------------------------------------------------

TEST (ProcessorSetup, LatencyFollowsTheAnnouncedBlockSize)
{
	PluginInstance p;
	ASSERT_TRUE (p.valid ());
	EXPECT_EQ (p.proc ()->getLatencySamples (), 0u);
	// One hop of ring pre-fill plus the engine's hop, whatever the block size.
	const struct { int32 block; uint32 latency; } cases[] = {
	    {256, 1024}, {512, 1024}, {1000, 1024}, {1024, 1024}, {300, 1024}};
	for (const auto& c : cases)
	{
		ASSERT_EQ (p.setup (kRate, c.block), kResultOk) << c.block;
		EXPECT_EQ (p.proc ()->getLatencySamples (), c.latency) << "block " << c.block;
	}
	EXPECT_EQ (p.proc ()->getTailSamples (), 7008u); // 4096 + 2400 + 512
	ASSERT_EQ (p.setup (44100.0, 512), kResultOk);
	EXPECT_EQ (p.proc ()->getLatencySamples (), 1024u);
}

TEST (ProcessorSetup, ReportedLatencyIsTheTrueDelay)
{
	// A click from straight ahead (front cardioid only) must come out of the
	// centre channel exactly the reported latency later, or hosts misalign it.
	const int32 length = 24 * kHop;
	const int32 click = 5000;
	Audio in = silence (3, length);
	in[0][click - 1] = 0.5f;
	in[0][click] = 1.f;
	in[0][click + 1] = 0.5f;
	// Hosts also split blocks below the announced maximum (loop points,
	// automation points): the delay must not move with them.
	for (int32 block : {256, 512, 1000, 1024})
		for (const std::vector<int32>& plan :
		     {std::vector<int32> {block}, {block, block - 24, 24}, {block, 1, block - 1, 7}})
		{
			int32 latency = -1;
			const Audio out = renderFresh (in, block, plan, &latency);
			int32 peakAt = 0;
			for (int32 i = 0; i < length; ++i)
				if (std::fabs (out[2][i]) > std::fabs (out[2][peakAt]))
					peakAt = i;
			EXPECT_EQ (peakAt - click, latency) << "block " << block << ", plan of " << plan.size ();
		}
}

TEST (ProcessorSetup, RefusesUnsupportedRatesAndRecovers)
{
	PluginInstance p;
	ASSERT_TRUE (p.valid ());
	EXPECT_EQ (p.comp ()->setActive (false), kResultOk); // nothing to reset yet
	// Below 8 kHz and above 384 kHz (a validator tries 1234567.8).
	for (double rate : {4000.0, 7999.0, 384001.0, 1234567.8})
		EXPECT_EQ (p.setup (rate, 512), kResultFalse) << rate;
	EXPECT_EQ (p.proc ()->getLatencySamples (), 0u);

	// 64-bit processing is refused; 32-bit is the only sample size.
	EXPECT_EQ (p.proc ()->canProcessSampleSize (kSample32), kResultTrue);
	EXPECT_EQ (p.proc ()->canProcessSampleSize (kSample64), kResultFalse);

	// Every rate in between sets up and processes, the odd ones too (video
	// pull-down and pull-up, 50 kHz), without a word on the console.
	for (double rate : {8000.0, 12000.0, 24000.0, 47952.0, 48048.0, 50000.0, 96096.0, 384000.0, kRate})
	{
		testing::internal::CaptureStdout ();
		testing::internal::CaptureStderr ();
		const tresult setUp = p.setup (rate, 512);
		std::string printed = testing::internal::GetCapturedStderr ();
		printed += testing::internal::GetCapturedStdout ();
		ASSERT_EQ (setUp, kResultOk) << rate;
		EXPECT_EQ (printed, "") << rate;
		ASSERT_EQ (p.activate (true), kResultOk);
		const auto latency = static_cast<int32> (p.proc ()->getLatencySamples ());
		const Audio in = capsuleSignal (latency + 4096);
		const Audio out = p.render (in, {512});
		EXPECT_GT (energy (out, latency, latency + 4096), 0.0) << rate;
		EXPECT_TRUE (allFinite (out)) << rate;
		ASSERT_EQ (p.activate (false), kResultOk);
	}
}

TEST (ProcessorSetup, AcceptsOnlyOneFivePointOneBusEachWay)
{
	PluginInstance p;
	ASSERT_TRUE (p.valid ());
	SpeakerArrangement k51 = SpeakerArr::k51, stereo = SpeakerArr::kStereo,
	                   three = SpeakerArr::k30Cine;
	SpeakerArrangement two51[] = {SpeakerArr::k51, SpeakerArr::k51};
	EXPECT_EQ (p.proc ()->setBusArrangements (&k51, 1, &stereo, 1), kResultFalse);
	EXPECT_EQ (p.proc ()->setBusArrangements (&k51, 1, two51, 2), kResultFalse);
	EXPECT_EQ (p.proc ()->setBusArrangements (&three, 1, &k51, 1), kResultFalse);
	EXPECT_EQ (p.proc ()->setBusArrangements (&k51, 1, &k51, 1), kResultOk);

	SpeakerArrangement arr = 0;
	EXPECT_EQ (p.proc ()->getBusArrangement (kInput, 0, arr), kResultOk);
	EXPECT_EQ (arr, SpeakerArr::k51);
	EXPECT_EQ (p.proc ()->getBusArrangement (kOutput, 0, arr), kResultOk);
	EXPECT_EQ (arr, SpeakerArr::k51);
	EXPECT_EQ (p.comp ()->getBusCount (kAudio, kInput), 1);
	EXPECT_EQ (p.comp ()->getBusCount (kAudio, kOutput), 1);
	EXPECT_EQ (p.comp ()->getBusCount (kEvent, kInput), 0);
}

//------------------------------------------------------------------------
// Parameter changes
//------------------------------------------------------------------------

TEST (ProcessorParameters, LastPointOfAQueueWinsAlsoInEmptyBlocks)
{
	auto p = running (512);
	ASSERT_TRUE (p);
	Audio in = silence (3, 512), out = silence (6, 512);

	// Width: plain 30..90, so normalized 0.9 is 84 degrees.
	p->processBlock (in, out, 0, 512,
	                 {{kParamWidth, 0, 0.1}, {kParamWidth, 100, 0.5}, {kParamWidth, 300, 0.9}});
	EXPECT_NEAR (savedPlain (*p, kParamWidth), 84.0, 1e-9);

	// A block of no samples still applies its changes.
	p->processBlock (in, out, 0, 0, {{kParamFocus, 0, 0.5}});
	EXPECT_NEAR (savedPlain (*p, kParamFocus), 0.6, 1e-9);

	// Out-of-range and non-numeric values never reach the parameter unclamped.
	p->processBlock (in, out, 0, 512, {{kParamFocus, 0, 7.0}});
	EXPECT_NEAR (savedPlain (*p, kParamFocus), 1.2, 1e-9);
	p->processBlock (in, out, 0, 512, {{kParamFocus, 0, std::nan ("")}});
	EXPECT_NEAR (savedPlain (*p, kParamFocus), 1.2, 1e-9);
	EXPECT_TRUE (allFinite (out));
}

TEST (ProcessorParameters, MutesSilenceTheirChannelsButNotTheOthers)
{
	auto p = running (512);
	ASSERT_TRUE (p);
	const int32 length = 16 * kHop;
	const Audio in = capsuleSignal (length);
	Audio out = silence (6, length);
	// Mute L/R and C from the first block on.
	p->processBlock (in, out, 0, 512, {{kParamMuteLR, 0, 1.0}, {kParamMuteC, 0, 1.0}});
	for (int32 pos = 512; pos < length; pos += 512)
		p->processBlock (in, out, pos, 512);
	const int32 settled = 4 * kHop;
	EXPECT_EQ (energy ({out[0], out[1], out[2], out[3]}, settled, length), 0.0);
	EXPECT_GT (energy ({out[4], out[5]}, settled, length), 0.0);
}

//------------------------------------------------------------------------
// Block handling
//------------------------------------------------------------------------

TEST (ProcessorBlocks, OutputDoesNotDependOnTheHostBlockSize)
{
	const int32 length = 40 * kHop;
	const Audio in = capsuleSignal (length, 7);
	int32 refLatency = 0;
	const Audio expected = renderFresh (in, 512, {512}, &refLatency);
	EXPECT_GT (energy (expected, refLatency, length), 0.0);

	for (int32 block : {64, 256, 441, 1024})
	{
		auto p = running (block);
		ASSERT_TRUE (p);
		const auto latency = static_cast<int32> (p->proc ()->getLatencySamples ());
		const Audio out = p->render (in, {block});
		// out[t + latency] == expected[t + refLatency]
		EXPECT_LE (maxDifference (expected, out, refLatency, length - 1024, latency - refLatency), 1e-6f)
		    << "block " << block;
		// Before the reported latency has passed there is only silence.
		EXPECT_EQ (energy (out, 0, latency - kHop), 0.0) << "block " << block;
	}
}

TEST (ProcessorBlocks, OversizedBlocksLoseNothing)
{
	const int32 length = 40 * kHop;
	const Audio in = capsuleSignal (length, 3);

	// Announced 512, delivered 1024 and more: whole hops fit, nothing moves.
	const Audio expected512 = renderFresh (in, 512, {512});
	const Audio big = renderFresh (in, 512, {1024, 2048, 512});
	EXPECT_LE (maxDifference (expected512, big, 0, length), 1e-6f);

	// Announced 256, delivered 1000 and 3000: the output ring's pre-fill
	// cannot cover such blocks, so the stream may slip by less than a hop,
	// but every input sample still comes out, in order.
	const Audio expected256 = renderFresh (in, 256, {256});
	const Audio out = renderFresh (in, 256, {1000, 256, 3000, 256});
	EXPECT_TRUE (allFinite (out));
	int32 slip = -1;
	for (int32 g = 0; g < kHop && slip < 0; ++g)
		if (maxDifference (out, expected256, length / 2, length, -g) <= 1e-6f)
			slip = g;
	EXPECT_GE (slip, 0) << "the output is the reference, delayed by less than a hop";
}

TEST (ProcessorBlocks, AShortBlockLeavesNoGapAndNoShift)
{
	const int32 length = 40 * kHop;
	const Audio in = capsuleSignal (length, 5);
	const Audio expected = renderFresh (in, 512, {512});

	// A loop point: one block of 100 among full blocks. The output stays the
	// reference throughout: no silence where the short block ran, no delay
	// that hosts do not know of afterwards.
	auto p = running (512);
	ASSERT_TRUE (p);
	Audio out = silence (6, length);
	for (int32 c = 0; c < 6; ++c)
		std::fill (out[c].begin (), out[c].end (), 9.f); // stale content must never show
	std::vector<int32> blocks = {512, 512, 512, 512, 100};
	int32 pos = 0;
	size_t k = 0;
	while (pos < length)
	{
		const int32 n = std::min (k < blocks.size () ? blocks[k] : 512, length - pos);
		p->processBlock (in, out, pos, n);
		pos += n;
		++k;
	}
	EXPECT_LE (maxDifference (expected, out, 0, length), 1e-6f);
	EXPECT_GT (energy (out, 4 * 512, 4 * 512 + 100), 0.0);
}

TEST (ProcessorBlocks, FewerOrMissingChannelsAreSilenceAndNeverOverrun)
{
	const int32 length = 16 * kHop;
	Audio in = capsuleSignal (length, 11);
	in[2].assign (static_cast<size_t> (length), 0.f); // rear capsule missing
	const Audio expected = renderFresh (in, 512, {512});

	// Ardour-style two-channel buses.
	auto p = running (512);
	ASSERT_TRUE (p);
	const Audio in2 = {in[0], in[1]};
	Audio out2 = silence (2, length);
	for (int32 pos = 0; pos < length; pos += 512)
		p->processBlock (in2, out2, pos, 512);
	EXPECT_LE (maxDifference (expected, out2, 0, length), 1e-6f);

	// Null channel pointers on both buses.
	auto q = running (512);
	ASSERT_TRUE (q);
	Audio out6 = silence (6, length);
	for (int32 pos = 0; pos < length; pos += 512)
	{
		float* inPtrs[6] = {in[0].data () + pos, in[1].data () + pos, nullptr, nullptr, nullptr, nullptr};
		float* outPtrs[6] = {out6[0].data () + pos, nullptr, out6[2].data () + pos, nullptr,
		                     out6[4].data () + pos, out6[5].data () + pos};
		EXPECT_EQ (ProcessBlock (inPtrs, 6, outPtrs, 6, 512).run (*q->proc ()), kResultOk);
	}
	EXPECT_LE (maxDifference ({expected[0], expected[2], expected[4], expected[5]},
	                          {out6[0], out6[2], out6[4], out6[5]}, 0, length),
	           1e-6f);
}

TEST (ProcessorBlocks, WithoutAnInputBusTheTailPlaysOutAndEnds)
{
	const int32 length = 16 * kHop;
	auto p = running (512);
	ASSERT_TRUE (p);
	const Audio in = capsuleSignal (8 * kHop, 41);
	Audio out = silence (6, 8 * kHop);
	for (int32 pos = 0; pos < 8 * kHop; pos += 512)
		p->processBlock (in, out, pos, 512);

	// The host deactivates the input bus: process calls carry outputs only.
	Audio tail (6, std::vector<float> (static_cast<size_t> (length), 9.f));
	for (int32 pos = 0; pos < length; pos += 512)
	{
		float* outPtrs[6];
		for (int32 c = 0; c < 6; ++c)
			outPtrs[c] = tail[c].data () + pos;
		EXPECT_EQ (ProcessBlock (nullptr, 0, outPtrs, 6, 512).run (*p->proc ()), kResultOk);
	}
	EXPECT_GT (energy (tail, 0, kHop), 0.0) << "the decoded tail continues";
	EXPECT_EQ (energy (tail, length - 4 * kHop, length), 0.0) << "and ends in silence";
	for (const auto& ch : tail)
		for (float x : ch)
			ASSERT_NE (x, 9.f) << "host buffer content must never pass through";
}

TEST (ProcessorBlocks, BadInputNeverProducesBadOutput)
{
	const int32 length = 24 * kHop;
	Audio in = capsuleSignal (length, 13);
	in[0][1000] = std::nanf ("");
	in[1][3000] = INFINITY;
	in[2][5000] = -INFINITY;
	in[0][7000] = 3.0e38f;
	const Audio out = renderFresh (in, 512, {512});
	EXPECT_TRUE (allFinite (out));
	EXPECT_GT (energy (out, length - 4 * kHop, length), 0.0);
}

TEST (ProcessorBlocks, RandomAutomationAndBlockSizesStayFiniteAndBounded)
{
	// A session's worth of abuse: every user parameter automated to random
	// values (sometimes several per block), block sizes from 0 to twice the
	// announced maximum. The decode must stay finite and within a sane level.
	const int32 length = 400 * kHop;
	const Audio in = capsuleSignal (length, 29);
	auto p = running (1024);
	ASSERT_TRUE (p);
	Audio out = silence (6, length);
	uint32 seed = 12345u;
	auto next = [&seed] () {
		seed = seed * 1664525u + 1013904223u;
		return seed >> 8;
	};
	int32 pos = 0;
	while (pos < length)
	{
		const int32 n = std::min<int32> (static_cast<int32> (next () % 2049), length - pos);
		std::vector<ParamPoint> points;
		const int32 changes = static_cast<int32> (next () % 4);
		for (int32 k = 0; k < changes; ++k)
			points.push_back ({static_cast<ParamID> (1 + next () % kNumUserParams), 0,
			                   (next () % 1001) / 1000.0});
		ASSERT_EQ (p->processBlock (in, out, pos, n, points), kResultOk);
		pos += n;
	}
	EXPECT_TRUE (allFinite (out));
	float peak = 0.f;
	for (const auto& ch : out)
		for (float x : ch)
			peak = std::max (peak, std::fabs (x));
	// The capsules peak near 0.5; +6 dB of diffuse gain and the beam gains
	// stay far below this.
	EXPECT_LT (peak, 16.f);
	EXPECT_GT (energy (out, length / 2, length), 0.0);
}

TEST (ProcessorBlocks, ReactivationStartsFromSilence)
{
	const int32 length = 16 * kHop;
	auto p = running (256);
	ASSERT_TRUE (p);
	p->render (capsuleSignal (length, 17), {256});
	ASSERT_EQ (p->activate (false), kResultOk);
	ASSERT_EQ (p->activate (true), kResultOk);
	// Silent input after a restart gives silent output: no decoded tail of
	// the previous run is replayed.
	const Audio out = p->render (silence (3, length), {256});
	EXPECT_EQ (energy (out, 0, length), 0.0);
}

TEST (ProcessorBlocks, AfterReactivationTheOutputIsThatOfAFreshInstance)
{
	// Deactivated mid-hop (blocks shorter than a hop, an odd number of them)
	// and with blocks that do not divide the hop: the restarted processor
	// must decode exactly as a new one does, with the same latency.
	const int32 length = 24 * kHop;
	const Audio in = capsuleSignal (length, 23);
	for (int32 block : {256, 441, 1000})
	{
		int32 latency = 0;
		const Audio expected = renderFresh (in, block, {block}, &latency);
		ASSERT_GT (energy (expected, latency, length), 0.0);

		auto p = running (block);
		ASSERT_TRUE (p);
		p->render (capsuleSignal (7 * block, 5), {block});
		ASSERT_EQ (p->activate (false), kResultOk);
		ASSERT_EQ (p->activate (true), kResultOk);
		const Audio out = p->render (in, {block});
		EXPECT_EQ (maxDifference (expected, out, 0, length), 0.f) << "block " << block;
	}
}

//------------------------------------------------------------------------
// Silence flags
//------------------------------------------------------------------------

TEST (ProcessorSilence, FlagsMarkOnlyTrulySilentChannels)
{
	auto p = running (512);
	ASSERT_TRUE (p);
	const int32 loud = 8 * kHop;
	const int32 length = loud + 40 * kHop;
	Audio in = capsuleSignal (length, 19);
	for (int32 c = 0; c < 3; ++c)
		std::fill (in[c].begin () + loud, in[c].end (), 0.f);
	Audio out = silence (6, length);
	bool tailSeenUnflagged = false;
	uint64 lastFlags = 0;
	for (int32 pos = 0; pos < length; pos += 512)
	{
		const bool inputSilent = pos >= loud;
		uint64 flags = 0;
		p->processBlock (in, out, pos, 512, {}, nullptr, &flags, inputSilent ? 0x3F : 0);
		for (int32 c = 0; c < 6; ++c)
		{
			bool silentBlock = true;
			for (int32 i = pos; i < pos + 512; ++i)
				silentBlock = silentBlock && out[c][i] == 0.f;
			EXPECT_EQ ((flags >> c) & 1, silentBlock ? 1u : 0u) << "channel " << c << " at " << pos;
			if (inputSilent && !silentBlock)
				tailSeenUnflagged = true;
		}
		EXPECT_TRUE (flags & (1u << 3)) << "LFE carries nothing";
		lastFlags = flags;
	}
	EXPECT_TRUE (tailSeenUnflagged) << "the decoded tail outlasts the input";
	EXPECT_EQ (lastFlags, 0x3Fu) << "and ends";
}

TEST (ProcessorSilence, InputFlaggedSilentIsTakenAsSilence)
{
	auto p = running (512);
	ASSERT_TRUE (p);
	const int32 length = 12 * kHop;
	const Audio garbage = capsuleSignal (length, 23);
	Audio out = silence (6, length);
	for (int32 pos = 0; pos < length; pos += 512)
		p->processBlock (garbage, out, pos, 512, {}, nullptr, nullptr, 0x3F);
	EXPECT_EQ (energy (out, 0, length), 0.0);
}

//------------------------------------------------------------------------
// Meters
//------------------------------------------------------------------------

TEST (ProcessorMeters, ArriveClampedOnlyOnChangeWithoutLfe)
{
	auto p = running (512);
	ASSERT_TRUE (p);
	const int32 length = 8 * kHop;
	const Audio loud = capsuleSignal (length, 29, 2.0f); // peaks above full scale
	Audio out = silence (6, length);
	SentValues sent;
	for (int32 pos = 0; pos < length; pos += 512)
		p->processBlock (loud, out, pos, 512, {}, &sent);
	for (const auto& [id, value] : sent.value)
	{
		EXPECT_GE (id, static_cast<ParamID> (kParamVuInFront));
		EXPECT_LE (id, static_cast<ParamID> (kParamVuOutRs));
		EXPECT_GE (value, 0.0);
		EXPECT_LE (value, 1.0);
	}
	EXPECT_EQ (sent.value[kParamVuInFront], 1.0);
	EXPECT_EQ (sent.value[kParamVuInEight], 1.0);
	for (ParamID id = kParamVuOutL; id <= kParamVuOutRs; ++id)
		EXPECT_TRUE (sent.value.count (id)) << id;

	// Once silence has settled, silent blocks send nothing at all.
	const Audio quiet = silence (3, 64 * kHop);
	Audio out2 = silence (6, 64 * kHop);
	for (int32 pos = 0; pos < 60 * kHop; pos += 512)
		p->processBlock (quiet, out2, pos, 512);
	SentValues none;
	p->processBlock (quiet, out2, 60 * kHop, 512, {}, &none);
	p->processBlock (quiet, out2, 61 * kHop, 512, {}, &none);
	EXPECT_TRUE (none.value.empty ());

	// A two-channel output bus reports only its two output meters.
	auto q = running (512);
	ASSERT_TRUE (q);
	Audio in3 = capsuleSignal (length, 31);
	Audio out2ch = silence (2, length);
	SentValues two;
	for (int32 pos = 0; pos < length; pos += 512)
		q->processBlock (in3, out2ch, pos, 512, {}, &two);
	EXPECT_TRUE (two.value.count (kParamVuOutL));
	EXPECT_TRUE (two.value.count (kParamVuOutR));
	EXPECT_FALSE (two.value.count (kParamVuOutC));
	EXPECT_FALSE (two.value.count (kParamVuOutLs));
	EXPECT_FALSE (two.value.count (kParamVuOutRs));
}

TEST (ProcessorMeters, SurroundMetersFollowTheSurroundChannels)
{
	auto p = running (512);
	ASSERT_TRUE (p);
	const int32 length = 12 * kHop;
	const Audio in = capsuleSignal (length, 37);
	Audio out = silence (6, length);
	SentValues sent;
	p->processBlock (in, out, 0, 512, {{kParamMuteLR, 0, 1.0}, {kParamMuteC, 0, 1.0}}, &sent);
	for (int32 pos = 512; pos < length; pos += 512)
		p->processBlock (in, out, pos, 512, {}, &sent);
	EXPECT_GT (sent.value[kParamVuOutLs], 0.0);
	EXPECT_GT (sent.value[kParamVuOutRs], 0.0);
	EXPECT_EQ (sent.value.count (kParamVuOutL) ? sent.value[kParamVuOutL] : 0.0, 0.0);
	EXPECT_EQ (sent.value.count (kParamVuOutC) ? sent.value[kParamVuOutC] : 0.0, 0.0);
}

//------------------------------------------------------------------------
// State
//------------------------------------------------------------------------

TEST (ProcessorState, SavedStateRestoresProcessorAndController)
{
	auto a = running (512);
	ASSERT_TRUE (a);
	Audio in = silence (3, 512), out = silence (6, 512);
	a->processBlock (in, out, 0, 512,
	                 {{kParamWidth, 0, 0.25}, {kParamOutFormat, 0, 1.0 / 3.0},
	                  {kParamGainC, 0, 0.5}, {kParamDiffuser, 0, 1.0}});
	const auto chunk = a->saveState ();
	ASSERT_EQ (chunk.size (), 533u);

	PluginInstance b;
	ASSERT_TRUE (b.valid ());
	EXPECT_EQ (b.loadState (chunk), kResultOk);
	EXPECT_EQ (b.saveState (), chunk);
	EXPECT_NEAR (savedPlain (b, kParamWidth), 45.0, 1e-9);

	// The controller takes the processor's chunk.
	auto module = loadModule ();
	ASSERT_TRUE (module);
	TUID cid {};
	ASSERT_EQ (b.comp ()->getControllerClassId (cid), kResultOk);
	auto controller = module->getFactory ().createInstance<IEditController> (VST3::UID::fromTUID (cid));
	ASSERT_TRUE (controller);
	ASSERT_EQ (controller->initialize (hostContext ()), kResultOk);
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	int32 written = 0;
	stream->write (const_cast<char*> (chunk.data ()), static_cast<int32> (chunk.size ()), &written);
	stream->seek (0, IBStream::kIBSeekSet, nullptr);
	EXPECT_EQ (controller->setComponentState (stream), kResultOk);
	EXPECT_NEAR (controller->getParamNormalized (kParamWidth), 0.25, 1e-9);
	EXPECT_NEAR (controller->getParamNormalized (kParamGainC), 0.5, 1e-9);
	EXPECT_NEAR (controller->getParamNormalized (kParamDiffuser), 1.0, 1e-9);
	controller->terminate ();

	// A chunk of another version is refused.
	auto bad = chunk;
	bad[4 + 4 + 14 + 3] = 2; // version 2
	PluginInstance c;
	EXPECT_EQ (c.loadState (bad), kResultFalse);
}

TEST (ProcessorState, ATruncatedChunkIsRefusedYetTheSoundFollowsWhatItSet)
{
	// Save "Stereo", then cut the chunk inside its last entry (Gain Ls/Rs).
	auto a = running (512);
	ASSERT_TRUE (a);
	Audio in = silence (3, 512), out = silence (6, 512);
	a->processBlock (in, out, 0, 512, {{kParamOutFormat, 0, 0.0}});
	auto chunk = a->saveState ();
	chunk.resize (chunk.size () - 4);

	auto b = running (512);
	ASSERT_TRUE (b);
	EXPECT_EQ (b->loadState (chunk), kResultFalse);
	EXPECT_NEAR (savedPlain (*b, kParamOutFormat), 0.0, 1e-9);
	const int32 length = 12 * kHop;
	const Audio decoded = b->render (capsuleSignal (length, 43), {512});
	EXPECT_GT (energy ({decoded[0], decoded[1]}, 2 * kHop, length), 0.0);
	EXPECT_EQ (energy ({decoded[2], decoded[4], decoded[5]}, 2 * kHop, length), 0.0)
	    << "the engine decodes the stereo format that the parameters now hold";
}
