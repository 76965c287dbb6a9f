// Decode design: loudspeaker layout, virtual-microphone beams and their
// normalisation, the display response, the Width solver and the
// capsule-spacing equaliser.
//
// Every decoded channel owns a sector of azimuths. The sector's centre is the
// look direction of its virtual microphones, the sector's width (after the
// user's Focus) selects a row of the beam table, i.e. how strongly the two side
// beams at +-sideBeamAngle narrow the channel's cardioid ("beamshaping").
// Width and Rear Width warp the sector edges: an edge at angle s moves to
// s * (1 + 1.2 c (1 - |s| / pi)), which leaves the front (0) and the back (pi)
// in place and stretches everything between; the rear coefficient then shifts
// the surround sectors towards +-90 degrees (d > 0) or +-180 degrees (d < 0).
//
// Angles are radians, counter-clockwise positive (towards the left), 0 = front;
// vectors are (x = front, y = left, z = up).
#include "sfm_internal.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float kDeg = sfm_pi_f / 180.0f;
constexpr float kWidthGain = 1.2f;          // edge warp strength per unit width coefficient
constexpr float kRearWidthOff = -100.0f;    // rearWidthCoef marker: rear width disabled
constexpr float kWrapTolerance = 1e-3f;     // a sector exactly pi wide (up to rounding) does not wrap
constexpr float kFormat9Elevation = 40.0f;  // upper layer of format 9, degrees
// The narrowest beam a sector gets after Focus: 45 degrees. The beam table
// reaches down to 30 degrees; narrower beams than this are not used (empirical).
constexpr float kNarrowestBeam = sfm_pi_f / 4.0f;
// The display's range: 0 dB at the rim, this many dB down at the centre.
constexpr float kDisplayRangeDb = 25.0f;
constexpr float kDisplayEps = 1e-20f;       // keeps log10 finite for a silent direction
constexpr double kSpeedOfSound = 340.0;     // m/s

struct Layout {
    int numOutputs;  // engine channels including the LFE
    int numDecoded;
    float start[SFM_MAX_CHANNELS];
    float end[SFM_MAX_CHANNELS];
    int type[SFM_MAX_CHANNELS];
    float elevation[SFM_MAX_CHANNELS];
};

void add_sector(Layout* l, float startDeg, float endDeg, int type)
{
    int i = l->numDecoded++;
    l->start[i] = startDeg * kDeg;
    l->end[i] = endDeg * kDeg;
    l->type[i] = type;
    l->elevation[i] = 0.0f;
}

// Equal sectors all round (formats 6 and 7), typed by their centres. With the
// centre off, edges closer than `cOffEdge` degrees to the front move to 0.
void add_ring(Layout* l, int count, float firstDeg, bool cOff, float cOffEdge)
{
    float step = 360.0f / count;
    for (int j = 0; j < count; ++j) {
        float s = firstDeg - step * j, e = firstDeg - step * (j + 1);
        float c = 0.5f * (s + e);
        int type = c == 0.0f ? SFM_TYPE_CENTRE : (std::fabs(c) <= 90.0f ? SFM_TYPE_FRONT : SFM_TYPE_SURROUND);
        if (cOff) {
            if (std::fabs(s) < cOffEdge)
                s = 0.0f;
            if (std::fabs(e) < cOffEdge)
                e = 0.0f;
        }
        add_sector(l, s, e, type);
    }
}

// A loudspeaker's sector, degrees from its start to its end.
struct Sector {
    float startDeg, endDeg;
    int type;
};

constexpr int F = SFM_TYPE_FRONT, C = SFM_TYPE_CENTRE, S = SFM_TYPE_SURROUND;

const Sector kMono[] = {{45.0f, -45.0f, F}};
const Sector kStereo[] = {{100.0f, 0.0f, F}, {0.0f, -100.0f, F}};
const Sector kQuad[] = {{90.0f, 0.0f, F}, {0.0f, -90.0f, F}, {180.0f, 90.0f, S}, {-90.0f, -180.0f, S}};
const Sector kFive[] = {{100.0f, 30.0f, F}, {-30.0f, -100.0f, F}, {30.0f, -30.0f, C}, {180.0f, 100.0f, S},
                        {-100.0f, -180.0f, S}};
