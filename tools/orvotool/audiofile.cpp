#include "audiofile.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace orvotool {

namespace fs = std::filesystem;

namespace {

std::string lowerExt (const std::string& path)
{
	std::string e = fs::path (path).extension ().string ();
	std::transform (e.begin (), e.end (), e.begin (),
	                [] (unsigned char c) { return static_cast<char> (std::tolower (c)); });
	return e;
}

std::string partName (const std::string& output)
{
	const fs::path p (output);
	return (p.parent_path () / ("." + p.filename ().string () + ".part-" + std::to_string (getpid ())))
	    .string ();
}

uint64_t littleEndian (const unsigned char* b, int bytes)
{
	uint64_t v = 0;
	for (int k = bytes - 1; k >= 0; --k)
		v = v << 8 | b[k];
	return v;
}

// RIFF and RF64: 8-byte chunk headers, chunks padded to even sizes. An RF64
// file keeps the data size in its ds64 chunk.
int64_t riffDataFrames (std::ifstream& f, bool rf64)
{
	uint64_t dataBytes = 0, blockAlign = 0, ds64Data = 0;
	unsigned char h[8], body[28];
	f.seekg (12);
	while (f.read (reinterpret_cast<char*> (h), 8))
	{
		const uint64_t size = littleEndian (h + 4, 4);
		const std::streamoff next = f.tellg () + static_cast<std::streamoff> (size + (size & 1));
		if (std::memcmp (h, "ds64", 4) == 0 && f.read (reinterpret_cast<char*> (body), 16))
			ds64Data = littleEndian (body + 8, 8);
		else if (std::memcmp (h, "fmt ", 4) == 0 && f.read (reinterpret_cast<char*> (body), 14))
			blockAlign = littleEndian (body + 12, 2);
		else if (std::memcmp (h, "data", 4) == 0)
		{
			dataBytes = rf64 && size == 0xFFFFFFFFu ? ds64Data : size;
			break;
		}
		f.seekg (next);
	}
	return blockAlign ? static_cast<int64_t> (dataBytes / blockAlign) : 0;
}

// Wave64: 16-byte chunk identifiers (the first four bytes name the chunk),
// 64-bit sizes that count the 24-byte header, chunks padded to 8 bytes.
int64_t wave64DataFrames (std::ifstream& f)
{
	uint64_t blockAlign = 0;
	unsigned char h[24], body[14];
	f.seekg (40);
	while (f.read (reinterpret_cast<char*> (h), 24))
	{
		const uint64_t size = littleEndian (h + 16, 8);
		if (size < 24)
			return 0;
		const std::streamoff next = f.tellg () + static_cast<std::streamoff> (((size + 7) & ~7ull) - 24);
		if (std::memcmp (h, "fmt ", 4) == 0 && f.read (reinterpret_cast<char*> (body), 14))
			blockAlign = littleEndian (body + 12, 2);
		else if (std::memcmp (h, "data", 4) == 0)
			return blockAlign ? static_cast<int64_t> ((size - 24) / blockAlign) : 0;
		f.seekg (next);
	}
	return 0;
}

} // namespace

OutputLayout outputLayout (int formatIndex, bool withLfe)
{
	switch (formatIndex)
	{
		case 0:
			return {"Stereo", {0, 1}, {"L", "R"}, {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT}};
		case 1:
			return {"3 Channels", {0, 1, 2}, {"L", "R", "C"},
			        {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER}};
		case 2:
			return {"4 Channels", {0, 1, 4, 5}, {"L", "R", "Ls", "Rs"},
			        {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_REAR_LEFT,
			         SF_CHANNEL_MAP_REAR_RIGHT}};
		default:
			if (!withLfe)
				return {"5.0", {0, 1, 2, 4, 5}, {"L", "R", "C", "Ls", "Rs"},
				        {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER,
				         SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT}};
			return {"5.1", {0, 1, 2, 3, 4, 5}, {"L", "R", "C", "LFE", "Ls", "Rs"},
			        {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER, SF_CHANNEL_MAP_LFE,
			         SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT}};
	}
}

OutputLayout binauralLayout ()
{
	return {"Binaural", {0, 1}, {"Left ear", "Right ear"}, {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT}};
}

OutputLayout ambixLayout ()
{
	return {"AmbiX", {0, 1, 2, 3}, {"W", "Y", "Z", "X"}, {}};
}

int containerFor (const std::string& path)
{
	const std::string e = lowerExt (path);
	if (e == ".wav" || e == ".bwf")
		return SF_FORMAT_RF64; // written as WAVE, or RF64 once beyond 4 GB
	if (e == ".rf64")
		return SF_FORMAT_RF64;
	if (e == ".w64")
		return SF_FORMAT_W64;
	if (e == ".flac")
		return SF_FORMAT_FLAC;
	return 0;
}

