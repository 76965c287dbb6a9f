// The files of a decode: capsule recordings read block by block (one file,
// or three mono files), and the decoded file written under a temporary name
// with the output format's channel mask and the recording's broadcast chunk.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvotool {

constexpr int kCapsules = 3;

// The output channels of an output format, in file order.
struct OutputLayout
{
	std::string name;              // "Stereo", "5.1", ...
	std::vector<int> busChannels;  // indices into the plug-in's 5.1 bus (L R C LFE Ls Rs)
	std::vector<std::string> channelNames;
	std::vector<int> channelMap;   // libsndfile channel-map codes (the WAVE channel mask)
};

// Output Format index 0 to 3; withLfe chooses 5.1 over 5.0 for index 3.
OutputLayout outputLayout (int formatIndex, bool withLfe);
// Two ears, from the monitor's stereo bus.
OutputLayout binauralLayout ();
// W, Y, Z, X (ACN order, SN3D), from the AmbiX converter's bus. No channel
// mask: the channels are no loudspeakers.
OutputLayout ambixLayout ();

// The libsndfile container for an output name; 0 for an unknown extension.
int containerFor (const std::string& path);
// The libsndfile sample format for "16", "24", "32f" or "" (the container's
// default); 0 when the container cannot hold it.
int subtypeFor (const std::string& bits, int container);

// The frames a file's header promises: the data chunk's size (WAVE, RF64,
// Wave64) or the stream's sample count (FLAC). 0 when unknown.
int64_t headerFrames (const std::string& path);

// The capsule recording, read block by block.
class CapsuleReader
{
public:
	CapsuleReader () = default;
	CapsuleReader (const CapsuleReader&) = delete;
	CapsuleReader& operator= (const CapsuleReader&) = delete;
	~CapsuleReader ();

	// One file (its channels 1, 2, 3 or the 1-based 'channels') or three
	// mono files (front, eight, rear). False with a message for a file that
	// cannot be read, a wrong channel count or an empty recording.
	bool open (const std::vector<std::string>& inputs, const std::vector<int>& channels, std::string& error);

	int rate () const { return sources[0].info.samplerate; }
	// The frames there are to read (fewer than promised in a truncated file).
	int64_t frames () const { return sources[0].info.frames; }
	// The frames the header promised; more than frames () when truncated.
	int64_t promisedFrames () const { return promised; }
	SNDFILE* first () { return sources[0].file; }

	// Reads up to n frames into the three capsule buffers; the frames read,
	// fewer at the recording's end; -1 with a message when a file fails.
	int read (float* const* capsules, int n, std::string& error);

private:
	struct Source
	{
		std::string path;
		SNDFILE* file {nullptr};
		SF_INFO info {};
		std::vector<std::pair<int, int>> picks; // file channel -> capsule
	};
	bool openFile (const std::string& path, std::string& error);
	bool pickChannels (const std::vector<int>& channels, std::string& error);
	bool checkMonoFiles (std::string& error);

	std::vector<Source> sources;
	std::vector<float> scratch;
	int64_t promised {0};
};

// The decoded file, written under a hidden temporary name beside it and
// renamed into place when complete.
class DecodedWriter
{
public:
	DecodedWriter () = default;
	DecodedWriter (const DecodedWriter&) = delete;
	DecodedWriter& operator= (const DecodedWriter&) = delete;
	// Removes the temporary file unless finished.
	~DecodedWriter ();

	bool open (const std::string& path, int rate, const OutputLayout& layout, const std::string& bits,
	           std::string& error);
	// Copies the recording's broadcast chunk; false when the recording has
	// one and the output type has no place for it.
	bool copyBroadcastInfo (SNDFILE* recording);
	bool write (const float* interleaved, int64_t frames, std::string& error);
	// Closes and renames into place; false with a message.
	bool finish (std::string& error);

private:
	std::string path, part;
	SNDFILE* file {nullptr};
	int container {0};
	bool noPositions {false}; // channels without a loudspeaker position (AmbiX)
	bool finished {false};
};

} // namespace orvotool
