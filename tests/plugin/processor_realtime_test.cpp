// The processor's audio thread never reaches the SDK's update handler: its
// notifications run under a module-wide lock that the user-interface thread
// holds while it delivers its own parameters' changes.

#include "allocation_count.h"
#include "common/process_block.h"

#include "params/orvoparams.h"
#include "processor/orvoprocessor.h"
#include "params/orvostatechunk.h"

#include "base/source/fobject.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "pluginterfaces/base/iupdatehandler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Stands in for the module-wide update handler and counts what reaches it.
class CountingUpdateHandler : public IUpdateHandler
{
public:
	int calls {0};

	tresult PLUGIN_API addDependent (FUnknown*, IDependent*) override { return count (); }
	tresult PLUGIN_API removeDependent (FUnknown*, IDependent*) override { return count (); }
	tresult PLUGIN_API triggerUpdates (FUnknown*, int32) override { return count (); }
	tresult PLUGIN_API deferUpdates (FUnknown*, int32) override { return count (); }

	tresult PLUGIN_API queryInterface (const TUID, void** obj) override
	{
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return 1; }
	uint32 PLUGIN_API release () override { return 1; }

private:
	tresult count ()
	{
		++calls;
		return kResultOk;
	}
};

// One processor driven directly, as the audio thread drives it: 48 kHz,
// blocks of 512, six channels each way.
struct DirectProcessor
{
	HostApplication host;
	IPtr<OrvoProcessor> processor = owned (new OrvoProcessor ());
	std::vector<std::vector<float>> in = std::vector<std::vector<float>> (6, std::vector<float> (512));
	std::vector<std::vector<float>> out = std::vector<std::vector<float>> (6, std::vector<float> (512));

	DirectProcessor ()
	{
		EXPECT_EQ (processor->initialize (&host), kResultOk);
		ProcessSetup setup {kRealtime, kSample32, 512, 48000.};
		EXPECT_EQ (processor->setupProcessing (setup), kResultOk);
		processor->setActive (true);
	}
	~DirectProcessor ()
	{
		processor->setActive (false);
		processor->terminate ();
	}

	void run (IParameterChanges* changes, IParameterChanges* sent = nullptr)
	{
		float* inPtrs[6];
		float* outPtrs[6];
		for (int c = 0; c < 6; ++c)
		{
			inPtrs[c] = in[c].data ();
			outPtrs[c] = out[c].data ();
		}
		orvotest::ProcessBlock (inPtrs, 6, outPtrs, 6, 512, changes, sent).run (*processor);
	}
};

} // namespace

TEST (ProcessorRealtime, ParameterChangesInProcessNeverReachTheUpdateHandler)
{
	DirectProcessor p;
	for (auto& ch : p.in)
		std::fill (ch.begin (), ch.end (), 0.1f);
	ParameterChanges changes (4);
	int32 index = 0;
	changes.addParameterData (kParamWidth, index)->addPoint (0, 0.25, index);
	changes.addParameterData (kParamMuteC, index)->addPoint (0, 1.0, index);
	ParameterChanges meters (8);

	CountingUpdateHandler handler;
	IUpdateHandler* previous = FObject::getUpdateHandler ();
	FObject::setUpdateHandler (&handler);
	p.run (&changes, &meters);
	FObject::setUpdateHandler (previous);
	EXPECT_EQ (handler.calls, 0);

	// The changes were applied all the same: the saved state carries them.
	MemoryStream stream;
	ASSERT_EQ (p.processor->getState (&stream), kResultOk);
	stream.seek (0, IBStream::kIBSeekSet, nullptr);
	ParameterContainer saved;
	ASSERT_TRUE (createParameters (saved));
	ASSERT_EQ (readStateChunk (&stream, saved), kResultOk);
	EXPECT_DOUBLE_EQ (saved.getParameter (kParamWidth)->getNormalized (), 0.25);
	EXPECT_DOUBLE_EQ (saved.getParameter (kParamMuteC)->getNormalized (), 1.0);
}