int subtypeFor (const std::string& bits, int container)
{
	const std::string b = bits.empty () ? (container == SF_FORMAT_FLAC ? "24" : "32f") : bits;
	if (b == "16")
		return SF_FORMAT_PCM_16;
	if (b == "24")
		return SF_FORMAT_PCM_24;
	if (b == "32f")
		return container == SF_FORMAT_FLAC ? 0 : SF_FORMAT_FLOAT;
	return 0;
}

int64_t headerFrames (const std::string& path)
{
	std::ifstream f (path, std::ios::binary);
	char magic[12] {};
	if (!f.read (magic, sizeof magic))
		return 0;
	if (std::memcmp (magic + 8, "WAVE", 4) == 0 &&
	    (std::memcmp (magic, "RIFF", 4) == 0 || std::memcmp (magic, "RF64", 4) == 0))
		return riffDataFrames (f, std::memcmp (magic, "RF64", 4) == 0);
	if (std::memcmp (magic, "riff", 4) == 0)
		return wave64DataFrames (f);
	return 0; // FLAC: libsndfile reports the stream's own count
}

//------------------------------------------------------------------------
CapsuleReader::~CapsuleReader ()
{
	for (auto& s : sources)
		if (s.file)
			sf_close (s.file);
}

bool CapsuleReader::openFile (const std::string& path, std::string& error)
{
	Source s;
	s.path = path;
	s.file = sf_open (path.c_str (), SFM_READ, &s.info);
	if (!s.file)
	{
		std::error_code ec;
		error = path + ": " +
		        (fs::exists (path, ec) ? std::string ("cannot read: ") + sf_strerror (nullptr)
		                               : std::string ("no such file"));
		return false;
	}
	promised = std::max<int64_t> ({promised, s.info.frames, headerFrames (path)});
	sources.push_back (std::move (s));
	return true;
}

bool CapsuleReader::pickChannels (const std::vector<int>& channels, std::string& error)
{
	Source& s = sources[0];
	std::vector<int> pick = channels;
	if (pick.empty ())
	{
		if (s.info.channels != kCapsules)
		{
			error = s.path + ": " + std::to_string (s.info.channels) +
			        " channel(s); a capsule recording has 3 (front cardioid, figure-of-eight, "
			        "rear cardioid), or name them with --channels F,E,R";
			return false;
		}
		pick = {1, 2, 3};
	}
	for (int c : pick)
		if (c < 1 || c > s.info.channels)
		{
			error = s.path + ": has no channel " + std::to_string (c) + " (it has " +
			        std::to_string (s.info.channels) + ")";
			return false;
		}
	for (int k = 0; k < kCapsules; ++k)
		s.picks.push_back ({pick[static_cast<size_t> (k)] - 1, k});
	return true;
}

bool CapsuleReader::checkMonoFiles (std::string& error)
{
	const Source& first = sources[0];
	for (size_t k = 0; k < sources.size (); ++k)
	{
		Source& s = sources[k];
		if (s.info.channels != 1)
		{
			error = s.path + ": " + std::to_string (s.info.channels) +
			        " channels; --front, --eight and --rear each take a mono file";
			return false;
		}
		if (s.info.samplerate != first.info.samplerate || s.info.frames != first.info.frames)
		{
			error = s.path + ": " + std::to_string (s.info.frames) + " frames at " +
			        std::to_string (s.info.samplerate) + " Hz, but " + first.path + " has " +
			        std::to_string (first.info.frames) + " at " + std::to_string (first.info.samplerate) +
			        " Hz";
			return false;
		}
		s.picks.push_back ({0, static_cast<int> (k)});
	}
	return true;
}

bool CapsuleReader::open (const std::vector<std::string>& inputs, const std::vector<int>& channels,
                          std::string& error)
{
	for (const auto& path : inputs)
		if (!openFile (path, error))
			return false;
	if (!(sources.size () == 1 ? pickChannels (channels, error) : checkMonoFiles (error)))
		return false;
	if (frames () == 0)
	{
		error = sources[0].path + ": no audio (0 frames" +
		        (promised > 0 ? " of the " + std::to_string (promised) + " its header promises)" : ")");
		return false;
	}
	return true;
}

int CapsuleReader::read (float* const* capsules, int n, std::string& error)
{
	int frames = n;
	for (auto& s : sources)
	{
		scratch.resize (static_cast<size_t> (n) * static_cast<size_t> (s.info.channels));
		const sf_count_t got = sf_readf_float (s.file, scratch.data (), n);
		if (got < 0)
		{
			error = s.path + ": unreadable (" + sf_strerror (s.file) + ")";
			return -1;
		}
		frames = std::min (frames, static_cast<int> (got));
		for (const auto& [from, to] : s.picks)
			for (int i = 0; i < got; ++i)
				capsules[to][i] = scratch[static_cast<size_t> (i * s.info.channels + from)];
	}
	return frames;
}

//------------------------------------------------------------------------
DecodedWriter::~DecodedWriter ()
{
	if (file)
		sf_close (file);
	if (!finished && !part.empty ())
		std::remove (part.c_str ());
}

