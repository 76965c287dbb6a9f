// libFuzzer target for the state chunk reader. Each input is read twice into a
// fresh parameter set: as a whole chunk, and as the entry section behind a
// valid version section (so the fuzzer reaches the entry loop at once). After
// each read every parameter must hold a normalized value in [0, 1].
#include "params/kv_vstparam.h"
#include "params/orvoparams.h"
#include "params/orvostatechunk.h"

#include "public.sdk/source/common/memorystream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

void readAndCheck (const uint8_t* data, size_t size)
{
	ParameterContainer params;
	if (!createParameters (params))
		__builtin_trap ();

	std::vector<uint8_t> copy (data, data + size);
	IPtr<MemoryStream> stream =
	    owned (new MemoryStream (copy.empty () ? nullptr : copy.data (), static_cast<TSize> (size)));
	const tresult r = readStateChunk (stream, params);
	if (r != kResultOk && r != kResultFalse)
		__builtin_trap ();

	for (int32 i = 0; i < params.getParameterCount (); ++i)
	{
		const double v = params.getParameterByIndex (i)->getNormalized ();
		if (!(v >= 0. && v <= 1.))
			__builtin_trap ();
	}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
	readAndCheck (data, size);

	// Version section (size 22, "presetVersion", 1), then the input, whose
	// first four bytes act as the entry section's size.
	static const uint8_t header[] = {0, 0, 0, 22, 0, 0, 0, 14, 'p', 'r', 'e', 's', 'e',
	                                 't', 'V', 'e', 'r', 's', 'i', 'o', 'n', 0, 0, 0, 0, 1};
	std::vector<uint8_t> withHeader (header, header + sizeof (header));
	withHeader.insert (withHeader.end (), data, data + size);
	readAndCheck (withHeader.data (), withHeader.size ());
	return 0;
}