namespace {

// Rear Delay on and set (normalized) in the first block; a pressure click in
// the second. Returns the left surround channel.
std::vector<float> renderSurroundLeft (ParamValue rearDelayNormalized)
{
	DirectProcessor p;
	std::vector<float> surround;
	for (int block = 0; block < 16; ++block)
	{
		for (auto& ch : p.in)
			std::fill (ch.begin (), ch.end (), 0.f);
		if (block == 1)
			p.in[0][0] = p.in[2][0] = 0.5f;
		ParameterChanges changes (2);
		if (block == 0)
		{
			int32 index = 0;
			changes.addParameterData (kParamRearDelayOn, index)->addPoint (0, 1.0, index);
			changes.addParameterData (kParamRearDelay, index)->addPoint (0, rearDelayNormalized, index);
		}
		p.run (&changes);
		surround.insert (surround.end (), p.out[4].begin (), p.out[4].end ());
	}
	return surround;
}

} // namespace

TEST (ProcessorRealtime, RearDelayTravelsOverTheEnginesFiftyMillisecondsWithoutConsoleOutput)
{
	// The top of Rear Delay's travel is 50 ms, all the engine keeps: the
	// click's peak reaches the left surround 2400 samples (48 kHz) later than
	// with no delay, and the audio thread prints nothing on the way.
	testing::internal::CaptureStderr ();
	const auto longest = renderSurroundLeft (1.0);
	const std::string printed = testing::internal::GetCapturedStderr ();
	const auto none = renderSurroundLeft (0.0);
	EXPECT_EQ (printed, "");
	auto peakAt = [] (const std::vector<float>& x) {
		const auto it = std::max_element (x.begin (), x.end (), [] (float a, float b) {
			return std::fabs (a) < std::fabs (b);
		});
		return static_cast<int> (it - x.begin ());
	};
	ASSERT_GT (std::fabs (none[static_cast<size_t> (peakAt (none))]), 0.01f);
	EXPECT_EQ (peakAt (longest) - peakAt (none), 2400);
}

TEST (ProcessorRealtime, TakingALoadedStateAndHostChangesAllocatesNothing)
{
#ifdef ORVO_COUNT_ALLOCATIONS
	DirectProcessor p;
	for (auto& ch : p.in)
		std::fill (ch.begin (), ch.end (), 0.1f);
	ParameterChanges meters (8);
	p.run (nullptr, &meters); // the meter queues take their room once

	// A state loaded during playback (control thread: it may allocate).
	ParameterContainer loaded;
	ASSERT_TRUE (createParameters (loaded));
	loaded.getParameter (kParamWidth)->setNormalized (0.1);
	loaded.getParameter (kParamDiffuser)->setNormalized (1.);
	MemoryStream chunk;
	ASSERT_EQ (writeStateChunk (&chunk, loaded), kResultOk);
	chunk.seek (0, IBStream::kIBSeekSet, nullptr);
	ASSERT_EQ (p.processor->setState (&chunk), kResultOk);

	// Host changes in the same block, among them what a user does mid-stream:
	// another output format, a rear delay, the host's bypass.
	ParameterChanges changes (8);
	int32 index = 0;
	changes.addParameterData (kParamFocus, index)->addPoint (0, 0.25, index);
	changes.addParameterData (kParamOutFormat, index)->addPoint (0, 0.0, index);
	changes.addParameterData (kParamRearDelay, index)->addPoint (0, 0.7, index);
	changes.addParameterData (kParamBypass, index)->addPoint (0, 1.0, index);
	meters.clearQueue ();
	orvotest::gAllocations = 0;
	orvotest::gCounting = true;
	p.run (&changes, &meters);
	orvotest::gCounting = false;
	EXPECT_EQ (orvotest::gAllocations, 0);

	// Both reached the engine's parameter set: a save carries them.
	MemoryStream saved;
	ASSERT_EQ (p.processor->getState (&saved), kResultOk);
	saved.seek (0, IBStream::kIBSeekSet, nullptr);
	ParameterContainer check;
	ASSERT_TRUE (createParameters (check));
	ASSERT_EQ (readStateChunk (&saved, check), kResultOk);
	EXPECT_DOUBLE_EQ (check.getParameter (kParamWidth)->getNormalized (), 0.1);
	EXPECT_DOUBLE_EQ (check.getParameter (kParamFocus)->getNormalized (), 0.25);
#else
	GTEST_SKIP () << "allocation hooks are off under sanitizers";
#endif
}
