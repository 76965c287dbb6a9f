// The saved state chunk: its exact bytes, round trips, and a reader that
// survives every truncation and random damage without reading out of bounds.
#include "params/kv_vstparam.h"
#include "params/orvoparams.h"
#include "params/orvostatechunk.h"

#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

using Bytes = std::vector<uint8_t>;

const double kInf = std::numeric_limits<double>::infinity ();

//------------------------------------------------------------------------
// Big-endian chunk builder, independent of the code under test.
struct Builder
{
	Bytes b;

	Builder& i32 (int64_t v)
	{
		const auto u = static_cast<uint32_t> (v);
		for (int s = 24; s >= 0; s -= 8)
			b.push_back (static_cast<uint8_t> (u >> s));
		return *this;
	}
	Builder& f64 (double v)
	{
		uint64_t u;
		std::memcpy (&u, &v, 8);
		for (int s = 56; s >= 0; s -= 8)
			b.push_back (static_cast<uint8_t> (u >> s));
		return *this;
	}
	Builder& str8 (const std::string& s)
	{
		i32 (static_cast<int64_t> (s.size ()) + 1);
		b.insert (b.end (), s.begin (), s.end ());
		b.push_back (0);
		return *this;
	}
	Builder& entry (const std::string& key, double v) { return str8 (key).f64 (v); }
	Builder& append (const Bytes& more)
	{
		b.insert (b.end (), more.begin (), more.end ());
		return *this;
	}
};

Bytes versionSection (int32 version = 1)
{
	return Builder ().i32 (22).str8 ("presetVersion").i32 (version).b;
}

Bytes chunk (const Bytes& entries, int32 version = 1)
{
	return Builder ()
	    .append (versionSection (version))
	    .i32 (static_cast<int64_t> (entries.size ()))
	    .append (entries)
	    .b;
}

//------------------------------------------------------------------------
struct ParamSet
{
	ParameterContainer c;
	ParamSet () { EXPECT_TRUE (createParameters (c)); }

	Parameter& at (ParamID id) { return *c.getParameter (id); }
	double normalized (ParamID id) { return at (id).getNormalized (); }
	double plain (ParamID id) { return static_cast<kv_VSTParam&> (at (id)).getPlain (); }
	void setPlain (ParamID id, double v) { static_cast<kv_VSTParam&> (at (id)).setPlain (v); }
	std::vector<double> snapshot ()
	{
		std::vector<double> v;
		for (ParamID id = 1; id <= kNumParams; ++id)
			v.push_back (normalized (id));
		return v;
	}
};

Bytes write (ParamSet& s, tresult* result = nullptr)
{
	IPtr<MemoryStream> stream = owned (new MemoryStream);
	const tresult r = writeStateChunk (stream, s.c);
	if (result)
		*result = r;
	const auto* data = reinterpret_cast<const uint8_t*> (stream->getData ());
	return Bytes (data, data + stream->getSize ());
}

tresult read (const Bytes& bytes, ParamSet& s)
{
	Bytes copy = bytes; // the stream refers to this memory
	IPtr<MemoryStream> stream = owned (
	    new MemoryStream (copy.empty () ? nullptr : copy.data (), static_cast<TSize> (copy.size ())));
	return readStateChunk (stream, s.c);
}

// A set far from the defaults, on values that survive plain <-> normalized.
void setNonDefaults (ParamSet& s)
{
	for (ParamID id : {kParamBeamshaping, kParamMuteLR, kParamMuteLsRs})
		s.setPlain (id, s.plain (id) >= 0.5 ? 0. : 1.);
	for (ParamID id : {kParamDiffuser, kParamRearWidthOn, kParamRearDelayOn, kParamRearLowpassOn,
	                   kParamMuteC})
		s.setPlain (id, 1.);
	s.setPlain (kParamOutFormat, 1.);
	s.setPlain (kParamFocus, 0.3);
	s.setPlain (kParamWidth, 45.);
	s.setPlain (kParamRearWidth, 120.);
	s.setPlain (kParamRearDelay, 0.035);
	s.setPlain (kParamRearLowpass, 8000.);
	s.setPlain (kParamDiffuseGain, -4.5);
	s.setPlain (kParamDirection, -60.);
	s.setPlain (kParamMicResponseLR, 0.1);
	s.setPlain (kParamMicResponseC, 0.9);
	s.setPlain (kParamMicResponseLsRs, 0.6);
	s.setPlain (kParamGainLR, -3.);
	s.setPlain (kParamGainC, -kInf);
	s.setPlain (kParamGainLsRs, -24.);
}

