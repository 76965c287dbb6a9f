// orvo_audiofile.h over libsndfile.

#include "orvo_audiofile.h"

#include <sndfile.h>

bool orvoReadAudio (const std::string& path, OrvoAudio& audio, std::string& error)
{
	SF_INFO info {};
	SNDFILE* file = sf_open (path.c_str (), SFM_READ, &info);
	if (!file)
	{
		error = sf_strerror (nullptr);
		return false;
	}
	audio.sampleRate = info.samplerate;
	audio.channels = info.channels;
	audio.frames = static_cast<int64_t> (info.frames);
	audio.samples.assign (static_cast<size_t> (audio.frames * audio.channels), 0.f);
	const sf_count_t got = sf_readf_float (file, audio.samples.data (), info.frames);
	sf_close (file);
	if (got != info.frames)
	{
		error = "short read";
		return false;
	}
	return true;
}

bool orvoWrite51 (const std::string& path, const OrvoAudio& audio, std::string& error)
{
	SF_INFO info {};
	info.samplerate = audio.sampleRate;
	info.channels = 6;
	info.format = SF_FORMAT_WAVEX | SF_FORMAT_FLOAT;
	SNDFILE* file = sf_open (path.c_str (), SFM_WRITE, &info);
	if (!file)
	{
		error = sf_strerror (nullptr);
		return false;
	}
	int channelMap[6] = {SF_CHANNEL_MAP_LEFT,      SF_CHANNEL_MAP_RIGHT,
	                     SF_CHANNEL_MAP_CENTER,    SF_CHANNEL_MAP_LFE,
	                     SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT};
	sf_command (file, SFC_SET_CHANNEL_MAP_INFO, channelMap, sizeof (channelMap));
	const sf_count_t written = sf_writef_float (file, audio.samples.data (), audio.frames);
	sf_close (file);
	if (written != audio.frames)
	{
		error = "short write";
		return false;
	}
	return true;
}
