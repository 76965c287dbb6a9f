// Decode design through the public API: beam table, layouts, Width and Rear
// Width, Focus, normalisation, vectors, display response, Width solver.
#include "sfm_api.h"
#include "sfm_internal.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kPi = static_cast<float>(SFM_PI);
float rad(float d) { return d * kPi / 180.0f; }
float deg(float r) { return r * 180.0f / kPi; }

struct Design {
    sfm_setup setup{};
    sfm_state st{};
    sfm_buffers buf{};
    sfm_response resp{};
    sfm_params p{};

    explicit Design(int format = 3, uint32_t setFlags = 0)
    {
        sfm_params_default(&p);
        p.format = format;
        p.flags |= setFlags;
    }
    ~Design() { sfm_free(&st, &buf, nullptr, &resp); }
    void init()
    {
        sfm_setup_init(&setup, 48000.0f);
        sfm_init(&st, &buf, &setup, p, nullptr, &resp);
    }
    // Width in degrees through the solver, then the design.
    void width(float widthDeg, float rearWidthDeg = 150.0f)
    {
        sfm_solve_width(p, rad(2.0f * widthDeg), &p.widthCoef, nullptr, rad(2.0f * (180.0f - rearWidthDeg)),
                        &p.rearWidthCoef);
        sfm_set_params(&st, &buf, p);
    }
    float centreDeg(int i) const { return deg(st.centre[i]); }
};

TEST(BeamTable, PublishedAnchorsAndColumns)
{
    const float(*t)[SFM_BEAM_COLS] = sfm_beam_table();
    // Sharpness: published to two decimals.
    const struct { int row; float k; } sharp[] = {{0, 3.65f},  {10, 2.36f}, {30, 1.26f}, {50, 0.76f},
                                                  {70, 0.46f}, {90, 0.25f}, {110, 0.11f}, {127, 0.0f}};
    for (auto& a : sharp)
        EXPECT_NEAR(t[a.row][0], a.k, 0.01f) << "row " << a.row;
    // Diffuse share: the pattern's horizontal energy against the cardioid's,
    // integrated here from the pattern itself; the decoder's calibration
    // only nudges it (by 2.3 % at most), and the widest row is the cardioid.
    for (int r = 0; r < SFM_BEAM_ROWS; ++r) {
        double pattern = 0.0, cardioid = 0.0;
        for (int i = 0; i < 3600; ++i) {
            const float a = static_cast<float>(2.0 * kPi * i / 3600.0);
            const double b = sfm_beam_pattern(rad(120.0f), a, t[r][0], 0.3f);
            const double h = 0.5 * (1.0 + std::cos(a));
            pattern += b * b;
            cardioid += h * h;
        }
        EXPECT_NEAR(t[r][2] / (pattern / cardioid), 1.0, 0.05) << "row " << r; // nudged by 2.3 % at most
    }
    EXPECT_NEAR(t[SFM_BEAM_ROWS - 1][2], 1.0f, 1e-4f);
    for (int r = 0; r < SFM_BEAM_ROWS; ++r) {
        EXPECT_EQ(t[r][1], 1.0f);
        EXPECT_EQ(t[r][3], 0.5f);
        EXPECT_EQ(t[r][4], 0.5f);
        if (r > 0) {
            EXPECT_LT(t[r][0], t[r - 1][0] + 1e-6f) << "sharpness falls with width, row " << r;
            EXPECT_GT(t[r][2], t[r - 1][2]) << "diffuse share rises with width, row " << r;
        }
    }
}

TEST(BeamTable, EveryRowIsThreeDecibelsDownAtHalfItsWidth)
{
    const float(*t)[SFM_BEAM_COLS] = sfm_beam_table();
    for (int r = 0; r < SFM_BEAM_ROWS; ++r) {
        float w = kPi / 6.0f + r / 72.00213f;
        float on = sfm_beam_pattern(rad(120.0f), 0.0f, t[r][0], 0.3f);
        float edge = sfm_beam_pattern(rad(120.0f), 0.5f * w, t[r][0], 0.3f);
        EXPECT_NEAR(on, 1.0f, 1e-6f);
        EXPECT_NEAR(edge, std::sqrt(0.5f), 2e-4f) << "row " << r;
    }
}

