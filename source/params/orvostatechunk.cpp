#include "params/orvostatechunk.h"

#include "params/kv_vstparam.h"
#include "params/orvoparams.h"

#include "base/source/fstreamer.h"

#include <cmath>
#include <cstring>

namespace Steinberg {
namespace Vst {

//------------------------------------------------------------------------
const OrvoStateKey kOrvoStateKeys[kNumStateKeys] = {
    {"modeBeamshaping", kParamBeamshaping},
    {"modeDiffuser", kParamDiffuser},
    {"modeRearWidth", kParamRearWidthOn},
    {"modeRearDelay", kParamRearDelayOn},
    {"modeRearLowpass", kParamRearLowpassOn},
    {"modeOutFormat", kParamOutFormat},
    {"focus", kParamFocus},
    {"width", kParamWidth},
    {"rearWidth", kParamRearWidth},
    {"rearDelay", kParamRearDelay},
    {"rearLowpass", kParamRearLowpass},
    {"diffgaindB", kParamDiffuseGain},
    {"direction", kParamDirection},
    {"micResponseLR", kParamMicResponseLR},
    {"micResponseC", kParamMicResponseC},
    {"micResponseLsRs", kParamMicResponseLsRs},
    {"muteLR", kParamMuteLR},
    {"muteC", kParamMuteC},
    {"muteLsRs", kParamMuteLsRs},
    {"gainLR", kParamGainLR},
    {"gainC", kParamGainC},
    {"gainLsRs", kParamGainLsRs},
};

namespace {

const char kVersionKey[] = "presetVersion";

// Section 1 holds the version key string and the int32 version.
constexpr int64 kVersionSectionSize = 4 + static_cast<int64> (sizeof (kVersionKey)) + 4;

// Key bytes (zero byte included) kept for matching. Every known key fits; a
// longer key cannot match and is skipped without being stored.
constexpr int32 kKeyBufferSize = 32;

//------------------------------------------------------------------------
double plainOf (Parameter& p)
{
	if (auto* kv = dynamic_cast<kv_VSTParam*> (&p))
		return kv->getPlain ();
	return p.toPlain (p.getNormalized ());
}

//------------------------------------------------------------------------
void setPlainOf (Parameter& p, double plain)
{
	if (auto* kv = dynamic_cast<kv_VSTParam*> (&p))
		kv->setPlain (plain);
	else if (!std::isnan (plain))
		p.setNormalized (p.toNormalized (plain));
}

//------------------------------------------------------------------------
// A section size placeholder that is patched once the section is written; the
// same bytes as the SDK's FStreamSizeHolder, but every tell, seek and write is
// checked so that a stream without seeking reports failure.
class SizeField
{
public:
	explicit SizeField (IBStreamer& s) : streamer (s) {}

	bool begin ()
	{
		pos = streamer.tell ();
		return pos >= 0 && streamer.writeInt32 (0);
	}

	bool end ()
	{
		const int64 endPos = streamer.tell ();
		if (pos < 0 || endPos < pos + 4)
			return false;
		const auto size = static_cast<int32> (endPos - pos - 4);
		bool ok = streamer.seek (pos, kSeekSet) == pos;
		ok = ok && streamer.writeInt32 (size);
		ok = (streamer.seek (endPos, kSeekSet) == endPos) && ok;
		return ok;
	}

private:
	IBStreamer& streamer;
	int64 pos {-1};
};

//------------------------------------------------------------------------
// Reads counted fields while tracking how many bytes of the current section
// remain, so that nothing is read past the section's declared end; the
// stream's own end shows up as a short read.
class SectionReader
{
public:
	SectionReader (IBStreamer& s, int64 size) : streamer (s), remaining (size) {}

	int64 bytesLeft () const { return remaining; }

	bool readInt32 (int32& v)
	{
		if (remaining < 4 || !streamer.readInt32 (v))
			return false;
		remaining -= 4;
		return true;
	}

	bool readDouble (double& v)
	{
		if (remaining < 8 || !streamer.readDouble (v))
			return false;
		remaining -= 8;
		return true;
	}

