// orvo_demo: a generated double mid-side demo recording, its decode and a
// report of where each source landed.
//
//   orvo_demo generate <dir>            writes demo_capsules.wav and demo_sources.txt
//   orvo_demo decode <dir>              decodes with the engine -> demo_decoded_engine.wav
//   orvo_demo report <dir> <decoded>    levels per source and output channel
//   orvo_demo all <dir>                 the three in order
//
// The recording: five sources playing one after another (each alone for two
// seconds) at the look directions of the default 5-channel decode, over a
// diffuse ambience 20 dB below them, as the front cardioid, the
// figure-of-eight (facing left, with its bass roll-off) and the rear cardioid
// of a double mid-side array would pick them up (orvo_scene.h).
#include "orvo_scene.h"
#include "sfm_api.h"

#include <sndfile.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 48000;
constexpr int kOutputs = 6;
const char* const kOutputNames[kOutputs] = {"L", "R", "C", "LFE", "Ls", "Rs"};
const char* const kCapsuleFile = "demo_capsules.wav";
const char* const kSourcesFile = "demo_sources.txt";
const char* const kEngineFile = "demo_decoded_engine.wav";

// Multichannel audio, one vector per channel.
struct Recording {
    int rate = kRate;
    std::vector<std::vector<float>> channels;
    size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

struct Source {
    std::string name;
    double azimuthDeg;
    long start, end; // samples where it plays alone
};

bool write_wav(const fs::path& path, const Recording& r, std::string& err)
{
    SF_INFO info{};
    info.samplerate = r.rate;
    info.channels = static_cast<int>(r.channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        err = "cannot write " + path.string() + ": " + sf_strerror(nullptr);
        return false;
    }
    const size_t n = r.frames(), c = r.channels.size();
    std::vector<float> interleaved(n * c);
    for (size_t i = 0; i < n; ++i)
        for (size_t ch = 0; ch < c; ++ch)
            interleaved[i * c + ch] = r.channels[ch][i];
    const sf_count_t written = sf_writef_float(f, interleaved.data(), static_cast<sf_count_t>(n));
    sf_close(f);
    if (written != static_cast<sf_count_t>(n)) {
        err = "short write to " + path.string();
        return false;
    }
    return true;
}

bool read_wav(const fs::path& path, Recording& r, std::string& err)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        err = "cannot read " + path.string() + ": " + sf_strerror(nullptr);
        return false;
    }
    const size_t n = static_cast<size_t>(info.frames), c = static_cast<size_t>(info.channels);
    std::vector<float> interleaved(n * c);
    const sf_count_t got = sf_readf_float(f, interleaved.data(), info.frames);
    sf_close(f);
    if (got != info.frames) {
        err = "short read from " + path.string();
        return false;
    }
    r.rate = info.samplerate;
    r.channels.assign(c, std::vector<float>(n));
    for (size_t i = 0; i < n; ++i)
        for (size_t ch = 0; ch < c; ++ch)
            r.channels[ch][i] = interleaved[i * c + ch];
    return true;
}

// ---------------------------------------------------------------------------
// generate
// ---------------------------------------------------------------------------
struct SourcePlan {
    const char* name;
    double azimuthDeg;
    double loHz, hiHz; // band of its noise
    double toneHz;     // plus a steady tone, so the sources sound distinct
};

const SourcePlan kPlan[] = {
    {"centre", 0.0, 300.0, 4000.0, 523.25},
    {"left", 80.0, 200.0, 6000.0, 392.0},
    {"right", -80.0, 250.0, 5000.0, 659.25},
    {"left_surround", 150.0, 150.0, 8000.0, 329.63},
    {"right_surround", -150.0, 400.0, 3000.0, 783.99},
};