TEST(BeamTable, RowLookupClampsToTheTable)
{
    EXPECT_EQ(sfm_beam_row(rad(30.0f)), 0);
    EXPECT_EQ(sfm_beam_row(rad(10.0f)), 0);
    EXPECT_EQ(sfm_beam_row(2.2874f), 127);
    EXPECT_EQ(sfm_beam_row(rad(200.0f)), 127);
    EXPECT_EQ(sfm_beam_row(NAN), 0);
    EXPECT_EQ(sfm_beam_row(kPi / 6.0f + 10.0f / 72.00213f), 10);
    EXPECT_EQ(sfm_beam_row(1e30f), 127);
    EXPECT_EQ(sfm_beam_row(INFINITY), 127);
}

// A far-out Focus (the beam width then exceeds any int as a row number)
// selects the widest row instead of reading outside the table.
TEST(Focus, FarOutsideItsRangeStaysOnTheTable)
{
    for (float focus : {-1e20f, -1e30f}) {
        sfm_setup s;
        sfm_setup_init(&s, 48000.0f);
        sfm_params p;
        sfm_params_default(&p);
        p.focus = focus;
        sfm_state st;
        sfm_buffers buf;
        sfm_init(&st, &buf, &s, p, nullptr, nullptr);
        for (int i = 0; i < st.numDecoded; ++i)
            EXPECT_EQ(st.beamSharpness[i], sfm_beam_table()[127][0]) << focus << " channel " << i;
        sfm_free(&st, &buf, nullptr, nullptr);
    }
}

TEST(Layout, FormatThreeUnwidened)
{
    Design d;
    d.init();
    ASSERT_EQ(d.st.fatal, 0);
    EXPECT_EQ(d.st.numDecoded, 5);
    EXPECT_EQ(d.st.numEngineOutputs, 6);
    const float start[5] = {100, -30, 30, 180, -100}, end[5] = {30, -100, -30, 100, -180};
    const int type[6] = {SFM_TYPE_FRONT, SFM_TYPE_FRONT, SFM_TYPE_CENTRE, SFM_TYPE_SURROUND, SFM_TYPE_SURROUND,
                         SFM_TYPE_LFE};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(deg(d.st.sectorStart[i]), start[i], 1e-4f) << i;
        EXPECT_NEAR(deg(d.st.sectorEnd[i]), end[i], 1e-4f) << i;
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(d.st.channelType[i], type[i]) << i;
    // Unit look vectors towards the sector centres, in the horizontal plane.
    for (int i = 0; i < 5; ++i) {
        float c = 0.5f * (rad(start[i]) + rad(end[i]));
        EXPECT_NEAR(d.st.lookVec[i][0], std::cos(c), 1e-5f);
        EXPECT_NEAR(d.st.lookVec[i][1], std::sin(c), 1e-5f);
        EXPECT_NEAR(d.st.lookVec[i][2], 0.0f, 1e-6f);
        // Side beams at +-120 degrees from the look direction.
        EXPECT_NEAR(d.st.sidePlusVec[i][0], std::cos(c + rad(120)), 1e-5f);
        EXPECT_NEAR(d.st.sideMinusVec[i][1], std::sin(c - rad(120)), 1e-5f);
    }
}

