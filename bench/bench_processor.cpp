// Cost of one host block through OrvoProcessor::process (48 kHz, blocks of
// 512, default settings and with the diffuser on) against the engine alone
// rendering the same hops. The difference is what the plug-in layer adds:
// parameter handling, the ring copies, silence detection and meters.
#include "common/process_block.h"
#include "params/orvoparams.h"
#include "processor/orvoprocessor.h"

#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "sfm_api.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 48000.0;
constexpr int kLength = 64 * kBlock; // cycled input, long enough to keep the analysis busy

std::vector<std::vector<float>> capsules ()
{
	std::vector<std::vector<float>> x (3, std::vector<float> (kLength));
	uint32_t s = 1;
	for (int i = 0; i < kLength; ++i)
		for (int c = 0; c < 3; ++c)
		{
			s = s * 1664525u + 1013904223u;
			const float noise = static_cast<float> (static_cast<int32_t> (s >> 8) - (1 << 23)) / float (1 << 23);
			x[c][i] = 0.1f * noise + 0.2f * std::sin (0.05f * i * (c + 1));
		}
	return x;
}

void processorBlock (benchmark::State& state)
{
	const bool diffuser = state.range (0) != 0;
	auto* processor = new OrvoProcessor ();
	processor->initialize (nullptr);
	ProcessSetup setup {kRealtime, kSample32, kBlock, kRate};
	processor->setupProcessing (setup);
	processor->setActive (true);

	auto in = capsules ();
	std::vector<std::vector<float>> out (6, std::vector<float> (kBlock));
	std::vector<float> spare (kBlock, 0.f);
	ParameterChanges inChanges (4), outChanges (32);
	if (diffuser)
	{
		int32 index = 0;
		inChanges.addParameterData (kParamDiffuser, index)->addPoint (0, 1.0, index);
	}

	float* inPtrs[6] = {nullptr, nullptr, nullptr, spare.data (), spare.data (), spare.data ()};
	float* outPtrs[6];
	for (int c = 0; c < 6; ++c)
		outPtrs[c] = out[c].data ();
	orvotest::ProcessBlock block (inPtrs, 6, outPtrs, 6, kBlock, &inChanges, &outChanges);

	int pos = 0;
	for (auto _ : state)
	{
		for (int c = 0; c < 3; ++c)
			inPtrs[c] = in[c].data () + pos;
		outChanges.clearQueue ();
		block.run (*processor);
		inChanges.clearQueue (); // settings arrive once
		benchmark::DoNotOptimize (out[0].data ());
		pos = (pos + kBlock) % kLength;
	}
	state.SetItemsProcessed (state.iterations () * kBlock);
	state.counters["realtime_x"] = benchmark::Counter (
	    static_cast<double> (state.iterations ()) * kBlock / kRate, benchmark::Counter::kIsRate);

	processor->setActive (false);
	processor->terminate ();
	processor->release ();
}
BENCHMARK (processorBlock)->Arg (0)->Arg (1)->ArgName ("diffuser")->Unit (benchmark::kMicrosecond);

void engineHop (benchmark::State& state)
{
	const bool diffuser = state.range (0) != 0;
	sfm_setup setup {};
	sfm_params params {};
	sfm_state st {};
	sfm_buffers buf {};
	sfm_meters meters {};
	sfm_setup_init (&setup, static_cast<float> (kRate));
	setup.numInputs = 3;
	setup.numOutputs = 6;
	setup.inputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;
	setup.outputFormat = SFM_FORMAT_SEPARATE | SFM_FORMAT_FLOAT32;
	sfm_params_default (&params);
	params.flags &= ~static_cast<uint32_t> (SFM_FLAG_LFE_ON);
	if (diffuser)
		params.flags |= SFM_FLAG_DIFFUSER;
	if (sfm_create (&st, &buf, &setup, params, &meters, nullptr) != 0)
	{
		state.SkipWithError ("sfm_create failed");
		return;
	}

	auto in = capsules ();
	std::vector<std::vector<float>> out (6, std::vector<float> (kBlock));
	float* inPtrs[3];
	float* outPtrs[6];
	for (int c = 0; c < 6; ++c)
		outPtrs[c] = out[c].data ();
	int pos = 0;
	for (auto _ : state)
	{
		for (int c = 0; c < 3; ++c)
			inPtrs[c] = in[c].data () + pos;
		sfm_process (&st, &buf, inPtrs, outPtrs, &meters);
		benchmark::DoNotOptimize (out[0].data ());
		pos = (pos + kBlock) % kLength;
	}
	state.SetItemsProcessed (state.iterations () * kBlock);
	state.counters["realtime_x"] = benchmark::Counter (
	    static_cast<double> (state.iterations ()) * kBlock / kRate, benchmark::Counter::kIsRate);
	sfm_free (&st, &buf, &meters, nullptr);
}
BENCHMARK (engineHop)->Arg (0)->Arg (1)->ArgName ("diffuser")->Unit (benchmark::kMicrosecond);

} // namespace