int cmd_generate(const fs::path& dir)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    const double lead = 0.5, each = 2.0, tail = 0.5;
    const size_t segment = static_cast<size_t>(each * kRate);
    const size_t n = static_cast<size_t>((lead + each * std::size(kPlan) + tail) * kRate);
    orvo_scene::Capsules c(n);
    std::vector<Source> sources;
    for (size_t k = 0; k < std::size(kPlan); ++k) {
        const SourcePlan& s = kPlan[k];
        const size_t start = static_cast<size_t>(lead * kRate) + k * segment;
        std::vector<float> x = orvo_scene::band_noise(segment, 100 + k, 0.08f, kRate, s.loHz, s.hiHz);
        const std::vector<float> tone = orvo_scene::sine(segment, kRate, s.toneHz, 0.08f);
        for (size_t i = 0; i < segment; ++i) {
            // 10 ms fades against clicks
            double fade = std::fmin(1.0, std::fmin(i, segment - 1 - i) / (0.01 * kRate));
            x[i] = static_cast<float>((x[i] + tone[i]) * fade);
        }
        orvo_scene::add_plane_wave(c, x, s.azimuthDeg * orvo_scene::kPi / 180.0, 0.0, start);
        sources.push_back({s.name, s.azimuthDeg, static_cast<long>(start), static_cast<long>(start + segment)});
    }
    orvo_scene::add_diffuse(c, 7, 0.012f, kRate, 100.0, 10000.0, 48);
    orvo_scene::apply_figure_of_eight_rolloff(c.f8, kRate);

    Recording r;
    r.channels = {c.fc, c.f8, c.rc};
    std::string err;
    if (!write_wav(dir / kCapsuleFile, r, err)) {
        std::fprintf(stderr, "orvo_demo: %s\n", err.c_str());
        return 1;
    }
    std::ofstream list(dir / kSourcesFile);
    for (const Source& s : sources)
        list << s.name << ' ' << s.azimuthDeg << ' ' << s.start << ' ' << s.end << '\n';
    if (!list) {
        std::fprintf(stderr, "orvo_demo: cannot write %s\n", (dir / kSourcesFile).c_str());
        return 1;
    }
    std::printf("generated %s: %zu frames at %d Hz, 3 channels (front cardioid, figure-of-eight, rear "
                "cardioid)\n",
                (dir / kCapsuleFile).c_str(), n, kRate);
    for (const Source& s : sources)
        std::printf("  %-15s %7.1f deg  samples %ld..%ld\n", s.name.c_str(), s.azimuthDeg, s.start, s.end);
    std::printf("  ambience: diffuse noise 100 Hz..10 kHz, 20 dB below the sources\n");
    std::printf("wrote %s\n", (dir / kSourcesFile).c_str());
    return 0;
}

// ---------------------------------------------------------------------------
// decode
// ---------------------------------------------------------------------------

// The plug-in's default engine configuration: 5 channels, beamshaping on,
// diffuser off, LFE off, Width 80, Rear Width 150, Mic Response 1/3.
sfm_params plugin_default_params()
{
    sfm_params p;
    sfm_params_default(&p);
    p.flags &= ~uint32_t(SFM_FLAG_LFE_ON);
    p.format = 3;
    p.micType = 3;
    p.focus = 1.0f;
    p.micResponseLR = p.micResponseC = p.micResponseLsRs = 1.0f / 3.0f;
    p.rearLowpass = 3500.0f;
    p.rearDelay = 20.0f;
    return p;
}

// Decodes three capsule channels into six outputs (L R C LFE Ls Rs) aligned
// with the input. The swap point for another decoder (e.g. the plug-in
// through a VST 3 host): same signature.
using DecodeFn = bool (*)(const Recording& capsules, Recording& out, std::string& err);

bool decode_with_engine(const Recording& in, Recording& out, std::string& err)
{
    if (in.channels.size() != 3) {
        err = "expected 3 capsule channels, found " + std::to_string(in.channels.size());
        return false;
    }
    sfm_setup setup{};
    sfm_state st{};
    sfm_buffers buf{};
    sfm_params p = plugin_default_params();
    if (sfm_setup_init(&setup, static_cast<float>(in.rate)) != 0) {
        err = "unsupported sample rate " + std::to_string(in.rate);
        return false;
    }
    setup.numInputs = 3;
    setup.numOutputs = kOutputs;
    setup.inputFormat = setup.outputFormat = SFM_FORMAT_FLOAT32 | SFM_FORMAT_SEPARATE;
    int rc = sfm_create(&st, &buf, &setup, p, nullptr, nullptr);
    if (rc == 0) {
        const double pi = 3.1415927410125732;
        float width = static_cast<float>(2.0 * 80.0 * pi / 180.0);
        float rear = static_cast<float>(2.0 * (180.0 - 150.0) * pi / 180.0);
        sfm_solve_width(&st, p, width, &p.widthCoef, nullptr, rear, &p.rearWidthCoef);
        sfm_set_params(&st, &buf, p);
    } else {
        sfm_free(&st, &buf, nullptr, nullptr);
        err = "engine set-up failed (" + std::to_string(rc) + ")";
        return false;
    }
    const int hop = setup.hopSize, latency = setup.windowSize - setup.hopSize;
    const size_t n = in.frames();
    out.rate = in.rate;
    out.channels.assign(kOutputs, std::vector<float>(n, 0.0f));
    std::vector<float> inHop[3], outHop[kOutputs];
    const float* inPtrs[3];
    float* outPtrs[kOutputs];
    for (int ch = 0; ch < 3; ++ch) {
        inHop[ch].assign(hop, 0.0f);
        inPtrs[ch] = inHop[ch].data();
    }
    for (int j = 0; j < kOutputs; ++j) {
        outHop[j].assign(hop, 0.0f);
        outPtrs[j] = outHop[j].data();
    }
    for (size_t pos = 0; pos < n + latency; pos += hop) {
        for (int ch = 0; ch < 3; ++ch)
            for (int i = 0; i < hop; ++i)
                inHop[ch][i] = pos + i < n ? in.channels[ch][pos + i] : 0.0f;
        sfm_process(&st, &buf, inPtrs, outPtrs, nullptr);
        for (int j = 0; j < kOutputs; ++j)
            for (int i = 0; i < hop; ++i) {
                const long t = static_cast<long>(pos + i) - latency;
                if (t >= 0 && static_cast<size_t>(t) < n)
                    out.channels[j][t] = outHop[j][i];
            }
    }
    sfm_free(&st, &buf, nullptr, nullptr);
    return true;
}