TEST(Layout, CentreOffAndSurroundOffDisableTheirChannels)
{
    Design c(3, SFM_FLAG_NO_CENTRE);
    c.init();
    EXPECT_NEAR(deg(c.st.sectorStart[0]), 100.0f, 1e-4f);
    EXPECT_NEAR(deg(c.st.sectorEnd[0]), 0.0f, 1e-4f);
    EXPECT_NEAR(deg(c.st.sectorStart[1]), 0.0f, 1e-4f);
    EXPECT_NEAR(deg(c.st.sectorEnd[1]), -100.0f, 1e-4f);
    EXPECT_EQ(c.st.normBeam[2], 0.0f);
    EXPECT_EQ(c.st.normFirstOrder[2], 0.0f);
    EXPECT_EQ(c.st.channelGain[2], 0.0f);
    EXPECT_GT(c.st.normBeam[0], 0.0f);

    Design s(3, SFM_FLAG_NO_SURROUND);
    s.init();
    EXPECT_EQ(s.st.normBeam[3], 0.0f);
    EXPECT_EQ(s.st.normBeam[4], 0.0f);
    EXPECT_EQ(s.st.normFirstOrder[4], 0.0f);
    // Without the surround pair the fronts overlap less with the rest: larger gains.
    Design all(3);
    all.init();
    EXPECT_GT(s.st.normFirstOrder[0], all.st.normFirstOrder[0]);
}

TEST(Layout, EveryFormatGivesAFiniteDesign)
{
    const int decoded[10] = {1, 2, 4, 5, 6, 7, 8, 10, 10, 10};
    const int outputs[10] = {1, 2, 4, 6, 7, 8, 8, 10, 10, 10};
    for (int f = 0; f < 10; ++f)
        for (uint32_t flags : {0u, uint32_t(SFM_FLAG_NO_CENTRE), uint32_t(SFM_FLAG_NO_SURROUND)}) {
            Design d(f, flags);
            d.init();
            d.width(50.0f, 140.0f);
            SCOPED_TRACE(testing::Message() << "format " << f << " flags " << flags);
            ASSERT_EQ(d.st.fatal, 0);
            EXPECT_EQ(d.st.numDecoded, decoded[f]);
            EXPECT_EQ(d.st.numEngineOutputs, outputs[f]);
            for (int i = 0; i < d.st.numDecoded; ++i) {
                EXPECT_TRUE(std::isfinite(d.st.normBeam[i]) && d.st.normBeam[i] >= 0.0f && d.st.normBeam[i] <= 1.0f);
                EXPECT_TRUE(std::isfinite(d.st.normFirstOrder[i]) && d.st.normFirstOrder[i] <= 1.0f);
                float len = std::sqrt(d.st.lookVec[i][0] * d.st.lookVec[i][0] + d.st.lookVec[i][1] * d.st.lookVec[i][1] +
                                      d.st.lookVec[i][2] * d.st.lookVec[i][2]);
                EXPECT_NEAR(len, 1.0f, 1e-5f);
            }
        }
}

TEST(Layout, UnknownFormatIsFatal)
{
    Design d(12);
    d.init();
    EXPECT_NE(d.st.fatal, 0);
}

TEST(Layout, FormatFourBackChannelWrapsThroughTheRear)
{
    Design d(4);
    d.init();
    EXPECT_NEAR(std::fabs(d.centreDeg(5)), 180.0f, 1e-3f);
    EXPECT_NEAR(d.st.lookVec[5][0], -1.0f, 1e-5f);
}

TEST(Width, SolverRoundTripPutsTheLeftCentreAtWidth)
{
    for (uint32_t flags : {0u, uint32_t(SFM_FLAG_NO_CENTRE), uint32_t(SFM_FLAG_NO_SURROUND),
                           uint32_t(SFM_FLAG_NO_CENTRE | SFM_FLAG_NO_SURROUND)}) {
        for (float w = 30.0f; w <= 90.0f; w += 5.0f) {
            Design d(3, flags);
            d.init();
            d.width(w);
            EXPECT_NEAR(d.centreDeg(0), w, 0.01f) << "flags " << flags << " width " << w;
            EXPECT_NEAR(d.centreDeg(1), -w, 0.01f) << "flags " << flags << " width " << w;
        }
    }
    Design d(3);
    d.init();
    float c = -1.0f;
    sfm_solve_width(d.p, rad(130.0f), &c, nullptr, 0.0f, nullptr);
    EXPECT_NEAR(c, 0.0f, 1e-6f);
}