	// A str8 key whose bytes (zero byte included) must leave 'reserve' bytes
	// of the section for what follows it. keyLen receives the stored length;
	// the bytes land in 'key' when they fit, else they are read and dropped.
	bool readKey (char (&key)[kKeyBufferSize], int32& keyLen, int64 reserve)
	{
		if (!readInt32 (keyLen) || keyLen <= 0 || keyLen > remaining - reserve)
			return false;
		if (keyLen <= kKeyBufferSize)
			return readBytes (key, keyLen);
		char scratch[256];
		for (int32 left = keyLen; left > 0;)
		{
			const int32 n = left < static_cast<int32> (sizeof (scratch)) ? left
			                                                             : static_cast<int32> (sizeof (scratch));
			if (!readBytes (scratch, n))
				return false;
			left -= n;
		}
		return true;
	}

private:
	bool readBytes (void* dst, int32 n)
	{
		if (streamer.readRaw (dst, n) != n)
			return false;
		remaining -= n;
		return true;
	}

	IBStreamer& streamer;
	int64 remaining;
};

//------------------------------------------------------------------------
bool keyEquals (const char (&key)[kKeyBufferSize], int32 keyLen, const char* known)
{
	const auto knownLen = static_cast<int32> (std::strlen (known)) + 1;
	return keyLen == knownLen && std::memcmp (key, known, static_cast<size_t> (knownLen)) == 0;
}

} // namespace

//------------------------------------------------------------------------
tresult writeStateChunk (IBStream* stream, ParameterContainer& params)
{
	if (!stream)
		return kResultFalse;
	IBStreamer s (stream, kBigEndian);

	SizeField version (s);
	bool ok = version.begin ();
	ok = ok && s.writeStr8 (kVersionKey);
	ok = ok && s.writeInt32 (kStateChunkVersion);
	ok = ok && version.end ();
	if (!ok)
		return kResultFalse;

	// Every entry is attempted even after a failure; the result reports it.
	SizeField entries (s);
	ok = entries.begin ();
	for (const OrvoStateKey& k : kOrvoStateKeys)
	{
		Parameter* p = params.getParameter (k.id);
		if (!p)
		{
			ok = false;
			continue;
		}
		ok = s.writeStr8 (k.key) && ok;
		ok = s.writeDouble (plainOf (*p)) && ok;
	}
	ok = entries.end () && ok;
	return ok ? kResultOk : kResultFalse;
}

//------------------------------------------------------------------------
tresult readStateChunk (IBStream* stream, ParameterContainer& params)
{
	if (!stream)
		return kResultFalse;
	IBStreamer s (stream, kBigEndian);

	// Version section: refused as a whole unless it is exactly the key and
	// version 1; nothing is changed before it has been accepted.
	int32 size1 = 0;
	if (!s.readInt32 (size1) || size1 != kVersionSectionSize)
		return kResultFalse;
	{
		SectionReader section (s, size1);
		char key[kKeyBufferSize];
		int32 keyLen = 0;
		int32 version = -1;
		if (!section.readKey (key, keyLen, 4) || !keyEquals (key, keyLen, kVersionKey))
			return kResultFalse;
		if (!section.readInt32 (version) || version != kStateChunkVersion)
			return kResultFalse;
		// The key length was checked against the section size, and the key
		// matched, so the section is consumed exactly.
	}

	// Entry section. A structural fault (an entry that does not fit the
	// section, a non-positive key length, the stream ending early) stops
	// reading: what was read before stays applied.
	int32 size2 = 0;
	if (!s.readInt32 (size2) || size2 < 0)
		return kResultFalse;

	SectionReader section (s, size2);
	bool ok = true;
	while (section.bytesLeft () > 0)
	{
		char key[kKeyBufferSize];
		int32 keyLen = 0;
		double value = 0.;
		if (!section.readKey (key, keyLen, 8) || !section.readDouble (value))
			return kResultFalse;

		// A NaN is no plain value of any parameter: the entry is ignored and
		// reported, like an unreadable value.
		if (std::isnan (value))
		{
			ok = false;
			continue;
		}
		for (const OrvoStateKey& k : kOrvoStateKeys)
		{
			if (!keyEquals (key, keyLen, k.key))
				continue;
			if (Parameter* p = params.getParameter (k.id))
				setPlainOf (*p, value);
			break;
		}
	}
	return ok ? kResultOk : kResultFalse;
}

} // namespace Vst
} // namespace Steinberg