int cmd_decode(const fs::path& dir, DecodeFn decode, const char* outName)
{
    Recording in, out;
    std::string err;
    if (!read_wav(dir / kCapsuleFile, in, err) || !decode(in, out, err) || !write_wav(dir / outName, out, err)) {
        std::fprintf(stderr, "orvo_demo: %s\n", err.c_str());
        return 1;
    }
    std::printf("decoded %s (%zu frames, %d Hz) -> %s: 6 channels L R C LFE Ls Rs, latency removed\n",
                (dir / kCapsuleFile).c_str(), in.frames(), in.rate, (dir / outName).c_str());
    std::printf("  engine configuration: 5 channels, beamshaping on, diffuser off, LFE off, Width 80, "
                "Rear Width 150, Mic Response 1/3\n");
    return 0;
}

// ---------------------------------------------------------------------------
// report
// ---------------------------------------------------------------------------
bool read_sources(const fs::path& path, std::vector<Source>& sources, std::string& err)
{
    std::ifstream f(path);
    if (!f) {
        err = "cannot read " + path.string();
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(f, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream s(line);
        Source src;
        if (!(s >> src.name >> src.azimuthDeg >> src.start >> src.end) || src.start < 0 || src.end <= src.start) {
            err = path.string() + ":" + std::to_string(lineNo) + ": expected 'name azimuth start end'";
            return false;
        }
        sources.push_back(src);
    }
    if (sources.empty()) {
        err = path.string() + ": no sources";
        return false;
    }
    return true;
}

int cmd_report(const fs::path& dir, const fs::path& decodedPath)
{
    std::vector<Source> sources;
    Recording dec;
    std::string err;
    if (!read_sources(dir / kSourcesFile, sources, err) || !read_wav(decodedPath, dec, err)) {
        std::fprintf(stderr, "orvo_demo: %s\n", err.c_str());
        return 1;
    }
    if (dec.channels.size() != kOutputs) {
        std::fprintf(stderr, "orvo_demo: %s has %zu channels, expected 6 (L R C LFE Ls Rs)\n",
                     decodedPath.c_str(), dec.channels.size());
        return 1;
    }
    std::printf("report for %s (dBFS, RMS over each source's segment)\n", decodedPath.c_str());
    std::printf("  %-15s %7s", "source", "azimuth");
    for (const char* name : kOutputNames)
        std::printf(" %7s", name);
    std::printf("  loudest\n");
    for (const Source& s : sources) {
        if (static_cast<size_t>(s.end) > dec.frames()) {
            std::fprintf(stderr, "orvo_demo: segment of %s ends at %ld, past the file's %zu frames\n",
                         s.name.c_str(), s.end, dec.frames());
            return 1;
        }
        std::array<double, kOutputs> level{};
        int best = 0;
        for (int j = 0; j < kOutputs; ++j) {
            level[j] = orvo_scene::rms_db(dec.channels[j].data(), s.start, s.end);
            if (level[j] > level[best])
                best = j;
        }
        std::printf("  %-15s %7.1f", s.name.c_str(), s.azimuthDeg);
        for (double l : level)
            l < -200.0 ? std::printf(" %7s", "-inf") : std::printf(" %7.1f", l);
        std::printf("  %s\n", kOutputNames[best]);
    }
    return 0;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: orvo_demo generate <dir>\n"
                 "       orvo_demo decode <dir>\n"
                 "       orvo_demo report <dir> <decoded.wav>\n"
                 "       orvo_demo all <dir>\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    const std::string cmd = argv[1];
    const fs::path dir = argv[2];
    if (cmd == "generate" && argc == 3)
        return cmd_generate(dir);
    if (cmd == "decode" && argc == 3)
        return cmd_decode(dir, decode_with_engine, kEngineFile);
    if (cmd == "report" && argc == 4)
        return cmd_report(dir, argv[3]);
    if (cmd == "all" && argc == 3) {
        int rc = cmd_generate(dir);
        if (rc == 0)
            rc = cmd_decode(dir, decode_with_engine, kEngineFile);
        if (rc == 0)
            rc = cmd_report(dir, dir / kEngineFile);
        return rc;
    }
    return usage();
}
