// WAV files for the Windows tests' render host and comparison: a small
// RIFF/WAVE reader and writer of our own (wavfile.cpp), built for Linux and
// for Windows from the same source, so both renders of the demo recording go
// through the same code: PCM 16/24/32-bit and float 32/64-bit WAV in, 32-bit
// float WAV out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OrvoAudio
{
	int sampleRate = 0;
	int channels = 0;
	int64_t frames = 0;
	std::vector<float> samples; // interleaved, frames * channels
};

// Reads a whole file; on failure returns false and says why in 'error'.
bool orvoReadAudio (const std::string& path, OrvoAudio& audio, std::string& error);

// Writes six interleaved channels (L, R, C, LFE, Ls, Rs) as 32-bit float WAV
// with the 5.1 channel mask.
bool orvoWrite51 (const std::string& path, const OrvoAudio& audio, std::string& error);