// Offsets where each entry of a writer chunk ends, in entry order.
std::vector<size_t> entryEnds ()
{
	std::vector<size_t> ends;
	size_t pos = 30;
	for (const OrvoStateKey& k : kOrvoStateKeys)
	{
		pos += 4 + std::strlen (k.key) + 1 + 8;
		ends.push_back (pos);
	}
	return ends;
}

} // namespace

//------------------------------------------------------------------------
TEST (StateChunkWrite, FreshDefaultsExactBytes)
{
	ParamSet s;
	tresult r = kInternalError;
	const Bytes bytes = write (s, &r);
	EXPECT_EQ (r, kResultOk);
	ASSERT_EQ (bytes.size (), 533u);

	const Bytes head = Builder ().i32 (22).i32 (14).b;
	EXPECT_TRUE (std::equal (head.begin (), head.end (), bytes.begin ()));
	EXPECT_EQ (std::string (bytes.begin () + 8, bytes.begin () + 22), std::string ("presetVersion\0", 14));
	const Bytes tail1 = Builder ().i32 (1).i32 (503).b;
	EXPECT_TRUE (std::equal (tail1.begin (), tail1.end (), bytes.begin () + 22));

	// The whole entry section, built independently from the keys and the
	// creation defaults.
	const double third = 1. / 3.;
	const double defaults[22] = {1., 0.,  0., 0., 0., 3., 1., 80., 150., 0.02, 3500.,
	                             0., 0., third, third, third, 0., 0., 0., 0., 0., 0.};
	Builder expected;
	for (int32 i = 0; i < kNumStateKeys; ++i)
		expected.entry (kOrvoStateKeys[i].key, defaults[i]);
	EXPECT_EQ (Bytes (bytes.begin () + 30, bytes.end ()), expected.b);

	// The Width entry: 00 00 00 06 "width" 00 40 54 00 00 00 00 00 00.
	const Bytes width = {0, 0, 0, 6, 'w', 'i', 'd', 't', 'h', 0, 0x40, 0x54, 0, 0, 0, 0, 0, 0};
	EXPECT_NE (std::search (bytes.begin (), bytes.end (), width.begin (), width.end ()),
	           bytes.end ());
}

TEST (StateChunkWrite, KeysInOrderWithTheirIds)
{
	const char* keys[] = {"modeBeamshaping", "modeDiffuser", "modeRearWidth", "modeRearDelay",
	                      "modeRearLowpass", "modeOutFormat", "focus", "width", "rearWidth",
	                      "rearDelay", "rearLowpass", "diffgaindB", "direction", "micResponseLR",
	                      "micResponseC", "micResponseLsRs", "muteLR", "muteC", "muteLsRs",
	                      "gainLR", "gainC", "gainLsRs"};
	for (int32 i = 0; i < kNumStateKeys; ++i)
	{
		EXPECT_STREQ (kOrvoStateKeys[i].key, keys[i]);
		EXPECT_EQ (kOrvoStateKeys[i].id, static_cast<ParamID> (i + 1));
	}
}

TEST (StateChunkWrite, MinusInfinityGain)
{
	ParamSet s;
	s.setPlain (kParamGainLsRs, -kInf);
	EXPECT_DOUBLE_EQ (s.normalized (kParamGainLsRs), 0.);
	const Bytes bytes = write (s);
	const Bytes entry = Builder ().str8 ("gainLsRs").b;
	auto at = std::search (bytes.begin (), bytes.end (), entry.begin (), entry.end ());
	ASSERT_NE (at, bytes.end ());
	const Bytes value (at + static_cast<long> (entry.size ()), at + static_cast<long> (entry.size ()) + 8);
	EXPECT_EQ (value, (Bytes {0xFF, 0xF0, 0, 0, 0, 0, 0, 0}));

	ParamSet back;
	EXPECT_EQ (read (bytes, back), kResultOk);
	EXPECT_EQ (back.normalized (kParamGainLsRs), 0.);
	EXPECT_EQ (back.plain (kParamGainLsRs), -kInf);
}