TEST(Width, StereoAtNinetyDegreesDoesNotSwapSides)
{
    // The widened left sector of "Stereo" at Width 90 is exactly pi wide: it
    // must not be taken for a sector across the back.
    Design d(3, SFM_FLAG_NO_CENTRE | SFM_FLAG_NO_SURROUND);
    d.init();
    d.width(90.0f);
    EXPECT_NEAR(d.centreDeg(0), 90.0f, 0.01f);
    EXPECT_NEAR(d.centreDeg(1), -90.0f, 0.01f);
    EXPECT_GT(d.st.lookVec[0][1], 0.99f);
    EXPECT_LT(d.st.lookVec[1][1], -0.99f);
    // Rounding elsewhere may leave the sector a hair wider than pi: still the left.
    d.p.widthCoef *= 1.0002f;
    sfm_set_params(&d.st, &d.buf, d.p);
    ASSERT_GT(d.st.sectorStart[0] - d.st.sectorEnd[0], kPi);
    EXPECT_GT(d.st.lookVec[0][1], 0.99f);
    EXPECT_LT(d.st.lookVec[1][1], -0.99f);
}

TEST(Width, RearWidthMovesTheSurroundCentres)
{
    Design d(3, SFM_FLAG_REAR_WIDTH);
    d.init();
    d.p.rearWidthCoef = 1.0f;
    sfm_set_params(&d.st, &d.buf, d.p);
    EXPECT_NEAR(d.centreDeg(3), 90.0f, 1e-3f);
    EXPECT_NEAR(d.centreDeg(4), -90.0f, 1e-3f);
    d.p.rearWidthCoef = -1.0f;
    sfm_set_params(&d.st, &d.buf, d.p);
    EXPECT_NEAR(d.centreDeg(3), 180.0f, 1e-3f);
    EXPECT_NEAR(d.centreDeg(4), -180.0f, 1e-3f);
    // Without the flag the coefficient is ignored.
    Design off(3);
    off.init();
    off.p.rearWidthCoef = 1.0f;
    sfm_set_params(&off.st, &off.buf, off.p);
    EXPECT_NEAR(off.centreDeg(3), 140.0f, 1e-3f);
}

TEST(Width, RearWidthSolverHitsTheWantedAngle)
{
    for (float w : {50.0f, 65.0f, 80.0f})
        for (float r : {100.0f, 120.0f, 150.0f, 170.0f}) {
            Design d(3, SFM_FLAG_REAR_WIDTH);
            d.init();
            d.width(w, r);
            EXPECT_NEAR(d.centreDeg(3), r, 0.05f) << "width " << w << " rear " << r;
            EXPECT_NEAR(d.centreDeg(4), -r, 0.05f) << "width " << w << " rear " << r;
        }
}

TEST(Focus, SelectsTheBeamRow)
{
    const float(*t)[SFM_BEAM_COLS] = sfm_beam_table();
    Design one(3);
    one.p.focus = 1.0f;
    one.init();
    EXPECT_EQ(one.st.beamSharpness[2], t[sfm_beam_row(rad(60.0f))][0]); // C is 60 degrees wide
    EXPECT_EQ(one.st.beamSharpness[0], t[sfm_beam_row(rad(70.0f))][0]);
    Design zero(3);
    zero.p.focus = 0.0f;
    zero.init();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(zero.st.beamSharpness[i], t[127][0]);
    Design two(3);
    two.p.focus = 2.0f;
    two.init();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(two.st.beamSharpness[i], t[sfm_beam_row(kPi / 4.0f)][0]);
}