const Sector kSix[] = {{90.0f, 30.0f, F},   {-30.0f, -90.0f, F},   {30.0f, -30.0f, C},
                       {150.0f, 90.0f, S},  {-90.0f, -150.0f, S},  {150.0f, -150.0f, S}};
const Sector kSeven[] = {{90.0f, 30.0f, F},    {-30.0f, -90.0f, F},   {30.0f, -30.0f, C},  {135.0f, 90.0f, S},
                         {-90.0f, -135.0f, S}, {-135.0f, -180.0f, S}, {180.0f, 135.0f, S}};
const Sector kTen[] = {{157.5f, 112.5f, S}, {112.5f, 67.5f, S},    {67.5f, 33.75f, F},     {33.75f, 11.25f, F},
                       {11.25f, -11.25f, C}, {-11.25f, -33.75f, F}, {-33.75f, -67.5f, F},   {-67.5f, -112.5f, S},
                       {-112.5f, -157.5f, S}, {157.5f, -157.5f, S}};

// An output format: a list of sectors (in one or two layers), or a ring of
// equal sectors; formats 3 to 5 add the LFE after the decoded channels.
struct Format {
    const Sector* sectors;
    int count;
    int layers;           // 2: the list again, raised to kFormat9Elevation
    int ringCount;        // else: this many equal sectors ...
    float ringFirstDeg;   // ... the first starting here ...
    float ringCOffEdgeDeg; // ... with the centre off, edges this close to the front move to 0
    bool lfe;
};

template <int N>
constexpr Format list(const Sector (&s)[N], int layers = 1, bool lfe = false)
{
    return {s, N, layers, 0, 0.0f, 0.0f, lfe};
}

constexpr Format ring(int count, float firstDeg, float cOffEdgeDeg)
{
    return {nullptr, 0, 1, count, firstDeg, cOffEdgeDeg, false};
}

const Format kFormats[] = {
    list(kMono),          list(kStereo),           list(kQuad),          list(kFive, 1, true),
    list(kSix, 1, true),  list(kSeven, 1, true),   ring(8, 157.5f, 30.0f), ring(10, 162.0f, 20.0f),
    list(kTen),           list(kFive, 2),
};

// The sectors of a list, one layer. With the centre off, the front sectors'
// edges that the centre sector shares move to 0: the front pair meets there.
void add_list(Layout* l, const Sector* sectors, int count, bool cOff, float elevationDeg)
{
    const Sector* centre = nullptr;
    for (int k = 0; k < count; ++k)
        if (sectors[k].type == SFM_TYPE_CENTRE)
            centre = &sectors[k];
    for (int k = 0; k < count; ++k) {
        float s = sectors[k].startDeg, e = sectors[k].endDeg;
        if (cOff && centre && sectors[k].type == SFM_TYPE_FRONT) {
            if (s == centre->startDeg || s == centre->endDeg)
                s = 0.0f;
            if (e == centre->startDeg || e == centre->endDeg)
                e = 0.0f;
        }
        add_sector(l, s, e, sectors[k].type);
        l->elevation[l->numDecoded - 1] = elevationDeg * kDeg;
    }
}

// The unwarped layout of `format`. Returns false for an unknown format.
bool layout_table(int format, bool cOff, Layout* l)
{
    std::memset(l, 0, sizeof(*l));
    if (format < 0 || format >= static_cast<int>(sizeof(kFormats) / sizeof(kFormats[0])))
        return false;
    const Format& f = kFormats[format];
    if (f.ringCount > 0)
        add_ring(l, f.ringCount, f.ringFirstDeg, cOff, f.ringCOffEdgeDeg);
    for (int layer = 0; layer < f.layers && f.sectors; ++layer)
        add_list(l, f.sectors, f.count, cOff, layer == 0 ? 0.0f : kFormat9Elevation);
    l->numOutputs = l->numDecoded;
    if (f.lfe) {
        l->type[l->numDecoded] = SFM_TYPE_LFE; // the LFE follows the decoded channels
        l->numOutputs = l->numDecoded + 1;
    }
    return true;
}