//------------------------------------------------------------------------
TEST (StateChunkRead, RoundTripRestoresEveryValue)
{
	ParamSet src;
	setNonDefaults (src);
	const Bytes bytes = write (src);
	ParamSet dst;
	ASSERT_EQ (read (bytes, dst), kResultOk);
	for (ParamID id = 1; id <= kNumUserParams; ++id)
		EXPECT_NEAR (dst.normalized (id), src.normalized (id), 1e-12) << "id " << id;
	EXPECT_EQ (write (dst), bytes);
}

TEST (StateChunkRead, RoundTripOfArbitraryNormalizedValues)
{
	std::mt19937 rng (7);
	std::uniform_real_distribution<double> unit (0., 1.);
	for (int iteration = 0; iteration < 50; ++iteration)
	{
		ParamSet src;
		for (ParamID id = 1; id <= kNumUserParams; ++id)
			src.at (id).setNormalized (unit (rng));
		ParamSet dst;
		ASSERT_EQ (read (write (src), dst), kResultOk);
		for (ParamID id = 1; id <= kNumUserParams; ++id)
		{
			// Switches and the list store their position, not the raw value.
			auto& p = static_cast<kv_VSTParam&> (src.at (id));
			EXPECT_NEAR (dst.normalized (id), p.toNormalized (p.getPlain ()), 1e-12) << "id " << id;
		}
	}
}

TEST (StateChunkRead, OnlyGainCChangesOnlyGainC)
{
	ParamSet s;
	setNonDefaults (s);
	const auto before = s.snapshot ();
	EXPECT_EQ (read (chunk (Builder ().entry ("gainC", -6.).b), s), kResultOk);
	const auto after = s.snapshot ();
	for (ParamID id = 1; id <= kNumParams; ++id)
	{
		if (id == kParamGainC)
			EXPECT_DOUBLE_EQ (after[id - 1], 19. / 25.);
		else
			EXPECT_EQ (after[id - 1], before[id - 1]) << "id " << id;
	}
}

TEST (StateChunkRead, VersionSectionMustBeExact)
{
	const Bytes entries = Builder ().entry ("width", 40.).b;
	const Bytes refused[] = {
	    chunk (entries, 2),
	    chunk (entries, 0),
	    chunk (entries, -1),
	    // wrong size field
	    Builder ().i32 (21).str8 ("presetVersion").i32 (1).i32 (18).append (entries).b,
	    Builder ().i32 (26).str8 ("presetVersion").i32 (1).i32 (0).i32 (18).append (entries).b,
	    // another key of the same length, and a case change
	    Builder ().i32 (22).str8 ("presetVersioN").i32 (1).i32 (18).append (entries).b,
	    Builder ().i32 (22).str8 ("presetversion").i32 (1).i32 (18).append (entries).b,
	    // key length not matching its text
	    Builder ().i32 (22).i32 (13).append (Bytes (14, 'p')).i32 (1).i32 (18).append (entries).b,
	    // version section cut short
	    [] {
		    Bytes cut = versionSection ();
		    cut.resize (24);
		    return cut;
	    }(),
	    Bytes (),
	};
	for (const Bytes& bytes : refused)
	{
		SCOPED_TRACE (&bytes - refused);
		ParamSet s;
		const auto before = s.snapshot ();
		EXPECT_EQ (read (bytes, s), kResultFalse);
		EXPECT_EQ (s.snapshot (), before);
	}
	ParamSet untouched;
	EXPECT_EQ (readStateChunk (nullptr, untouched.c), kResultFalse);
}

TEST (StateChunkRead, EntryRules)
{
	ParamSet s;
	// Out of range values clamp; unknown keys and case variants are skipped;
	// a repeated key wins with its last value; order does not matter.
	const Bytes entries = Builder ()
	                          .entry ("gainLsRs", -12.5)
	                          .entry ("width", 500.)
	                          .entry ("futureKey", 1.)
	                          .entry ("Width", 30.)
	                          .entry ("direction", 10.)
	                          .entry ("direction", -90.)
	                          .entry ("modeOutFormat", 0.)
	                          .entry ("muteC", 0.7)
	                          .entry ("rearLowpass", -kInf)
	                          .entry ("rearDelay", 50.) // seconds: beyond the 50 ms the engine keeps
	                          .b;
	EXPECT_EQ (read (chunk (entries), s), kResultOk);
	EXPECT_DOUBLE_EQ (s.plain (kParamGainLsRs), -12.5);
	EXPECT_DOUBLE_EQ (s.plain (kParamWidth), 90.);
	EXPECT_DOUBLE_EQ (s.plain (kParamDirection), -90.);
	EXPECT_DOUBLE_EQ (s.plain (kParamOutFormat), 0.);
	EXPECT_DOUBLE_EQ (s.plain (kParamMuteC), 1.);
	EXPECT_DOUBLE_EQ (s.plain (kParamRearLowpass), 1000.);
	EXPECT_DOUBLE_EQ (s.plain (kParamRearDelay), 0.05);

	ParamSet empty;
	const auto before = empty.snapshot ();
	EXPECT_EQ (read (chunk (Bytes ()), empty), kResultOk);
	EXPECT_EQ (empty.snapshot (), before);
}