bool DecodedWriter::open (const std::string& output, int rate, const OutputLayout& layout,
                          const std::string& bits, std::string& error)
{
	path = output;
	container = containerFor (output);
	SF_INFO info {};
	info.samplerate = rate;
	info.channels = static_cast<int> (layout.busChannels.size ());
	info.format = container | subtypeFor (bits, container);
	part = partName (output);
	file = sf_open (part.c_str (), SFM_WRITE, &info);
	if (!file)
	{
		error = output + ": cannot write: " + sf_strerror (nullptr);
		return false;
	}
	if (container == SF_FORMAT_RF64 && lowerExt (output) != ".rf64")
		sf_command (file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
	sf_command (file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
	std::vector<int> map = layout.channelMap;
	noPositions = map.empty ();
	if (!map.empty ())
		sf_command (file, SFC_SET_CHANNEL_MAP_INFO, map.data (), static_cast<int> (map.size () * sizeof (int)));
	return true;
}

bool DecodedWriter::copyBroadcastInfo (SNDFILE* recording)
{
	// The recorder's broadcast chunk (time reference, description,
	// originator): the decode lines up with the recording sample for sample.
	SF_BROADCAST_INFO bext {};
	if (sf_command (recording, SFC_GET_BROADCAST_INFO, &bext, sizeof bext) != SF_TRUE)
		return true;
	return container != SF_FORMAT_FLAC &&
	       sf_command (file, SFC_SET_BROADCAST_INFO, &bext, sizeof bext) == SF_TRUE;
}

bool DecodedWriter::write (const float* interleaved, int64_t frames, std::string& error)
{
	if (sf_writef_float (file, interleaved, frames) == frames)
		return true;
	error = path + ": write failed: " + sf_strerror (file);
	return false;
}

namespace {

// Clears the channel mask of a finished WAVE, RF64 or Wave64 file of the
// extensible format: libsndfile writes a loudspeaker mask for every channel
// count and takes no map that says "no loudspeakers". False when the file
// cannot be patched; a file of another type is left as it is.
bool clearChannelMask (const std::string& path)
{
	std::fstream f (path, std::ios::in | std::ios::out | std::ios::binary);
	char head[40] = {};
	if (!f.read (head, sizeof head))
		return false;
	auto u32 = [] (const char* b) {
		return uint32_t (uint8_t (b[0])) | uint32_t (uint8_t (b[1])) << 8 | uint32_t (uint8_t (b[2])) << 16 |
		       uint32_t (uint8_t (b[3])) << 24;
	};
	// Chunks: RIFF and RF64 have a four-byte id and size after a 12-byte
	// header; Wave64 a 16-byte id (its first four bytes the RIFF id) and an
	// eight-byte size that counts the header, after a 40-byte header.
	const bool riff = std::memcmp (head, "RIFF", 4) == 0 || std::memcmp (head, "RF64", 4) == 0;
	const bool w64 = std::memcmp (head, "riff", 4) == 0;
	if (!riff && !w64)
		return true;
	const std::streamoff idSize = riff ? 4 : 16, headerSize = riff ? 8 : 24;
	std::streamoff at = riff ? 12 : 40;
	for (int chunks = 0; chunks < 64; ++chunks)
	{
		char chunk[24] = {};
		f.seekg (at);
		if (!f.read (chunk, headerSize))
			return false;
		uint64_t size = u32 (chunk + idSize);
		if (w64)
			size = (size | uint64_t (u32 (chunk + idSize + 4)) << 32) - 24;
		if (std::memcmp (chunk, "fmt ", 4) == 0)
		{
			char fmt[24] = {};
			if (size < 2 || !f.read (fmt, 2))
				return false;
			if (uint8_t (fmt[0]) != 0xFE || uint8_t (fmt[1]) != 0xFF)
				return true; // not extensible: no mask
			if (size < sizeof fmt)
				return false;
			const char zero[4] = {};
			f.seekp (at + headerSize + 20);
			return static_cast<bool> (f.write (zero, 4));
		}
		// RIFF chunks are padded to even sizes, Wave64 chunks to eight bytes.
		at += headerSize + static_cast<std::streamoff> (riff ? size + (size & 1) : (size + 7) / 8 * 8);
	}
	return false;
}

} // namespace

bool DecodedWriter::finish (std::string& error)
{
	const int closed = sf_close (file);
	file = nullptr;
	if (closed != 0)
	{
		error = path + ": write failed";
		return false;
	}
	if (noPositions && !clearChannelMask (part))
	{
		error = path + ": cannot clear the loudspeaker positions of its channels";
		return false;
	}
	std::error_code ec;
	fs::rename (part, path, ec);
	if (ec)
	{
		error = path + ": cannot rename the finished file into place: " + ec.message ();
		return false;
	}
	finished = true;
	return true;
}

} // namespace orvotool