float warp(float a, float c)
{
    return a * std::fmax(1.0f + kWidthGain * c * (1.0f - std::fabs(a) / sfm_pi_f), 0.0f);
}

// A sector wider than pi covers the back: its centre lies opposite (s + e)/2.
bool wraps(float s, float e) { return std::fabs(e - s) > sfm_pi_f + kWrapTolerance; }

void apply_width(Layout* l, float widthCoef, float rearCoef)
{
    for (int i = 0; i < l->numDecoded; ++i) {
        l->start[i] = warp(l->start[i], widthCoef);
        l->end[i] = warp(l->end[i], widthCoef);
        if (l->type[i] != SFM_TYPE_SURROUND || rearCoef == kRearWidthOff)
            continue;
        float s = l->start[i], e = l->end[i];
        if (wraps(s, e))
            continue; // a sector centred on the back stays there
        float m = 0.5f * (s + e), d = rearCoef;
        float side = m < 0.0f ? -1.0f : 1.0f;
        float target = d >= 0.0f ? side * d * sfm_pi_f * 0.5f + m * (1.0f - d)
                                 : -side * d * sfm_pi_f + m * (1.0f + d);
        l->start[i] = s + (target - m);
        l->end[i] = e + (target - m);
    }
}

bool channel_enabled(int type, uint32_t flags)
{
    if (type == SFM_TYPE_CENTRE && (flags & SFM_FLAG_NO_CENTRE))
        return false;
    if (type == SFM_TYPE_SURROUND && (flags & SFM_FLAG_NO_SURROUND))
        return false;
    return true;
}

int response_index(int type)
{
    return type == SFM_TYPE_FRONT ? 0 : (type == SFM_TYPE_CENTRE ? 1 : 2);
}

// Centres, beam-table values and normalisation gains of one pass.
struct Design {
    float centre[SFM_MAX_CHANNELS];
    float sharpness[SFM_MAX_CHANNELS];
    float colB[SFM_MAX_CHANNELS];
    float colC[SFM_MAX_CHANNELS];
    float colD, colE;
    float normFirstOrder[SFM_MAX_CHANNELS];
    float normBeam[SFM_MAX_CHANNELS];
};

void design_beams(const Layout& l, const sfm_params& p, const sfm_state* st, Design* d)
{
    const float maxWidth = 2.0f * std::acos(std::sqrt(2.0f) - 1.0f); // cardioid's -3 dB width
    float focus = std::isfinite(p.focus) ? p.focus : 1.0f;
    const float(*table)[SFM_BEAM_COLS] = sfm_beam_table();
    d->colD = d->colE = 0.5f;
    for (int i = 0; i < l.numDecoded; ++i) {
        float s = l.start[i], e = l.end[i];
        float centre = 0.5f * (s + e), width = std::fabs(e - s);
        if (wraps(s, e)) {
            centre += sfm_pi_f;
            width = 2.0f * sfm_pi_f - width;
        }
        float w = focus <= 1.0f ? width * focus + (1.0f - focus) * maxWidth : width * (2.0f - focus);
        w = std::fmax(w, kNarrowestBeam);
        const float* row = table[sfm_beam_row(w)];
        d->centre[i] = centre;
        d->sharpness[i] = row[0];
        d->colB[i] = row[1];
        d->colC[i] = row[2];
        d->colD = row[3];
        d->colE = row[4];
    }
    // Each channel is scaled so that the squares of all channels' responses
    // towards its own centre sum to one.
    for (int i = 0; i < l.numDecoded; ++i) {
        d->normBeam[i] = d->normFirstOrder[i] = 0.0f;
        if (!channel_enabled(l.type[i], p.flags))
            continue;
        double sumBeam = 0.0, sumFirst = 0.0;
        for (int n = 0; n < l.numDecoded; ++n) {
            if (!channel_enabled(l.type[n], p.flags))
                continue;
            float ce = std::fabs(std::cos(l.elevation[n]));
            float dc = d->centre[n] - d->centre[i];
            float b = sfm_beam_pattern(st->sideBeamAngle, dc, d->sharpness[n], st->beamOverlap) * ce;
            float P = st->oneMinusMicResponse[response_index(l.type[n])];
            float f = (1.0f - P) + P * ce * std::cos(dc);
            sumBeam += double(b) * b;
            sumFirst += double(f) * f;
        }
        d->normBeam[i] = sumBeam > 0.0 ? static_cast<float>(1.0 / std::sqrt(sumBeam)) : 0.0f;
        d->normFirstOrder[i] = sumFirst > 0.0 ? static_cast<float>(1.0 / std::sqrt(sumFirst)) : 0.0f;
    }
}