TEST (StateChunkRead, DamagedEntrySectionStopsAtTheFault)
{
	const Bytes good = Builder ().entry ("width", 40.).b;
	const Bytes late = Builder ().entry ("gainC", -6.).b;
	struct Case
	{
		const char* what;
		Bytes bytes;
		bool widthApplied; // the entry before the fault
		bool lateApplied;  // the entry after it
		tresult result;
	};
	Builder longKey;
	longKey.str8 (std::string (300, 'k')).f64 (1.);
	const auto sized = [] (size_t size) {
		return Builder ().append (versionSection ()).i32 (static_cast<int64_t> (size));
	};
	const Case cases[] = {
	    {"zero key length", chunk (Builder ().append (good).i32 (0).f64 (1.).append (late).b), true,
	     false, kResultFalse},
	    {"negative key length", chunk (Builder ().append (good).i32 (-5).f64 (1.).append (late).b),
	     true, false, kResultFalse},
	    {"huge key length",
	     chunk (Builder ().append (good).i32 (0x7fffffff).f64 (1.).append (late).b), true, false,
	     kResultFalse},
	    {"long unknown key is skipped",
	     chunk (Builder ().append (good).append (longKey.b).append (late).b), true, true, kResultOk},
	    {"NaN value is ignored",
	     chunk (Builder ().append (good).entry ("direction", NAN).append (late).b), true, true,
	     kResultFalse},
	    {"section size past the stream", sized (100000).append (good).append (late).b, true, true,
	     kResultFalse},
	    {"huge section size", sized (0x7fffffff).append (good).b, true, false, kResultFalse},
	    {"negative section size", Builder ().append (versionSection ()).i32 (-4).append (good).b,
	     false, false, kResultFalse},
	    {"entry crosses the section end",
	     sized (good.size () + late.size () - 1).append (good).append (late).b, true, false,
	     kResultFalse},
	    {"value missing", sized (good.size () + 10).append (good).str8 ("gainC").b, true, false,
	     kResultFalse},
	    {"no entry section", versionSection (), false, false, kResultFalse},
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE (c.what);
		ParamSet s;
		EXPECT_EQ (read (c.bytes, s), c.result);
		EXPECT_DOUBLE_EQ (s.plain (kParamWidth), c.widthApplied ? 40. : 80.);
		EXPECT_DOUBLE_EQ (s.plain (kParamGainC), c.lateApplied ? -6. : 0.);
		EXPECT_DOUBLE_EQ (s.plain (kParamDirection), 0.);
	}
}

//------------------------------------------------------------------------
TEST (StateChunkRobustness, EveryTruncationAppliesExactlyTheWholeEntries)
{
	ParamSet src;
	setNonDefaults (src);
	const Bytes full = write (src);
	ASSERT_EQ (full.size (), 533u);
	const auto ends = entryEnds ();
	ASSERT_EQ (ends.back (), full.size ());

	const auto defaults = ParamSet ().snapshot ();
	for (size_t n = 0; n < full.size (); ++n)
	{
		SCOPED_TRACE (n);
		ParamSet s;
		ASSERT_EQ (read (Bytes (full.begin (), full.begin () + static_cast<long> (n)), s), kResultFalse);
		for (int32 k = 0; k < kNumStateKeys; ++k)
		{
			const ParamID id = kOrvoStateKeys[k].id;
			const double expected = ends[static_cast<size_t> (k)] <= n ? src.normalized (id) : defaults[id - 1];
			ASSERT_NEAR (s.normalized (id), expected, 1e-12) << "id " << id;
		}
	}
}