TEST(Normalisation, TwoPassRule)
{
    Design plain(3);
    plain.init(); // Width coefficient 0
    // Default (0x80000): normalisation of the unwidened layout, beams of the widened one.
    Design def(3);
    def.init();
    def.width(85.0f);
    Design wideNorm(3, SFM_FLAG_NORMALISE_WIDENED);
    wideNorm.init();
    wideNorm.width(85.0f);
    Design unwidenedBeams(3);
    unwidenedBeams.p.flags &= ~uint32_t(SFM_FLAG_BEAMS_WIDENED);
    unwidenedBeams.init();
    unwidenedBeams.width(85.0f);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(def.st.normBeam[i], plain.st.normBeam[i]) << i;
        EXPECT_EQ(def.st.normFirstOrder[i], plain.st.normFirstOrder[i]) << i;
        EXPECT_EQ(def.st.beamSharpness[i], wideNorm.st.beamSharpness[i]) << i;
        EXPECT_EQ(unwidenedBeams.st.beamSharpness[i], plain.st.beamSharpness[i]) << i;
        EXPECT_EQ(unwidenedBeams.st.normBeam[i], plain.st.normBeam[i]) << i;
    }
    EXPECT_NE(wideNorm.st.normBeam[2], plain.st.normBeam[2]);
    EXPECT_NE(def.st.beamSharpness[2], plain.st.beamSharpness[2]); // the centre narrows with Width 85
}

TEST(Vectors, DirectionAndTiltRotateTheDecode)
{
    Design d(3);
    d.p.direction = 30.0f;
    d.init();
    EXPECT_NEAR(std::atan2(d.st.lookVec[2][1], d.st.lookVec[2][0]), rad(30.0f), 1e-5f);
    d.p.direction = 0.0f;
    d.p.tiltAngle = 20.0f;
    sfm_set_params(&d.st, &d.buf, d.p);
    EXPECT_NEAR(d.st.lookVec[2][2], std::sin(rad(20.0f)), 1e-5f);
    // The tilt turns the whole decode about the left axis: the back goes down
    // as the front goes up. With the rear-tilt flag the surround channels take
    // the rear tilt instead.
    const float back = std::cos(d.st.centre[3]);
    EXPECT_NEAR(d.st.lookVec[3][2], std::sin(rad(20.0f)) * back, 1e-5f);
    d.p.flags |= SFM_FLAG_REAR_TILT;
    d.p.rearTiltAngle = -10.0f;
    sfm_set_params(&d.st, &d.buf, d.p);
    EXPECT_NEAR(d.st.lookVec[2][2], std::sin(rad(20.0f)), 1e-5f);
    EXPECT_NEAR(d.st.lookVec[3][2], std::sin(rad(-10.0f)) * back, 1e-5f);
}

TEST(Response, ShowsEachChannelsPatternAndMutes)
{
    Design d(3);
    d.p.muteC = 1;
    d.p.gainLR = -6.0f;
    d.init();
    sfm_compute_response(&d.st, &d.resp);
    ASSERT_EQ(d.resp.numChannels, 6);
    ASSERT_EQ(d.resp.numPoints, SFM_RESPONSE_POINTS);
    auto value = [&](int j, float angleDeg) {
        int k = static_cast<int>(std::lround(angleDeg / 2.0f + 180.0f)) % SFM_RESPONSE_POINTS;
        return d.resp.response[j * SFM_RESPONSE_POINTS + k];
    };
    // The display angle runs clockwise: the left channel (centre 65 degrees)
    // peaks at -65; the nearest point is -66.
    float lPeak = 20.0f * std::log10(d.st.normBeam[0] * std::pow(10.0f, -6.0f / 20.0f));
    EXPECT_NEAR(value(0, -66.0f), lPeak / 25.0f + 1.0f, 0.01f);
    EXPECT_LT(value(0, 65.0f), 0.2f);
    // The muted centre still shows its pattern, flagged.
    EXPECT_EQ(d.resp.channelMuted[2], 1);
    EXPECT_EQ(d.resp.channelMuted[0], 0);
    EXPECT_GT(value(2, 0.0f), 0.9f);
    // Output 3 is the LFE (format-3 map): its gain is 0, shown as the floor.
    EXPECT_EQ(d.resp.channelType[3], SFM_TYPE_LFE);
    EXPECT_EQ(value(3, 0.0f), 0.0f);
    EXPECT_EQ(d.resp.channelType[4], SFM_TYPE_SURROUND);
}

} // namespace

