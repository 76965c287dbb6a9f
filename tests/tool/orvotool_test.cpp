// orvotool end to end: generated recordings decoded by the command through
// the bundle of this build, its files read back.
#include "orvo_scene.h"
#include "params/orvotoolaccess.h"
#include "testhost.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Steinberg {
namespace Vst {
DEF_CLASS_IID (IOrvoToolAccess)
DEF_CLASS_IID (IOrvoToolVersion)
} // namespace Vst
} // namespace Steinberg

namespace {

namespace fs = std::filesystem;
using orvotest::Audio;
using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr int kRate = 48000;

struct Outcome
{
	int status {-1};
	std::string out, err;
	long maxRssKb {0};
};

// Starts orvotool with a bundle (this build's by default) in 'dir', its
// standard output and error going to files there.
pid_t startOrvotool (const std::vector<std::string>& args, const fs::path& dir,
                     const std::string& bundle = ORVO_BUNDLE_PATH)
{
	std::vector<std::string> all = {ORVOTOOL_PATH, "--plugin", bundle};
	all.insert (all.end (), args.begin (), args.end ());
	std::vector<char*> argv;
	for (auto& a : all)
		argv.push_back (a.data ());
	argv.push_back (nullptr);
	const std::string outPath = (dir / "stdout.txt").string (), errPath = (dir / "stderr.txt").string ();
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init (&actions);
	posix_spawn_file_actions_addopen (&actions, 1, outPath.c_str (), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	posix_spawn_file_actions_addopen (&actions, 2, errPath.c_str (), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	posix_spawn_file_actions_addchdir_np (&actions, dir.c_str ());
	pid_t pid = 0;
	if (posix_spawn (&pid, argv[0], &actions, nullptr, argv.data (), environ) != 0)
		pid = -1;
	posix_spawn_file_actions_destroy (&actions);
	return pid;
}

// Waits for a started orvotool; its output, exit status and peak resident
// memory.
Outcome finish (pid_t pid, const fs::path& dir)
{
	Outcome r;
	if (pid > 0)
	{
		int status = 0;
		rusage usage {};
		wait4 (pid, &status, 0, &usage);
		r.status = WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);
		r.maxRssKb = usage.ru_maxrss;
	}
	auto slurp = [] (const fs::path& p) {
		std::ifstream f (p);
		std::stringstream s;
		s << f.rdbuf ();
		return s.str ();
	};
	r.out = slurp (dir / "stdout.txt");
	r.err = slurp (dir / "stderr.txt");
	return r;
}

Outcome orvotool (const std::vector<std::string>& args, const fs::path& dir,
                  const std::string& bundle = ORVO_BUNDLE_PATH)
{
	return finish (startOrvotool (args, dir, bundle), dir);
}

struct Wav
{
	Audio audio;
	SF_INFO info {};
	SF_BROADCAST_INFO bext {};
	bool hasBext {false};
};

bool writeWav (const fs::path& path, const Audio& a, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT,
               const SF_BROADCAST_INFO* bext = nullptr, int rate = kRate)
{
	SF_INFO info {};
	info.samplerate = rate;
	info.channels = static_cast<int> (a.size ());
	info.format = format;
	SNDFILE* f = sf_open (path.c_str (), SFM_WRITE, &info);
	if (!f)
		return false;
	if (bext)
		sf_command (f, SFC_SET_BROADCAST_INFO, const_cast<SF_BROADCAST_INFO*> (bext), sizeof *bext);
	const size_t n = a[0].size (), c = a.size ();
	std::vector<float> inter (n * c);
	for (size_t i = 0; i < n; ++i)
		for (size_t k = 0; k < c; ++k)
			inter[i * c + k] = a[k][i];
	const bool ok = sf_writef_float (f, inter.data (), static_cast<sf_count_t> (n)) == static_cast<sf_count_t> (n);
	return sf_close (f) == 0 && ok;
}

Wav readWav (const fs::path& path)
{
	Wav w;
	SNDFILE* f = sf_open (path.c_str (), SFM_READ, &w.info);
	if (!f)
		return w;
	w.hasBext = sf_command (f, SFC_GET_BROADCAST_INFO, &w.bext, sizeof w.bext) == SF_TRUE;
	const size_t n = static_cast<size_t> (w.info.frames), c = static_cast<size_t> (w.info.channels);
	std::vector<float> inter (n * c);
	sf_readf_float (f, inter.data (), w.info.frames);
	sf_close (f);
	w.audio.assign (c, std::vector<float> (n));
	for (size_t i = 0; i < n; ++i)
		for (size_t k = 0; k < c; ++k)
			w.audio[k][i] = inter[i * c + k];
	return w;
}

std::string bytes (const fs::path& p)
{
	std::ifstream f (p, std::ios::binary);
	std::stringstream s;
	s << f.rdbuf ();
	return s.str ();
}

// The WAVE channel mask of a WAVE_FORMAT_EXTENSIBLE file; 0 when it has none.
uint32_t channelMask (const fs::path& p)
{
	const std::string b = bytes (p);
	const size_t fmt = b.find ("fmt ");
	if (fmt == std::string::npos || b.size () < fmt + 8 + 24)
		return 0;
	auto u16 = [&] (size_t at) { return uint32_t (uint8_t (b[at])) | uint32_t (uint8_t (b[at + 1])) << 8; };
	if (u16 (fmt + 8) != 0xFFFE)
		return 0;
	return u16 (fmt + 8 + 20) | u16 (fmt + 8 + 22) << 16;
}

// A fresh folder per test.
class OrvotoolTest : public ::testing::Test
{
protected:
	void SetUp () override
	{
		const auto* info = ::testing::UnitTest::GetInstance ()->current_test_info ();
		dir = fs::current_path () / "orvotool_work" / (std::string (info->test_suite_name ()) + "." + info->name ());
		fs::remove_all (dir);
		fs::create_directories (dir);
	}
	Outcome run (const std::vector<std::string>& args) { return orvotool (args, dir); }
	fs::path dir;
};

// A plane wave of noise from an azimuth (degrees), as the three capsules
// pick it up, 'seconds' long.
Audio planeWave (double azimuthDeg, double seconds, uint64_t seed = 1, int rate = kRate)
{
	const auto n = static_cast<size_t> (seconds * rate);
	orvo_scene::Capsules c (n);
	orvo_scene::add_plane_wave (c, orvo_scene::band_noise (n, seed, 0.1f, rate, 200.0, 6000.0),
	                            azimuthDeg * orvo_scene::kPi / 180.0);
	orvo_scene::apply_figure_of_eight_rolloff (c.f8, rate);
	return {c.fc, c.f8, c.rc};
}

double rmsDb (const std::vector<float>& x)
{
	return orvo_scene::rms_db (x.data (), x.size () / 4, x.size ());
}

size_t argmaxAbs (const std::vector<float>& x)
{
	size_t best = 0;
	for (size_t i = 0; i < x.size (); ++i)
		if (std::fabs (x[i]) > std::fabs (x[best]))
			best = i;
	return best;
}

//------------------------------------------------------------------------
TEST_F (OrvotoolTest, OutputLinesUpWithTheInputAndMatchesTheTestHost)
{
	// An impulse from the front and one from behind: the latency is removed,
	// so the centre peaks where the front impulse is, and the surrounds peak
	// where the rear impulse is plus the Rear Delay (20 ms, in the host's ms).
	Audio in (3, std::vector<float> (kRate, 0.f));
	in[0][12000] = 1.f;  // front cardioid only: straight ahead
	in[2][30000] = 1.f;  // rear cardioid only: straight behind
	ASSERT_TRUE (writeWav (dir / "imp.wav", in));
	Outcome r = run ({"render", "imp.wav", "-o", "plain.wav", "--no-tail"});
	ASSERT_EQ (r.status, 0) << r.err;
	Wav out = readWav (dir / "plain.wav");
	ASSERT_EQ (out.info.channels, 6);
	ASSERT_EQ (out.info.frames, kRate);
	EXPECT_EQ (argmaxAbs (std::vector<float> (out.audio[2].begin (), out.audio[2].begin () + 20000)), 12000u);
	EXPECT_EQ (argmaxAbs (out.audio[4]), 30000u);

	r = run ({"render", "imp.wav", "-o", "delayed.wav", "--no-tail", "--set", "Rear Delay On/Off=On", "--set",
	          "Rear Delay=20"});
	ASSERT_EQ (r.status, 0) << r.err;
	out = readWav (dir / "delayed.wav");
	EXPECT_EQ (argmaxAbs (out.audio[4]), 30000u + 960u);
	EXPECT_EQ (argmaxAbs (out.audio[5]), 30000u + 960u);

	// The same signal through the test host's own driving, with the latency
	// it reports: the same samples.
	const Audio signal = orvotest::capsuleSignal (3 * kRate, 7);
	ASSERT_TRUE (writeWav (dir / "sig.wav", signal));
	r = run ({"render", "sig.wav", "-o", "sig_out.wav", "--no-tail", "--block", "512"});
	ASSERT_EQ (r.status, 0) << r.err;
	const Wav tool = readWav (dir / "sig_out.wav");
	orvotest::PluginInstance host;
	ASSERT_TRUE (host.valid ());
	ASSERT_EQ (host.setup (kRate, 512), Steinberg::kResultOk);
	const int latency = host.proc ()->getLatencySamples ();
	ASSERT_EQ (host.activate (true), Steinberg::kResultOk);
	const Audio ref = host.render (signal, {512});
	// Up to the test host's last whole block (it leaves a short last block
	// to the ring's pre-fill).
	const int whole = 3 * kRate / 512 * 512;
	EXPECT_EQ (orvotest::maxDifference (tool.audio, ref, 0, whole - latency, latency), 0.f);
}

TEST_F (OrvotoolTest, DecodesAtEveryRateFromEightTo384kHz)
{
	// Video's pull-down rate and the highest rate hosts offer decode as 48 kHz
	// does: a source from the left comes out of L. Below 8 kHz the tool says
	// the plug-in cannot decode the file.
	for (int rate : {47952, 384000})
	{
		const std::string name = "left" + std::to_string (rate);
		ASSERT_TRUE (writeWav (dir / (name + ".wav"), planeWave (80.0, 1.0, 1, rate), SF_FORMAT_WAV | SF_FORMAT_FLOAT,
		                       nullptr, rate));
		const Outcome r = run ({"render", name + ".wav", "-o", name + "_out.wav", "--no-tail"});
		ASSERT_EQ (r.status, 0) << r.err;
		const Wav out = readWav (dir / (name + "_out.wav"));
		EXPECT_EQ (out.info.samplerate, rate);
		ASSERT_EQ (out.info.channels, 6);
		for (size_t j : {1, 2, 4, 5})
			EXPECT_GT (rmsDb (out.audio[0]), rmsDb (out.audio[j]) + 6.0) << rate << " Hz, channel " << j;
	}
	ASSERT_TRUE (writeWav (dir / "low.wav", Audio (3, std::vector<float> (4000, 0.f)), SF_FORMAT_WAV | SF_FORMAT_FLOAT,
	                       nullptr, 4000));
	const Outcome r = run ({"render", "low.wav", "-o", "low_out.wav"});
	EXPECT_NE (r.status, 0);
	EXPECT_NE (r.err.find ("does not decode at 4000 Hz"), std::string::npos) << r.err;
}

TEST_F (OrvotoolTest, SettingsByTitleInTheHostsTextAndRefusedBeforeAnyFile)
{
	const Audio in = planeWave (30.0, 1.0);
	ASSERT_TRUE (writeWav (dir / "in.wav", in));
	// Title or short title, any case, blanks around the name.
	ASSERT_EQ (run ({"render", "in.wav", "-o", "a.wav", "--set", "Width=70", "--set", "Mic Response C=0.5"}).status, 0);
	ASSERT_EQ (run ({"render", "--set", " width =70", "--set", "MICROPHONE RESPONSE C=0.5", "in.wav", "-o",
	                 "b.wav"}).status, 0);
	ASSERT_EQ (run ({"render", "in.wav", "-o", "c.wav"}).status, 0);
	EXPECT_EQ (bytes (dir / "a.wav"), bytes (dir / "b.wav"));
	EXPECT_NE (bytes (dir / "a.wav"), bytes (dir / "c.wav"));

	const std::vector<std::pair<std::string, std::string>> refused = {
	    {"Widht=70", "no parameter"},   {"Width=abc", "not a value"},       {"Width=nan", "NaN"},
	    {"Width=1000", "outside"},       {"Width=29", "outside"},            {"Output Format=7", "outside"},
	    {"Rear Delay=60", "outside"},    {"Gain C=-30", "outside"},          {"Vu Out Left=0.5", "meter"},
	    {"Width", "Name=value"},         {"Direction=nan", "NaN"},           {"Bypass=On", "host's switch"},
	};
	for (const auto& [setting, reason] : refused)
	{
		Outcome r = run ({"render", "in.wav", "-o", "refused.wav", "--set", setting});
		EXPECT_EQ (r.status, 2) << setting;
		EXPECT_NE (r.err.find (reason), std::string::npos) << setting << ": " << r.err;
		EXPECT_FALSE (fs::exists (dir / "refused.wav")) << setting;
	}
	// The host's words and ends: switch texts, list entries in any case, -inf.
	for (const std::string ok : {"Mute C=On", "Output Format=4 channels", "Output Format=2", "Gain C=-inf",
	                             "Gain C=-\xE2\x88\x9E", "Rear Delay=0", "Rear Delay=50", "Diffuse Gain=+0.0"})
		EXPECT_EQ (run ({"render", "in.wav", "-o", "ok.wav", "--force", "--set", ok}).status, 0) << ok;
}

TEST_F (OrvotoolTest, OutputFormatLoadsItsPresetRowThenLaterSettingsApply)
{
	// A source straight behind: with the Stereo row (Width 50, Rear Width
	// 180, Mic Response C and Ls/Rs 0.5) it sits about 34 dB below a front
	// source in L; with only the format changed and the 5 Channels values
	// kept, about 3 dB below.
	ASSERT_TRUE (writeWav (dir / "front.wav", planeWave (0.0, 2.0)));
	ASSERT_TRUE (writeWav (dir / "rear.wav", planeWave (180.0, 2.0)));
	for (const char* name : {"front", "rear"})
		ASSERT_EQ (run ({"render", std::string (name) + ".wav", "-o", std::string (name) + "_st.wav", "--set",
		                 "Output Format=Stereo"}).status, 0);
	const Wav front = readWav (dir / "front_st.wav"), rear = readWav (dir / "rear_st.wav");
	ASSERT_EQ (front.info.channels, 2);
	EXPECT_EQ (channelMask (dir / "front_st.wav"), 0x3u); // front left, front right
	const double frontDb = rmsDb (front.audio[0]), rearDb = rmsDb (rear.audio[0]);
	EXPECT_LT (rearDb, frontDb - 20.0) << "front " << frontDb << " dB, rear " << rearDb << " dB";

	// Settings after the format override its row; before it, the row wins.
	// A setting the row replaces is named in a warning.
	const Outcome after = run ({"render", "front.wav", "-o", "after.wav", "--set", "Output Format=Stereo", "--set",
	                        "Width=80"});
	ASSERT_EQ (after.status, 0);
	EXPECT_EQ (after.err.find ("warning"), std::string::npos) << after.err;
	const Outcome before = run ({"render", "front.wav", "-o", "before.wav", "--set", "Width=80", "--set",
	                         "Output Format=Stereo"});
	ASSERT_EQ (before.status, 0);
	EXPECT_NE (before.err.find ("warning: \"Output Format=Stereo\" loads its preset row and replaces "
	                            "\"Width=80\""),
	           std::string::npos)
	    << before.err;
	EXPECT_EQ (bytes (dir / "before.wav"), bytes (dir / "front_st.wav"));
	EXPECT_NE (bytes (dir / "after.wav"), bytes (dir / "front_st.wav"));

	// Channel layouts and masks of the other formats (the WAVE speaker bits:
	// 1 L, 2 R, 4 C, 8 LFE, 0x10 back left, 0x20 back right).
	const std::vector<std::tuple<const char*, int, uint32_t>> layouts = {
	    {"3 Channels", 3, 0x7u}, {"4 Channels", 4, 0x33u}, {"5 Channels", 6, 0x3Fu}};
	for (const auto& [format, channels, mask] : layouts)
	{
		ASSERT_EQ (run ({"render", "front.wav", "-o", "l.wav", "--force", "--bits", "24", "--set",
		                 std::string ("Output Format=") + format}).status, 0);
		const Wav w = readWav (dir / "l.wav");
		EXPECT_EQ (w.info.channels, channels) << format;
		EXPECT_EQ (w.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
		EXPECT_EQ (channelMask (dir / "l.wav"), mask) << format;
	}
	ASSERT_EQ (run ({"render", "front.wav", "-o", "five.wav", "--no-lfe"}).status, 0);
	EXPECT_EQ (readWav (dir / "five.wav").info.channels, 5);
	EXPECT_EQ (channelMask (dir / "five.wav"), 0x37u);
}

TEST_F (OrvotoolTest, PresetRoundTrip)
{
	ASSERT_TRUE (writeWav (dir / "in.wav", planeWave (60.0, 1.0)));
	const std::vector<std::string> sets = {"--set", "Output Format=4 Channels", "--set", "Width=70",
	                                       "--set", "Mute C=On", "--set", "Gain L/R=-6"};
	std::vector<std::string> args = {"preset", "p.vstpreset"};
	args.insert (args.end (), sets.begin (), sets.end ());
	ASSERT_EQ (run (args).status, 0);
	Outcome show = run ({"preset", "--show", "p.vstpreset"});
	ASSERT_EQ (show.status, 0) << show.err;
	EXPECT_NE (show.out.find ("4 Channels"), std::string::npos) << show.out;
	EXPECT_NE (show.out.find ("70"), std::string::npos) << show.out;

	args = {"render", "in.wav", "-o", "by_sets.wav"};
	args.insert (args.end (), sets.begin (), sets.end ());
	ASSERT_EQ (run (args).status, 0);
	ASSERT_EQ (run ({"render", "in.wav", "-o", "by_preset.wav", "--preset", "p.vstpreset"}).status, 0);
	EXPECT_EQ (bytes (dir / "by_sets.wav"), bytes (dir / "by_preset.wav"));
	EXPECT_EQ (readWav (dir / "by_preset.wav").info.channels, 4);

	// Not a preset: refused before any output.
	std::ofstream (dir / "junk.vstpreset") << "not a preset";
	Outcome r = run ({"render", "in.wav", "-o", "junk.wav", "--preset", "junk.vstpreset"});
	EXPECT_EQ (r.status, 2);
	EXPECT_NE (r.err.find ("junk.vstpreset"), std::string::npos);
	EXPECT_FALSE (fs::exists (dir / "junk.wav"));
}

TEST_F (OrvotoolTest, MonoFilesFourChannelsAndBroadcastChunk)
{
	const Audio in = planeWave (-45.0, 1.5);
	SF_BROADCAST_INFO bext {};
	std::strcpy (bext.description, "scene 4 take 2");
	std::strcpy (bext.originator, "field recorder");
	bext.time_reference_low = 0x12345678u;
	bext.time_reference_high = 0x1u;
	ASSERT_TRUE (writeWav (dir / "poly.wav", in, SF_FORMAT_WAV | SF_FORMAT_PCM_24, &bext));
	ASSERT_TRUE (writeWav (dir / "f.wav", {in[0]}, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
	ASSERT_TRUE (writeWav (dir / "e.wav", {in[1]}, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
	ASSERT_TRUE (writeWav (dir / "r.wav", {in[2]}, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
	ASSERT_TRUE (writeWav (dir / "four.flac", {in[2], in[0], in[1], in[2]}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24));

	ASSERT_EQ (run ({"render", "poly.wav", "-o", "poly_out.w64"}).status, 0);
	ASSERT_EQ (run ({"render", "--front", "f.wav", "--eight", "e.wav", "--rear", "r.wav", "-o", "mono_out.w64"}).status, 0);
	ASSERT_EQ (run ({"render", "four.flac", "--channels", "2,3,1", "-o", "four_out.w64"}).status, 0);
	EXPECT_EQ (bytes (dir / "poly_out.w64"), bytes (dir / "mono_out.w64"));
	EXPECT_EQ (bytes (dir / "poly_out.w64"), bytes (dir / "four_out.w64"));
	Outcome r = run ({"render", "four.flac", "-o", "x.wav"});
	EXPECT_EQ (r.status, 1);
	EXPECT_NE (r.err.find ("--channels"), std::string::npos);

	// The broadcast chunk comes along: the decode sits at the recording's
	// place on an editor's timeline.
	ASSERT_EQ (run ({"render", "poly.wav", "-o", "bwf_out.wav", "--bits", "24"}).status, 0);
	const Wav out = readWav (dir / "bwf_out.wav");
	ASSERT_TRUE (out.hasBext);
	EXPECT_EQ (out.bext.time_reference_low, 0x12345678u);
	EXPECT_EQ (out.bext.time_reference_high, 0x1u);
	EXPECT_STREQ (out.bext.description, "scene 4 take 2");
	EXPECT_STREQ (out.bext.originator, "field recorder");
}

TEST_F (OrvotoolTest, BadInputsAndOutputsLeaveOtherFilesAlone)
{
	ASSERT_TRUE (writeWav (dir / "good.wav", planeWave (0.0, 0.5)));
	std::ofstream (dir / "corrupt.wav") << std::string (5000, 'x');
	fs::create_directories (dir / "out");

	// A corrupt and a missing input fail; the good one is decoded.
	Outcome r = run ({"render", "corrupt.wav", "missing.wav", "good.wav", "--outdir", "out", "-j", "2"});
	EXPECT_EQ (r.status, 1);
	EXPECT_NE (r.err.find ("corrupt.wav"), std::string::npos) << r.err;
	EXPECT_NE (r.err.find ("missing.wav: no such file"), std::string::npos) << r.err;
	EXPECT_TRUE (fs::exists (dir / "out" / "good_decoded.wav"));
	EXPECT_FALSE (fs::exists (dir / "out" / "corrupt_decoded.wav"));
	size_t files = 0;
	for ([[maybe_unused]] const auto& e : fs::directory_iterator (dir / "out"))
		++files;
	EXPECT_EQ (files, 1u) << "no partial file remains";

	// An existing output is neither overwritten nor decoded over; nothing is.
	std::ofstream (dir / "out" / "keep_decoded.wav") << "mine";
	fs::copy_file (dir / "good.wav", dir / "keep.wav");
	fs::copy_file (dir / "good.wav", dir / "other.wav");
	r = run ({"render", "keep.wav", "other.wav", "--outdir", "out"});
	EXPECT_EQ (r.status, 2);
	EXPECT_NE (r.err.find ("keep_decoded.wav: exists"), std::string::npos) << r.err;
	EXPECT_EQ (bytes (dir / "out" / "keep_decoded.wav"), "mine");
	EXPECT_FALSE (fs::exists (dir / "out" / "other_decoded.wav"));
	r = run ({"render", "keep.wav", "other.wav", "--outdir", "out", "--skip-existing"});
	EXPECT_EQ (r.status, 0);
	EXPECT_EQ (bytes (dir / "out" / "keep_decoded.wav"), "mine");
	EXPECT_TRUE (fs::exists (dir / "out" / "other_decoded.wav"));
	EXPECT_EQ (run ({"render", "keep.wav", "--outdir", "out", "--force"}).status, 0);
	EXPECT_EQ (readWav (dir / "out" / "keep_decoded.wav").info.channels, 6);

	// An output that cannot be written is found before decoding.
	std::ofstream (dir / "plainfile") << "x";
	r = run ({"render", "good.wav", "-o", "plainfile/out.wav"});
	EXPECT_EQ (r.status, 2);
	EXPECT_NE (r.err.find ("plainfile/out.wav"), std::string::npos) << r.err;
	r = run ({"render", "good.wav", "-o", "out.mp3"});
	EXPECT_EQ (r.status, 2);
	r = run ({"render", "good.wav", "-o", "o.flac", "--bits", "32f"});
	EXPECT_EQ (r.status, 2);
	EXPECT_FALSE (fs::exists (dir / "o.flac"));

	// Help on the standard output; usage errors say why.
	r = run ({"--help"});
	EXPECT_EQ (r.status, 0);
	EXPECT_NE (r.out.find ("render"), std::string::npos);
	r = run ({"render", "good.wav", "--block", "0"});
	EXPECT_EQ (r.status, 2);
	EXPECT_NE (r.err.find ("--block"), std::string::npos);
}

TEST_F (OrvotoolTest, FilesInParallelGiveTheSameBytesAsOneAtATime)
{
	for (int k = 0; k < 3; ++k)
		ASSERT_TRUE (writeWav (dir / ("in" + std::to_string (k) + ".wav"), planeWave (40.0 * k, 1.0, 10 + k)));
	fs::create_directories (dir / "one");
	fs::create_directories (dir / "three");
	ASSERT_EQ (run ({"render", "in0.wav", "in1.wav", "in2.wav", "--outdir", "one", "-j", "1"}).status, 0);
	ASSERT_EQ (run ({"render", "in0.wav", "in1.wav", "in2.wav", "--outdir", "three", "-j", "3"}).status, 0);
	for (int k = 0; k < 3; ++k)
	{
		const std::string name = "in" + std::to_string (k) + "_decoded.wav";
		EXPECT_EQ (bytes (dir / "one" / name), bytes (dir / "three" / name)) << name;
	}
}

// Cost: two decodes of mostly silent FLAC input (1 and 10 minutes, about
// 3 s of decoding in all) with the fast Stereo settings.
TEST_F (OrvotoolTest, MemoryStaysFlatOnALongInput)
{
	for (int minutes : {1, 10})
	{
		SF_INFO info {};
		info.samplerate = kRate;
		info.channels = 3;
		info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
		const fs::path p = dir / ("long" + std::to_string (minutes) + ".flac");
		SNDFILE* f = sf_open (p.c_str (), SFM_WRITE, &info);
		ASSERT_NE (f, nullptr);
		const Audio burst = planeWave (20.0, 1.0);
		std::vector<float> block (static_cast<size_t> (kRate) * 3, 0.f);
		for (int s = 0; s < minutes * 60; ++s)
		{
			for (size_t i = 0; i < static_cast<size_t> (kRate); ++i)
				for (size_t c = 0; c < 3; ++c)
					block[i * 3 + c] = s == 0 ? burst[c][i] : 0.f;
			ASSERT_EQ (sf_writef_float (f, block.data (), kRate), kRate);
		}
		sf_close (f);
	}
	const std::vector<std::string> fast = {"--set", "Output Format=Stereo", "--set", "Beamshaping=Off",
	                                       "--bits", "16", "-q"};
	std::vector<std::string> a1 = {"render", "long1.flac", "-o", "long1_out.flac"};
	std::vector<std::string> a10 = {"render", "long10.flac", "-o", "long10_out.flac"};
	a1.insert (a1.end (), fast.begin (), fast.end ());
	a10.insert (a10.end (), fast.begin (), fast.end ());
	const Outcome r1 = run (a1), r10 = run (a10);
	ASSERT_EQ (r1.status, 0) << r1.err;
	ASSERT_EQ (r10.status, 0) << r10.err;
	std::printf ("peak RSS: 1 minute %ld kB, 10 minutes %ld kB\n", r1.maxRssKb, r10.maxRssKb);
	EXPECT_EQ (readWav (dir / "long10_out.flac").info.frames > 10LL * 60 * kRate, true);
	// Streaming: ten times the audio, the same memory (give or take the
	// allocator's slack); the whole-file tool needed hundreds of MB here.
	EXPECT_LT (r10.maxRssKb, r1.maxRssKb + 16 * 1024);
	EXPECT_LT (r10.maxRssKb, 100 * 1024);
}

TEST_F (OrvotoolTest, DemoReportFailsWhenSourcesLandElsewhere)
{
	Outcome r = run ({"demo", "--dir", "demo"});
	ASSERT_EQ (r.status, 0) << r.out << r.err;
	EXPECT_NE (r.out.find ("every source is loudest"), std::string::npos);
	// The same scene turned round by 180 degrees: every source in the wrong
	// channel, and the report says so.
	ASSERT_EQ (run ({"render", "demo/demo_capsules.wav", "-o", "turned.wav", "--set", "Direction=180"}).status, 0);
	r = run ({"demo", "--dir", "demo", "--report", "turned.wav"});
	EXPECT_EQ (r.status, 1) << r.out;
	EXPECT_NE (r.out.find ("FAIL"), std::string::npos);
	r = run ({"demo", "--dir", "demo", "--report", "missing.wav"});
	EXPECT_EQ (r.status, 1);
}

TEST_F (OrvotoolTest, PolarPictureAndParameterListing)
{
	Outcome r = run ({"polar", "p.png", "--set", "Output Format=Stereo"});
	ASSERT_EQ (r.status, 0) << r.err;
	EXPECT_EQ (bytes (dir / "p.png").substr (1, 3), "PNG");
	ASSERT_EQ (run ({"polar", "q.png", "--set", "Width=40"}).status, 0);
	EXPECT_NE (bytes (dir / "p.png"), bytes (dir / "q.png"));
	EXPECT_EQ (run ({"polar", "p.png"}).status, 2); // exists

	r = run ({"params", "--json"});
	ASSERT_EQ (r.status, 0);
	EXPECT_NE (r.out.find ("\"title\": \"Rear Lowpass\""), std::string::npos);
	EXPECT_NE (r.out.find ("\"formatPresets\""), std::string::npos);
}

//------------------------------------------------------------------------
// The value a `preset` run prints for a setting (its line is the title in a
// column of 26 characters, then the value); "" when there is none.
std::string shown (const Outcome& r, const std::string& title)
{
	std::istringstream lines (r.out);
	for (std::string line; std::getline (lines, line);)
		if (line.size () > 29 && line.compare (0, 29, "  " + title + std::string (27 - title.size (), ' ')) == 0)
			return line.substr (29);
	return {};
}

// A --set argument per setting after the others.
std::vector<std::string> withSets (std::vector<std::string> args, const std::vector<std::string>& sets)
{
	for (const auto& s : sets)
		args.insert (args.end (), {"--set", s});
	return args;
}

// An environment variable for the programs started while it lives.
class ScopedEnv
{
public:
	ScopedEnv (const char* name, const char* value) : name (name)
	{
		value ? setenv (name, value, 1) : unsetenv (name);
	}
	~ScopedEnv () { unsetenv (name); }

private:
	const char* name;
};

TEST (OrvotoolInterface, TheControllerTellsItsVersionAndRefusesAResponseRecordOfAnother)
{
	// The controller as any host reaches it: the class the processor names,
	// from the bundle's factory.
	auto module = orvotest::loadModule ();
	orvotest::PluginInstance plugin;
	ASSERT_TRUE (module && plugin.valid ());
	TUID cid {};
	ASSERT_EQ (plugin.comp ()->getControllerClassId (cid), kResultOk);
	auto controller = module->getFactory ().createInstance<IEditController> (VST3::UID::fromTUID (cid));
	ASSERT_TRUE (controller);
	ASSERT_EQ (controller->initialize (orvotest::hostContext ()), kResultOk);
	FUnknownPtr<IOrvoToolVersion> version (controller);
	FUnknownPtr<IOrvoToolAccess> access (controller);
	ASSERT_TRUE (version && access);
	int32 major = 0, minor = -1;
	ASSERT_EQ (version->getToolAccessVersion (&major, &minor), kResultOk);
	EXPECT_EQ (major, kOrvoToolAccessMajor);
	EXPECT_EQ (minor, kOrvoToolAccessMinor);

	// A caller of another record size or version gets the controller's own
	// and nothing else.
	auto record = std::make_unique<OrvoResponseRecord> ();
	for (const auto& [size, recordVersion] : {std::pair<uint32, int32> (sizeof *record - 4, kOrvoResponseVersion),
	                                         std::pair<uint32, int32> (sizeof *record, kOrvoResponseVersion + 1)})
	{
		std::memset (record.get (), 0x5A, sizeof *record);
		record->size = size;
		record->version = recordVersion;
		EXPECT_EQ (access->getResponse (record.get ()), kInvalidArgument);
		EXPECT_EQ (record->size, sizeof *record);
		EXPECT_EQ (record->version, kOrvoResponseVersion);
		EXPECT_EQ (record->numChannels, 0x5A5A5A5A);
	}
	// Its own: the default 5-channel decode, the centre facing the front,
	// the left channel on the left (angles run clockwise).
	EXPECT_EQ (access->getResponse (record.get ()), kResultOk);
	EXPECT_EQ (record->numChannels, 6);
	ASSERT_EQ (record->numPoints, kOrvoResponsePoints);
	auto peakAngle = [&] (int channel) {
		const float* r = record->response[channel];
		return record->angle[std::max_element (r, r + kOrvoResponsePoints) - r];
	};
	EXPECT_EQ (peakAngle (2), 0.f);
	EXPECT_GT (std::sin (peakAngle (1)), 0.9f);
	EXPECT_LT (std::sin (peakAngle (0)), -0.9f);
	controller->terminate ();
}

TEST_F (OrvotoolTest, ABundleOfAnotherReleaseStopsTheToolNamingBothVersions)
{
	const std::string ours = std::to_string (kOrvoToolAccessMajor) + "." + std::to_string (kOrvoToolAccessMinor);
	ASSERT_TRUE (writeWav (dir / "in.wav", planeWave (0.0, 0.2)));
	{
		ScopedEnv none ("ORVO_OTHER_TOOL_VERSION", nullptr);
		const Outcome r = orvotool ({"params"}, dir, ORVO_OTHER_BUNDLE_PATH);
		EXPECT_EQ (r.status, 1);
		EXPECT_NE (r.err.find ("offers no tool interface (it predates version " + ours), std::string::npos) << r.err;
	}
	{
		ScopedEnv later ("ORVO_OTHER_TOOL_VERSION", "2.1");
		const Outcome r = orvotool ({"render", "in.wav", "-o", "out.wav"}, dir, ORVO_OTHER_BUNDLE_PATH);
		EXPECT_EQ (r.status, 1);
		EXPECT_NE (r.err.find ("offers tool interface 2.1, this orvotool speaks " + ours), std::string::npos) << r.err;
		EXPECT_FALSE (fs::exists (dir / "out.wav"));
	}
	{
		// The same major with a response record of another version.
		ScopedEnv sameMajor ("ORVO_OTHER_TOOL_VERSION", "1.7");
		const Outcome r = orvotool ({"polar", "p.png"}, dir, ORVO_OTHER_BUNDLE_PATH);
		EXPECT_EQ (r.status, 1);
		EXPECT_NE (r.err.find ("a record of version " + std::to_string (kOrvoResponseVersion + 1)), std::string::npos)
		    << r.err;
		EXPECT_NE (r.err.find ("reads version " + std::to_string (kOrvoResponseVersion)), std::string::npos);
		EXPECT_FALSE (fs::exists (dir / "p.png"));
	}
}

TEST_F (OrvotoolTest, ValuesTakeUnitsAndDecimalCommasAndNothingElse)
{
	const std::vector<std::string> preset = {"preset", "p.vstpreset", "--force"};
	const std::vector<std::tuple<std::string, std::string, std::string>> read = {
	    {"Rear Lowpass=8 kHz", "Rear Lowpass", "8000 Hz"},    {"Rear Lowpass=2,5kHz", "Rear Lowpass", "2500 Hz"},
	    {"Rear Delay=0.015 s", "Rear Delay", "15.0 ms"},      {"Rear Delay=20 ms", "Rear Delay", "20.0 ms"},
	    {"Focus=1,2", "Focus", "1.20"},                       {"Diffuse Gain=-3 dB", "Diffuse Gain", "-3.0 dB"},
	    {"Direction=70 deg", "Direction", "70 deg"},          {"Direction=-45\xC2\xB0", "Direction", "-45 deg"},
	    {"Gain C=-inf dB", "Gain C", "-\xE2\x88\x9E dB"},
	};
	for (const auto& [set, title, value] : read)
	{
		const Outcome r = run (withSets (preset, {set}));
		EXPECT_EQ (r.status, 0) << set << ": " << r.err;
		EXPECT_EQ (shown (r, title), value) << set;
	}
	const std::vector<std::pair<std::string, std::string>> refused = {
	    {"Width=70abc", "\"abc\" is left over after the number 70"},
	    {"Width=70 80", "\"80\" is left over after the number 70"},
	    {"Rear Delay=1 s", "1000 ms is outside the range of Rear Delay"},
	    {"Rear Lowpass=30 kHz", "30000 Hz is outside the range of Rear Lowpass"},
	    {"Width=70 Hz", "Hz is not a unit of this setting"},
	    {"Focus=1 dB", "dB is not a unit of this setting"},
	    {"Output Format=2 Channels", "\"Channels\" is left over"},
	    {"Mute C=Onion", "not a value of Mute C"},
	};
	for (const auto& [set, reason] : refused)
	{
		const Outcome r = run (withSets ({"preset", "refused.vstpreset"}, {set}));
		EXPECT_EQ (r.status, 2) << set;
		EXPECT_NE (r.err.find (reason), std::string::npos) << set << ": " << r.err;
		EXPECT_FALSE (fs::exists (dir / "refused.vstpreset")) << set;
	}
}

TEST_F (OrvotoolTest, TheEditorsNamesAreAcceptedAndListed)
{
	const Outcome r = run (withSets ({"preset", "p.vstpreset"},
	                                 {"Output Format=L, R, Ls, Rs", "Rotate=30", "Polar Pattern=First Order",
	                                  "polar pattern c=0.6", "Microphone Angle L, R=60", "Surround Delay On/Off=On",
	                                  "Surround Delay=12", "Decorrelation=On", "Output Gain Ls, Rs=-6"}));
	ASSERT_EQ (r.status, 0) << r.err;
	const std::vector<std::pair<std::string, std::string>> expected = {
	    {"Output Format", "4 Channels"},        {"Direction", "30 deg"},         {"Beamshaping", "Off"},
	    {"Microphone Response C", "0.60"},      {"Width", "60 deg"},             {"Rear Delay On/Off", "On"},
	    {"Rear Delay", "12.0 ms"},              {"Diffuser On/Off", "On"},       {"Gain Ls/Rs", "-6.0 dB"},
	};
	for (const auto& [title, value] : expected)
		EXPECT_EQ (shown (r, title), value) << title;
	EXPECT_EQ (shown (run (withSets ({"preset", "q.vstpreset"}, {"Beamshaping=enhanced pattern"})), "Beamshaping"), "On");

	const Outcome list = run ({"params"});
	for (const char* entry : {"Rotate", "First Order = Off", "L, R, C = 3 Channels", "Surround Lowpass"})
		EXPECT_NE (list.out.find (entry), std::string::npos) << entry;
	EXPECT_NE (run ({"params", "--json"}).out.find ("\"editorNames\": [\"Rotate\"]"), std::string::npos);
}

TEST_F (OrvotoolTest, WarningsNameSettingsThatDoNothingOrThatALaterOneReplaced)
{
	const std::vector<std::string> preset = {"preset", "p.vstpreset", "--force"};
	// Rear Width follows Width while its switch is off: a later Width moves it.
	Outcome r = run (withSets (preset, {"Rear Width=120", "Width=70"}));
	ASSERT_EQ (r.status, 0);
	EXPECT_EQ (shown (r, "Rear Width"), "143 deg");
	EXPECT_NE (r.err.find ("warning: \"Width=70\" also sets Rear Width to 143 deg and replaces \"Rear Width=120\""),
	           std::string::npos)
	    << r.err;
	r = run (withSets (preset, {"Rear Width On/Off=On", "Rear Width=120", "Width=70"}));
	EXPECT_EQ (shown (r, "Rear Width"), "120 deg");
	EXPECT_EQ (r.err.find ("warning"), std::string::npos) << r.err;

	// Settings that do nothing in the chosen mode, each named once.
	r = run (withSets (preset, {"Mic Response C=0.5", "Rear Delay=10", "Rear Lowpass=5 kHz"}));
	ASSERT_EQ (r.status, 0);
	for (const std::string w : {"\"Mic Response C=0.5\" has no effect while Beamshaping is On",
	                            "\"Rear Delay=10\" has no effect while Rear Delay On/Off is Off",
	                            "\"Rear Lowpass=5 kHz\" has no effect while Rear Lowpass On/Off is Off"})
		EXPECT_NE (r.err.find ("warning: " + w), std::string::npos) << w << "\n" << r.err;
	r = run (withSets (preset, {"Beamshaping=Off", "Mic Response C=0.5", "Rear Delay On/Off=On", "Rear Delay=10"}));
	EXPECT_EQ (r.err.find ("warning"), std::string::npos) << r.err;

	// A format's row returns Focus and Direction to their defaults, and says so.
	r = run (withSets (preset, {"Direction=30", "Focus=0.5", "Output Format=Stereo"}));
	EXPECT_EQ (shown (r, "Direction"), "0 deg");
	EXPECT_NE (r.err.find ("\"Output Format=Stereo\" loads its preset row and replaces \"Direction=30\", "
	                       "\"Focus=0.5\""),
	           std::string::npos)
	    << r.err;
	EXPECT_NE (r.err.find ("Focus and Direction"), std::string::npos) << r.err;
}

TEST_F (OrvotoolTest, OutdirIsMadeAndCtrlCStopsTheBatchLeavingNoPartialFile)
{
	ASSERT_TRUE (writeWav (dir / "a.wav", planeWave (0.0, 0.5)));
	Outcome r = run ({"render", "a.wav", "--outdir", "decoded/today"});
	EXPECT_EQ (r.status, 0) << r.err;
	EXPECT_TRUE (fs::exists (dir / "decoded" / "today" / "a_decoded.wav"));
	std::ofstream (dir / "afile") << "x";
	r = run ({"render", "a.wav", "--outdir", "afile/sub"});
	EXPECT_EQ (r.status, 2);
	EXPECT_NE (r.err.find ("cannot make folder afile/sub"), std::string::npos) << r.err;

	// Three minutes of silence in the smallest blocks (seconds of work),
	// interrupted as soon as its partial file appears; the second input is
	// never started.
	SF_INFO info {};
	info.samplerate = kRate;
	info.channels = 3;
	info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
	SNDFILE* f = sf_open ((dir / "long.wav").c_str (), SFM_WRITE, &info);
	ASSERT_NE (f, nullptr);
	const std::vector<short> second (3 * kRate, 0);
	for (int s = 0; s < 180; ++s)
		sf_writef_short (f, second.data (), kRate);
	sf_close (f);
	fs::copy_file (dir / "a.wav", dir / "long2.wav");
	const pid_t pid = startOrvotool ({"render", "long.wav", "long2.wav", "--outdir", "out", "-j", "1", "--block", "16"},
	                                 dir);
	ASSERT_GT (pid, 0);
	auto partial = [&] {
		std::error_code ec;
		for (const auto& e : fs::directory_iterator (dir / "out", ec))
			if (e.path ().filename ().string ().rfind (".long_decoded.wav.part", 0) == 0)
				return true;
		return false;
	};
	const auto deadline = std::chrono::steady_clock::now () + std::chrono::seconds (60);
	while (!partial () && std::chrono::steady_clock::now () < deadline)
		std::this_thread::sleep_for (std::chrono::milliseconds (5));
	ASSERT_TRUE (partial ());
	kill (pid, SIGINT);
	r = finish (pid, dir);
	EXPECT_EQ (r.status, 130) << r.err;
	EXPECT_NE (r.err.find ("interrupted"), std::string::npos) << r.err;
	EXPECT_TRUE (fs::is_empty (dir / "out")) << "no partial file, no second output";
}

TEST_F (OrvotoolTest, TruncatedRecordingsDecodeWhatIsThereEmptyOnesFail)
{
	// A recorder that lost power: the header promises a second, the file
	// holds about half of it.
	const Audio in = planeWave (30.0, 1.0);
	for (const auto& [ext, format] : {std::pair<std::string, int> ("wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24),
	                                  std::pair<std::string, int> ("w64", SF_FORMAT_W64 | SF_FORMAT_PCM_24),
	                                  std::pair<std::string, int> ("flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24)})
	{
		const fs::path cut = dir / ("cut." + ext);
		ASSERT_TRUE (writeWav (cut, in, format));
		fs::resize_file (cut, fs::file_size (cut) / 2);
		const std::string out = "cut_" + ext + ".wav";
		const Outcome r = run ({"render", cut.filename ().string (), "-o", out, "--no-tail"});
		ASSERT_EQ (r.status, 0) << ext << ": " << r.err;
		const sf_count_t frames = readWav (dir / out).info.frames;
		EXPECT_GT (frames, kRate / 4) << ext;
		EXPECT_LT (frames, kRate * 3 / 4) << ext;
		EXPECT_NE (r.err.find ("warning: cut." + ext + ": truncated: read " + std::to_string (frames) +
		                       " frames of the " + std::to_string (kRate) + " its header promises"),
		           std::string::npos)
		    << ext << ": " << r.err;
	}

	// An empty recording fails; the batch goes on.
	ASSERT_TRUE (writeWav (dir / "empty.wav", Audio (3)));
	ASSERT_TRUE (writeWav (dir / "good.wav", planeWave (0.0, 0.3)));
	Outcome r = run ({"render", "empty.wav", "good.wav", "--outdir", "o"});
	EXPECT_EQ (r.status, 1);
	EXPECT_NE (r.err.find ("empty.wav: no audio (0 frames)"), std::string::npos) << r.err;
	EXPECT_TRUE (fs::exists (dir / "o" / "good_decoded.wav"));

	// A broadcast chunk that the output type cannot carry is named.
	SF_BROADCAST_INFO bext {};
	std::strcpy (bext.description, "take 7");
	ASSERT_TRUE (writeWav (dir / "bwf.wav", planeWave (0.0, 0.3), SF_FORMAT_WAV | SF_FORMAT_PCM_24, &bext));
	for (const std::string out : {"bwf.flac", "bwf.w64", "bwf_out.wav"})
	{
		r = run ({"render", "bwf.wav", "-o", out});
		ASSERT_EQ (r.status, 0) << r.err;
		const bool dropped = r.err.find ("its broadcast chunk (bext") != std::string::npos;
		EXPECT_EQ (dropped, out != "bwf_out.wav") << out << ": " << r.err;
	}

	// The three capsules are three channels.
	r = run ({"render", "good.wav", "--channels", "2,2,3", "-o", "x.wav"});
	EXPECT_EQ (r.status, 2);
	EXPECT_NE (r.err.find ("a channel named twice"), std::string::npos) << r.err;
}

} // namespace

namespace {

// The factory presets as the main job installs them, found by name.
TEST_F (OrvotoolTest, FactoryPresetsAreListedAndTakenByName)
{
	const fs::path home = dir / "home";
	const fs::path folder = home / ".vst3/presets/Veltrane/Orvotool";
	fs::create_directories (folder);
	for (const auto& entry : fs::directory_iterator (ORVO_PRESET_DIR))
		if (entry.path ().extension () == ".vstpreset")
			fs::copy_file (entry.path (), folder / entry.path ().filename ());
	const std::string oldHome = std::getenv ("HOME") ? std::getenv ("HOME") : "";
	setenv ("HOME", home.c_str (), 1);

	const Outcome list = run ({"presets"});
	EXPECT_EQ (list.status, 0) << list.err;
	EXPECT_NE (list.out.find ("Stereo Wide"), std::string::npos) << list.out;
	EXPECT_NE (list.out.find ("Stereo fold-down with a wide image"), std::string::npos) << list.out;

	ASSERT_TRUE (writeWav (dir / "in.wav", planeWave (60.0, 1.0)));
	const Outcome byName = run ({"render", "in.wav", "-o", "wide.wav", "--preset", "stereo wide"});
	EXPECT_EQ (byName.status, 0) << byName.err;
	EXPECT_EQ (readWav (dir / "wide.wav").info.channels, 2);
	const Outcome unknown = run ({"render", "in.wav", "-o", "none.wav", "--preset", "No Such Preset"});
	EXPECT_EQ (unknown.status, 2);
	EXPECT_NE (unknown.err.find ("orvotool presets"), std::string::npos) << unknown.err;
	EXPECT_FALSE (fs::exists (dir / "none.wav"));

	setenv ("HOME", oldHome.c_str (), 1);
}

} // namespace

TEST_F (OrvotoolTest, BinauralAndAmbixRendersOfASourceOnTheLeft)
{
	// A source at 90 degrees, decoded to 5.1 (where L carries it) and heard on
	// headphones: the left ear louder; with the head turned 30 degrees towards
	// the L loudspeaker, both ears nearly alike. Latency and decay removed: as
	// long as the input.
	ASSERT_TRUE (writeWav (dir / "left.wav", planeWave (90.0, 2.0)));
	Outcome r = run ({"render", "left.wav", "--binaural", "--no-tail", "-q"});
	ASSERT_EQ (r.status, 0) << r.err;
	Wav ears = readWav (dir / "left_binaural.wav");
	ASSERT_EQ (ears.info.channels, 2);
	EXPECT_EQ (ears.info.frames, 2 * kRate);
	EXPECT_GT (rmsDb (ears.audio[0]) - rmsDb (ears.audio[1]), 6.0);

	r = run ({"render", "left.wav", "-o", "turned.wav", "--binaural", "--head-rotation", "30", "--no-tail", "-q"});
	ASSERT_EQ (r.status, 0) << r.err;
	ears = readWav (dir / "turned.wav");
	EXPECT_LT (std::fabs (rmsDb (ears.audio[0]) - rmsDb (ears.audio[1])), 3.0);

	// First-order Ambisonics: W and Y alike, X and Z silent by comparison; no
	// loudspeaker positions in the file.
	r = run ({"render", "left.wav", "--ambix", "--no-tail", "-q"});
	ASSERT_EQ (r.status, 0) << r.err;
	const Wav amb = readWav (dir / "left_ambix.wav");
	ASSERT_EQ (amb.info.channels, 4);
	EXPECT_EQ (amb.info.frames, 2 * kRate);
	EXPECT_NEAR (rmsDb (amb.audio[1]), rmsDb (amb.audio[0]), 0.5);
	EXPECT_LT (rmsDb (amb.audio[3]), rmsDb (amb.audio[0]) - 25.0);
	EXPECT_LT (rmsDb (amb.audio[2]), -120.0);
	EXPECT_EQ (channelMask (dir / "left_ambix.wav"), 0u);

	// A response file that cannot be read stops the render before any file.
	std::ofstream (dir / "bad.sofa") << "not a SOFA file";
	r = run ({"render", "left.wav", "-o", "bad.wav", "--binaural", "--hrtf", "bad.sofa"});
	EXPECT_EQ (r.status, 2);
	EXPECT_NE (r.err.find ("bad.sofa"), std::string::npos) << r.err;
	EXPECT_FALSE (fs::exists (dir / "bad.wav"));
	r = run ({"render", "left.wav", "-o", "both.wav", "--binaural", "--ambix"});
	EXPECT_EQ (r.status, 2);
}