// R(a, b) = Rz(a) Ry(b): front axis to azimuth a, elevation b. Row-major 3x3.
void rotation(float a, float b, float r[9])
{
    float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    float m[9] = {ca * cb, -sa, -ca * sb, sa * cb, ca, -sa * sb, sb, 0.0f, cb};
    std::memcpy(r, m, sizeof(m));
}

void multiply(const float a[9], const float b[9], float r[9])
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
}

void design_vectors(sfm_state* st, const sfm_params& p)
{
    const float ca = std::cos(st->sideBeamAngle), sa = std::sin(st->sideBeamAngle);
    for (int i = 0; i < st->numDecoded; ++i) {
        bool rear = (p.flags & SFM_FLAG_REAR_TILT) && std::fabs(st->centre[i]) > 0.5f * sfm_pi_f;
        float D[9], u[9], m[9];
        rotation(st->lookDirection, rear ? st->rearTilt : st->tilt, D);
        rotation(st->centre[i], st->elevation[i], u);
        multiply(D, u, m);
        for (int r = 0; r < 3; ++r) {
            st->lookVec[i][r] = m[3 * r];
            st->sidePlusVec[i][r] = ca * m[3 * r] + sa * m[3 * r + 1];
            st->sideMinusVec[i][r] = ca * m[3 * r] - sa * m[3 * r + 1];
        }
    }
}

// The angles and mic responses of the parameters, in the state's units.
void store_angles(sfm_state* st, const sfm_params& p)
{
    st->flags = p.flags;
    st->lookDirection = p.direction * kDeg;
    st->tilt = p.tiltAngle * kDeg;
    st->rearTilt = p.rearTiltAngle * kDeg;
    st->sideBeamAngle = p.sideBeamAngle * kDeg;
    st->beamOverlap = p.beamOverlap;
    const float responses[3] = {p.micResponseLR, p.micResponseC, p.micResponseLsRs};
    for (int j = 0; j < 3; ++j) {
        st->micResponse[j] = responses[j];
        st->oneMinusMicResponse[j] = 1.0f - responses[j];
    }
}

// The widened layout with its centres, the beam shape of `shape` and the
// normalisation of `norm` into the state; channels past the layout are cleared.
void store_design(sfm_state* st, const Layout& widened, const Design& wide, const Design& shape,
                  const Design& norm)
{
    st->numDecoded = widened.numDecoded;
    st->numEngineOutputs = widened.numOutputs;
    for (int i = 0; i < SFM_MAX_CHANNELS; ++i) {
        bool decoded = i < widened.numDecoded;
        st->sectorStart[i] = decoded ? widened.start[i] : 0.0f;
        st->sectorEnd[i] = decoded ? widened.end[i] : 0.0f;
        st->channelType[i] = i < widened.numOutputs ? widened.type[i] : SFM_TYPE_FRONT;
        st->elevation[i] = decoded ? widened.elevation[i] : 0.0f;
        st->centre[i] = decoded ? wide.centre[i] : 0.0f;
        st->beamSharpness[i] = decoded ? shape.sharpness[i] : 0.0f;
        st->beamColB[i] = decoded ? shape.colB[i] : 0.0f;
        st->beamColC[i] = decoded ? shape.colC[i] : 0.0f;
        st->normFirstOrder[i] = decoded ? norm.normFirstOrder[i] : 0.0f;
        st->normBeam[i] = decoded ? norm.normBeam[i] : 0.0f;
    }
    st->beamColD = shape.colD;
    st->beamColE = shape.colE;
}

} // namespace