namespace {

TEST(Width, RearOpeningFollowsTheFrontWidth)
{
    Design d(3);
    d.init();
    float c = 0.0f, opening = 0.0f;
    // Width 65 leaves the layout as it is: surrounds 180..100, centred on 140.
    sfm_solve_width(d.p, rad(130.0f), &c, &opening, 0.0f, nullptr);
    EXPECT_NEAR(deg(kPi - 0.5f * opening), 140.0f, 1e-3f);
    // A wider front pushes the surround's front edge back.
    sfm_solve_width(d.p, rad(160.0f), &c, &opening, 0.0f, nullptr);
    EXPECT_GT(deg(kPi - 0.5f * opening), 140.0f);
    d.p.flags |= SFM_FLAG_NO_SURROUND;
    sfm_solve_width(d.p, rad(160.0f), &c, &opening, 0.0f, nullptr);
    EXPECT_EQ(opening, 0.0f);
}

TEST(Layout, RearWidthLeavesABackCentredSectorAtTheBack)
{
    Design d(4, SFM_FLAG_REAR_WIDTH);
    d.init();
    d.p.rearWidthCoef = 0.5f;
    sfm_set_params(&d.st, &d.buf, d.p);
    EXPECT_NEAR(std::fabs(d.centreDeg(5)), 180.0f, 1e-3f);
    EXPECT_NEAR(d.centreDeg(3), 0.5f * 90.0f + 0.5f * 120.0f, 1e-3f); // 150..90 moves halfway to 90
}

TEST(Equaliser, CapsuleSpacingCurvesStayBounded)
{
    sfm_setup setup{};
    sfm_state st{};
    sfm_buffers buf{};
    sfm_params p;
    sfm_params_default(&p);
    p.flags &= ~uint32_t(SFM_FLAG_LFE_ON);
    sfm_setup_init(&setup, 48000.0f);
    ASSERT_EQ(sfm_create(&st, &buf, &setup, p, nullptr, nullptr), 0);
    const int bins = setup.numBins;
    float maxGain = 0.0f;
    for (int k = 0; k < bins; ++k) {
        EXPECT_NEAR(buf.eqPhaseRe[k] * buf.eqPhaseRe[k] + buf.eqPhaseIm[k] * buf.eqPhaseIm[k], 1.0f, 1e-5f);
        EXPECT_GT(buf.eqGain[k], 0.0f);
        maxGain = std::fmax(maxGain, buf.eqGain[k]);
    }
    EXPECT_LE(maxGain, std::pow(10.0f, 0.5f) * 1.0001f); // +10 dB at most
    // 18 mm: the correction stops at half the first comb notch
    // (340 / (1.99 * 0.018) Hz) and stays flat above.
    const float notchHz = 340.0f / (1.99f * 0.018f);
    const int flatFrom = static_cast<int>(0.5f * notchHz / (48000.0f / setup.fftSize)) + 2;
    for (int k = flatFrom; k < bins; ++k)
        EXPECT_EQ(buf.eqGain[k], buf.eqGain[flatFrom]);
    // The differential pair loses most at low frequencies: the gain falls with frequency.
    EXPECT_GT(buf.eqGain[2], buf.eqGain[20]);
    sfm_free(&st, &buf, nullptr, nullptr);
}

} // namespace
