// What a processor saved, read back as the plug-in reads its own chunk:
// the plain value of one setting. For suites that link the parameter layer.
#pragma once

#include "params/orvoparams.h"
#include "params/orvostatechunk.h"

#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvotest {

// Plain value of parameter 'id' in 'chunk' (-1 when it is missing).
inline double plainInChunk (const std::vector<char>& chunk, Steinberg::Vst::ParamID id)
{
	using namespace Steinberg;
	using namespace Steinberg::Vst;
	ParameterContainer params;
	createParameters (params);
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	int32 written = 0;
	stream->write (const_cast<char*> (chunk.data ()), static_cast<int32> (chunk.size ()), &written);
	stream->seek (0, IBStream::kIBSeekSet, nullptr);
	EXPECT_EQ (readStateChunk (stream, params), kResultOk);
	Parameter* param = params.getParameter (id);
	return param ? param->toPlain (param->getNormalized ()) : -1.0;
}

} // namespace orvotest