float sfm_beam_pattern(float a, float theta, float k, float o)
{
    float f = (std::cos(theta - a) + 1.0f) * 0.5f;
    float g = (std::cos(theta + a) + 1.0f) * 0.5f;
    float h = (std::cos(theta) + 1.0f) * 0.5f;
    float l = std::fmax(f - h * o, 0.0f);
    float m = std::fmax(g - h * o, 0.0f);
    float fg = f + g;
    float q = fg > 0.0f ? k * (l + m) / fg : 0.0f;
    return std::fmax(h - q * f - q * g, 0.0f);
}

int sfm_design(sfm_state* st, const sfm_params* params)
{
    const sfm_params& p = *params;
    store_angles(st, p);
    const bool cOff = (p.flags & SFM_FLAG_NO_CENTRE) != 0;
    Layout base, widened;
    if (!layout_table(p.format, cOff, &base))
        return -1;
    widened = base;
    const float rearCoef = (p.flags & SFM_FLAG_REAR_WIDTH) ? p.rearWidthCoef : kRearWidthOff;
    apply_width(&widened, p.widthCoef, rearCoef);

    Design wide, plain;
    design_beams(widened, p, st, &wide);
    const Design* norm = &wide;
    const Design* shape = &wide;
    if (!(p.flags & SFM_FLAG_NORMALISE_WIDENED)) {
        // Normalise as for the unwarped layout, so that Width moves sound
        // between channels without changing the overall level.
        Layout unwarped = base;
        apply_width(&unwarped, 0.0f, rearCoef == kRearWidthOff ? kRearWidthOff : 0.0f);
        design_beams(unwarped, p, st, &plain);
        norm = &plain;
        if (!(p.flags & SFM_FLAG_BEAMS_WIDENED))
            shape = &plain;
    }
    store_design(st, widened, wide, *shape, *norm);
    design_vectors(st, p);
    return 0;
}

void sfm_solve_width(sfm_params params, float widthArg, float* outWidthCoef, float* outRearOpening,
                     float rearArg, float* outRearCoef)
{
    Layout l;
    float c = 0.0f, opening = 0.0f, rearCoef = 0.0f;
    if (layout_table(params.format, (params.flags & SFM_FLAG_NO_CENTRE) != 0, &l)) {
        // Choose c so that the left front sector's warped edges sum to
        // widthArg, i.e. its centre lies at Width.
        float s = std::fabs(l.start[0]), e = std::fabs(l.end[0]);
        float h = kWidthGain * (1.0f - e / sfm_pi_f), m = kWidthGain * (1.0f - s / sfm_pi_f);
        float den = e * h + s * m;
        c = den != 0.0f ? (widthArg - s - e) / den : 0.0f;
        if (!(params.flags & SFM_FLAG_NO_SURROUND) && l.numDecoded > 3) {
            float t = std::fabs(l.start[3]), u = std::fabs(l.end[3]);
            float tw = t * (1.0f + kWidthGain * c * (1.0f - t / sfm_pi_f));
            float uw = u * (1.0f + kWidthGain * c * (1.0f - u / sfm_pi_f));
            opening = 2.0f * (sfm_pi_f - (uw + tw) * 0.5f);
        }
        // Rear coefficient that moves the surround centre from p to q.
        float pc = sfm_pi_f - opening * 0.5f, q = sfm_pi_f - rearArg * 0.5f;
        if (pc < q)
            rearCoef = sfm_pi_f - pc != 0.0f ? (pc - q) / (sfm_pi_f - pc) : 0.0f;
        else
            rearCoef = 0.5f * sfm_pi_f - pc != 0.0f ? (q - pc) / (0.5f * sfm_pi_f - pc) : 0.0f;
    }
    if (outWidthCoef)
        *outWidthCoef = c;
    if (outRearOpening)
        *outRearOpening = opening;
    if (outRearCoef)
        *outRearCoef = rearCoef;
}

