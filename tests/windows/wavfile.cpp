// wavfile.h: a small RIFF/WAVE reader and writer. Reads PCM (16, 24, 32 bit) and IEEE float (32,
// 64 bit), plain or WAVE_FORMAT_EXTENSIBLE; writes WAVE_FORMAT_EXTENSIBLE
// 32-bit float with the 5.1 channel mask, as libsndfile's WAVEX does.

#include "wavfile.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// FL FR FC LFE BL BR
constexpr uint32_t kMask51 = 0x3F;

uint16_t le16 (const unsigned char* p)
{
	return static_cast<uint16_t> (p[0] | p[1] << 8);
}

uint32_t le32 (const unsigned char* p)
{
	return static_cast<uint32_t> (p[0]) | static_cast<uint32_t> (p[1]) << 8 |
	       static_cast<uint32_t> (p[2]) << 16 | static_cast<uint32_t> (p[3]) << 24;
}

struct FileCloser
{
	void operator() (std::FILE* f) const { std::fclose (f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool readWholeFile (const std::string& path, std::vector<unsigned char>& bytes)
{
	File f (std::fopen (path.c_str (), "rb"));
	if (!f)
		return false;
	unsigned char buffer[65536];
	size_t n;
	while ((n = std::fread (buffer, 1, sizeof (buffer), f.get ())) > 0)
		bytes.insert (bytes.end (), buffer, buffer + n);
	return !std::ferror (f.get ());
}

float sampleAt (const unsigned char* p, uint16_t format, int bits)
{
	if (format == kFormatFloat)
	{
		if (bits == 32)
		{
			const uint32_t u = le32 (p);
			float x;
			std::memcpy (&x, &u, sizeof (x));
			return x;
		}
		const uint64_t u = le32 (p) | static_cast<uint64_t> (le32 (p + 4)) << 32;
		double x;
		std::memcpy (&x, &u, sizeof (x));
		return static_cast<float> (x);
	}
	switch (bits)
	{
		case 16: return static_cast<int16_t> (le16 (p)) / 32768.f;
		case 24:
		{
			const int32_t v = static_cast<int32_t> (le32 (p - 1) & 0xFFFFFF00u) / 256;
			return static_cast<float> (v / 8388608.0);
		}
		default: return static_cast<float> (static_cast<int32_t> (le32 (p)) / 2147483648.0);
	}
}

} // namespace

bool orvoReadAudio (const std::string& path, OrvoAudio& audio, std::string& error)
{
	std::vector<unsigned char> bytes;
	if (!readWholeFile (path, bytes))
	{
		error = "cannot open the file";
		return false;
	}
	// One leading byte so that 24-bit samples read as the top of a 32-bit word.
	bytes.insert (bytes.begin (), 0);
	const unsigned char* file = bytes.data () + 1;
	const size_t size = bytes.size () - 1;
	if (size < 12 || std::memcmp (file, "RIFF", 4) != 0 || std::memcmp (file + 8, "WAVE", 4) != 0)
	{
		error = "not a RIFF/WAVE file";
		return false;
	}
	uint16_t format = 0, channels = 0, bits = 0;
	uint32_t rate = 0;
	const unsigned char* data = nullptr;
	size_t dataSize = 0;
	for (size_t pos = 12; pos + 8 <= size;)
	{
		const unsigned char* chunk = file + pos;
		const size_t length = le32 (chunk + 4);
		const size_t available = size - pos - 8;
		if (std::memcmp (chunk, "fmt ", 4) == 0 && length >= 16 && length <= available)
		{
			format = le16 (chunk + 8);
			channels = le16 (chunk + 10);
			rate = le32 (chunk + 12);
			bits = le16 (chunk + 22);
			// The sub-format GUID starts with the plain format tag.
			if (format == kFormatExtensible && length >= 40)
				format = le16 (chunk + 32);
		}
		else if (std::memcmp (chunk, "data", 4) == 0)
		{
			data = chunk + 8;
			dataSize = length < available ? length : available; // a truncated file keeps what it has
			break;
		}
		if (length > available)
			break;
		pos += 8 + length + (length & 1);
	}
	const bool pcm = format == kFormatPcm && (bits == 16 || bits == 24 || bits == 32);
	const bool flt = format == kFormatFloat && (bits == 32 || bits == 64);
	if (!pcm && !flt)
	{
		error = "unsupported WAV format (PCM 16/24/32-bit or float 32/64-bit only)";
		return false;
	}
	if (channels == 0 || rate == 0 || rate > 1000000 || !data)
	{
		error = channels == 0 || rate == 0 || rate > 1000000 ? "bad format chunk" : "no data chunk";
		return false;
	}
	const size_t frameBytes = static_cast<size_t> (channels) * (bits / 8);
	audio.sampleRate = static_cast<int> (rate);
	audio.channels = channels;
	audio.frames = static_cast<int64_t> (dataSize / frameBytes);
	audio.samples.resize (static_cast<size_t> (audio.frames) * channels);
	for (size_t i = 0; i < audio.samples.size (); ++i)
		audio.samples[i] = sampleAt (data + i * (bits / 8), format, bits);
	return true;
}

bool orvoWrite51 (const std::string& path, const OrvoAudio& audio, std::string& error)
{
	if (audio.frames < 0 || audio.frames > (0xFFFFFFFFll - 100) / (6 * 4))
	{
		error = "too long for a WAV file";
		return false;
	}
	const uint32_t dataBytes = static_cast<uint32_t> (audio.frames * 6 * sizeof (float));
	std::vector<unsigned char> out;
	auto put = [&out] (const void* p, size_t n) {
		const auto* b = static_cast<const unsigned char*> (p);
		out.insert (out.end (), b, b + n);
	};
	auto put16 = [&out] (uint32_t v) {
		out.push_back (static_cast<unsigned char> (v));
		out.push_back (static_cast<unsigned char> (v >> 8));
	};
	auto put32 = [&] (uint32_t v) {
		put16 (v & 0xFFFF);
		put16 (v >> 16);
	};
	// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT
	const unsigned char subFormat[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
	                                     0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
	put ("RIFF", 4);
	put32 (4 + (8 + 40) + (8 + 4) + 8 + dataBytes);
	put ("WAVE", 4);
	put ("fmt ", 4);
	put32 (40);
	put16 (kFormatExtensible);
	put16 (6);
	put32 (static_cast<uint32_t> (audio.sampleRate));
	put32 (static_cast<uint32_t> (audio.sampleRate) * 6 * 4);
	put16 (6 * 4);
	put16 (32);
	put16 (22);
	put16 (32);
	put32 (kMask51);
	put (subFormat, sizeof (subFormat));
	put ("fact", 4);
	put32 (4);
	put32 (static_cast<uint32_t> (audio.frames));
	put ("data", 4);
	put32 (dataBytes);
	for (size_t i = 0; i < static_cast<size_t> (audio.frames) * 6; ++i)
	{
		uint32_t u;
		std::memcpy (&u, &audio.samples[i], sizeof (u));
		put32 (u);
	}
	File f (std::fopen (path.c_str (), "wb"));
	if (!f || std::fwrite (out.data (), 1, out.size (), f.get ()) != out.size () ||
	    std::fflush (f.get ()) != 0)
	{
		error = "cannot write the file";
		return false;
	}
	return true;
}