TEST (StateChunkRobustness, RandomDamageNeverEscapesTheChunk)
{
	ParamSet src;
	setNonDefaults (src);
	const Bytes full = write (src);
	const auto defaults = ParamSet ().snapshot ();
	const int64_t lengths[] = {0, -1, 1, 4, 8, 13, 14, 22, 503, 0x7fffffff, INT32_MIN, 0x10000};

	std::mt19937 rng (20261208);
	int ok = 0, refused = 0;
	for (int iteration = 0; iteration < 4000; ++iteration)
	{
		Bytes bytes = full;
		std::uniform_int_distribution<size_t> pos (0, bytes.size () - 1);
		switch (iteration % 4)
		{
			case 0: // a few random bytes
				for (int k = 0, n = 1 + static_cast<int> (rng () % 4); k < n; ++k)
					bytes[pos (rng)] = static_cast<uint8_t> (rng ());
				break;
			case 1: // a length-like field at a random offset
			{
				const size_t at = pos (rng) % (bytes.size () - 4);
				const auto v = static_cast<uint32_t> (lengths[rng () % (sizeof (lengths) / sizeof (lengths[0]))]);
				for (int k = 0; k < 4; ++k)
					bytes[at + static_cast<size_t> (k)] = static_cast<uint8_t> (v >> (24 - 8 * k));
				break;
			}
			case 2: // bytes removed from the middle
			{
				const size_t at = pos (rng);
				const size_t n = std::min (bytes.size () - at, 1 + rng () % 20);
				bytes.erase (bytes.begin () + static_cast<long> (at), bytes.begin () + static_cast<long> (at + n));
				break;
			}
			default: // random bytes inserted
			{
				const size_t at = pos (rng);
				Bytes junk (1 + rng () % 40);
				for (auto& b : junk)
					b = static_cast<uint8_t> (rng ());
				bytes.insert (bytes.begin () + static_cast<long> (at), junk.begin (), junk.end ());
				break;
			}
		}

		ParamSet s;
		const tresult r = read (bytes, s);
		ASSERT_TRUE (r == kResultOk || r == kResultFalse);
		(r == kResultOk ? ok : refused)++;
		const auto after = s.snapshot ();
		const bool versionIntact = std::equal (full.begin (), full.begin () + 26, bytes.begin ());
		for (ParamID id = 1; id <= kNumParams; ++id)
		{
			const double v = after[id - 1];
			ASSERT_TRUE (v >= 0. && v <= 1.) << "id " << id << " iteration " << iteration;
			if (id > kNumUserParams || !versionIntact)
			{
				ASSERT_EQ (v, defaults[id - 1]) << "id " << id << " iteration " << iteration;
			}
		}
	}
	// The damage hits both outcomes.
	EXPECT_GT (ok, 0);
	EXPECT_GT (refused, 0);
}

//------------------------------------------------------------------------
namespace {

// A memory stream that fails every write beyond 'limit' bytes, or that
// cannot seek.
class FaultyStream : public MemoryStream
{
public:
	FaultyStream (int64 limit, bool canSeek) : limit (limit), canSeek (canSeek) {}

	tresult PLUGIN_API write (void* buffer, int32 numBytes, int32* numBytesWritten) override
	{
		int64 pos = 0;
		tell (&pos);
		if (pos + numBytes > limit)
		{
			if (numBytesWritten)
				*numBytesWritten = 0;
			return kResultFalse;
		}
		return MemoryStream::write (buffer, numBytes, numBytesWritten);
	}
	tresult PLUGIN_API seek (int64 pos, int32 mode, int64* result) override
	{
		if (!canSeek)
			return kNotImplemented;
		return MemoryStream::seek (pos, mode, result);
	}

private:
	int64 limit;
	bool canSeek;
};

} // namespace

TEST (StateChunkWrite, WriteFailuresAreReported)
{
	ParamSet s;
	for (int64 limit = 0; limit < 533; ++limit)
	{
		IPtr<FaultyStream> stream = owned (new FaultyStream (limit, true));
		EXPECT_EQ (writeStateChunk (stream, s.c), kResultFalse) << "limit " << limit;
	}
	IPtr<FaultyStream> roomy = owned (new FaultyStream (533, true));
	EXPECT_EQ (writeStateChunk (roomy, s.c), kResultOk);

	IPtr<FaultyStream> noSeek = owned (new FaultyStream (1 << 20, false));
	EXPECT_EQ (writeStateChunk (noSeek, s.c), kResultFalse);
	EXPECT_EQ (writeStateChunk (nullptr, s.c), kResultFalse);

	ParameterContainer incomplete;
	EXPECT_EQ (writeStateChunk (IPtr<MemoryStream> (owned (new MemoryStream)), incomplete), kResultFalse);
}