void sfm_compute_response(sfm_state* st, sfm_response* response)
{
    if (!st || !response)
        return;
    response->numChannels = st->numEngineOutputs;
    response->numPoints = SFM_RESPONSE_POINTS;
    response->direction = -st->lookDirection;
    response->tilt = st->tilt;
    response->rearTilt = st->rearTilt;
    const bool beamshaping = !(st->flags & SFM_FLAG_BEAMSHAPING_OFF);
    for (int k = 0; k < SFM_RESPONSE_POINTS; ++k)
        response->angle[k] = 2.0f * sfm_pi_f * k / SFM_RESPONSE_POINTS;
    int n = st->numEngineOutputs < SFM_MAX_CHANNELS ? st->numEngineOutputs : SFM_MAX_CHANNELS;
    for (int j = 0; j < SFM_MAX_CHANNELS; ++j) {
        int c = st->channelMap ? st->channelMap[j] : j;
        if (c < 0 || c >= SFM_MAX_CHANNELS)
            c = j;
        float* out = response->response + j * SFM_RESPONSE_POINTS;
        if (j >= n) {
            response->channelType[j] = 0;
            response->channelMuted[j] = 0;
            std::memset(out, 0, sizeof(float) * SFM_RESPONSE_POINTS);
            continue;
        }
        response->channelType[j] = st->channelType[c];
        response->channelMuted[j] = st->channelOn[c] == 0.0f ? 1 : 0;
        const float gain = st->channelGain[c];
        const float ce = std::fabs(std::cos(st->elevation[c]));
        const float r = st->micResponse[response_index(st->channelType[c])];
        for (int k = 0; k < SFM_RESPONSE_POINTS; ++k) {
            float v;
            if (c >= st->numDecoded) {
                v = gain;
            } else {
                float t = -response->angle[k] - st->centre[c] - st->lookDirection;
                if (beamshaping)
                    v = sfm_beam_pattern(st->sideBeamAngle, t, st->beamSharpness[c], st->beamOverlap) *
                        st->normBeam[c] * gain * ce;
                else
                    v = std::fabs(((1.0f - r) * std::cos(t) + r) * st->normFirstOrder[c] * gain) * ce;
            }
            float db = 20.0f * std::log10(v + kDisplayEps);
            out[k] = std::fmax(db, -kDisplayRangeDb) / kDisplayRangeDb + 1.0f;
        }
    }
}

void sfm_equaliser_build(sfm_state* st, sfm_buffers* buf)
{
    if (!buf->eqPhaseRe || !buf->eqPhaseIm || !buf->eqGain)
        return;
    const int n = st->setup.fftSize;
    const int bins = n / 2 + 1;
    const double fs = st->setup.sampleRate;
    const double rho = 0.99;                             // the design value, never above 0.99
    const double tau = st->capsuleSpacingMm * 0.001 / kSpeedOfSound; // front-to-rear travel time, s
    const double T = tau * fs;                           // in samples
    const double maxGain = std::pow(10.0, 10.0 / 20.0);  // +10 dB
    const double combFloor = 0.01;                       // keeps the correction finite at the comb's zeros
    // The differential pair's comb has its first notch at 1 / ((1 + rho) tau):
    // the correction stops at half of that, K bins (rounded, plus one).
    int K = bins;
    if (tau > 0.0) {
        double k = n * (0.25 / ((1.0 + rho) * tau)) / fs * 2.0 + 1.5;
        K = k < bins ? static_cast<int>(k) : bins;
    }
    if (K < 1)
        K = 1;
    for (int k = 0; k < bins; ++k) {
        double ph = k * 2.0 * SFM_PI * T * rho / n;
        buf->eqPhaseRe[k] = static_cast<float>(std::cos(ph));
        buf->eqPhaseIm[k] = static_cast<float>(-std::sin(ph));
        if (k < K) {
            double w = k * 2.0 * SFM_PI * T * (1.0 + rho) / n;
            double mag = std::hypot(1.0 - std::cos(w), std::sin(w));
            buf->eqGain[k] = static_cast<float>(std::fmin(1.0 / (mag + combFloor), maxGain));
        } else {
            buf->eqGain[k] = buf->eqGain[K - 1];
        }
    }
}
