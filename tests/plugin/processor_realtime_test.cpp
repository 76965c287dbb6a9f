// The processor's audio thread never reaches the SDK's update handler: its
// notifications run under a module-wide lock that the user-interface thread
// holds while it delivers its own parameters' changes.

#include "controller/orvoparams.h"
#include "processor/orvoprocessor.h"
#include "processor/orvostatechunk.h"

#include "base/source/fobject.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "pluginterfaces/base/iupdatehandler.h"

#include <gtest/gtest.h>

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

} // namespace

TEST (ProcessorRealtime, ParameterChangesInProcessNeverReachTheUpdateHandler)
{
	HostApplication host;
	IPtr<OrvoProcessor> processor = owned (new OrvoProcessor ());
	ASSERT_EQ (processor->initialize (&host), kResultOk);
	ProcessSetup setup {kRealtime, kSample32, 512, 48000.};
	ASSERT_EQ (processor->setupProcessing (setup), kResultOk);
	processor->setActive (true);

	std::vector<std::vector<float>> in (6, std::vector<float> (512, 0.1f));
	std::vector<std::vector<float>> out (6, std::vector<float> (512));
	float* inPtrs[6];
	float* outPtrs[6];
	for (int c = 0; c < 6; ++c)
	{
		inPtrs[c] = in[c].data ();
		outPtrs[c] = out[c].data ();
	}
	AudioBusBuffers inBus {};
	inBus.numChannels = 6;
	inBus.channelBuffers32 = inPtrs;
	AudioBusBuffers outBus {};
	outBus.numChannels = 6;
	outBus.channelBuffers32 = outPtrs;

	ParameterChanges changes (4);
	int32 index = 0;
	changes.addParameterData (kParamWidth, index)->addPoint (0, 0.25, index);
	changes.addParameterData (kParamMuteC, index)->addPoint (0, 1.0, index);
	ParameterChanges meters (8);
	ProcessData data {};
	data.processMode = kRealtime;
	data.symbolicSampleSize = kSample32;
	data.numSamples = 512;
	data.numInputs = 1;
	data.numOutputs = 1;
	data.inputs = &inBus;
	data.outputs = &outBus;
	data.inputParameterChanges = &changes;
	data.outputParameterChanges = &meters;

	CountingUpdateHandler handler;
	IUpdateHandler* previous = FObject::getUpdateHandler ();
	FObject::setUpdateHandler (&handler);
	processor->process (data);
	FObject::setUpdateHandler (previous);
	EXPECT_EQ (handler.calls, 0);

	// The changes were applied all the same: the saved state carries them.
	MemoryStream stream;
	ASSERT_EQ (processor->getState (&stream), kResultOk);
	stream.seek (0, IBStream::kIBSeekSet, nullptr);
	ParameterContainer saved;
	ASSERT_TRUE (createParameters (saved));
	ASSERT_EQ (readStateChunk (&stream, saved), kResultOk);
	EXPECT_DOUBLE_EQ (saved.getParameter (kParamWidth)->getNormalized (), 0.25);
	EXPECT_DOUBLE_EQ (saved.getParameter (kParamMuteC)->getNormalized (), 1.0);

	processor->setActive (false);
	processor->terminate ();
}
