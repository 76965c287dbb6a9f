// Ring buffers between host blocks and engine hops: sizing, latency,
// wrap-around copies, refusals, and a whole block/hop stream.
#include "sfm_api.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <vector>

namespace {

struct Pair {
    sfm_fifo in{}, out{};
    ~Pair() { sfm_fifo_pair_close(&in, &out); }
};

TEST(FifoPair, SizeAndLatencyFollowHopAndMaxBlock)
{
    struct Row {
        int maxBlock, hop, size, latency;
    };
    // One hop of pre-fill whatever the maximum block; the size holds a
    // partial block on either side of the hops in flight, in whole hops.
    const Row rows[] = {{512, 512, 1536, 512},  {256, 512, 1024, 512}, {1024, 512, 2048, 512},
                        {300, 512, 1024, 512},  {1, 512, 1024, 512},   {4096, 512, 5120, 512},
                        {1000, 512, 1536, 512}, {64, 256, 512, 256}};
    for (const Row& r : rows) {
        Pair p;
        int size = -1, latency = -1;
        ASSERT_EQ(sfm_fifo_pair_open(&p.in, &p.out, 3, 6, r.maxBlock, r.hop, &size, &latency), 0);
        EXPECT_EQ(size, r.size) << r.maxBlock;
        EXPECT_EQ(latency, r.latency) << r.maxBlock;
        EXPECT_EQ(p.in.size, r.size);
        EXPECT_EQ(p.in.fillCount, 0);
        EXPECT_EQ(p.out.fillCount, r.latency);
        EXPECT_EQ(p.out.freeCount + p.out.fillCount, r.size);
        EXPECT_EQ(size % r.hop, 0) << "hops never straddle the wrap point";
    }
}

TEST(FifoPair, RefusesBadArgumentsAndLeavesBothClosed)
{
    Pair p;
    EXPECT_EQ(sfm_fifo_pair_open(&p.in, &p.out, 3, 17, 512, 512, nullptr, nullptr), EINVAL);
    EXPECT_EQ(p.in.channel[0], nullptr);
    EXPECT_EQ(p.out.channel[0], nullptr);
    EXPECT_EQ(sfm_fifo_pair_open(&p.in, &p.out, 3, 6, 0, 512, nullptr, nullptr), EINVAL);
    EXPECT_EQ(sfm_fifo_pair_open(&p.in, &p.out, 3, 6, 512, 0, nullptr, nullptr), EINVAL);
    EXPECT_EQ(sfm_fifo_pair_open(nullptr, &p.out, 3, 6, 512, 512, nullptr, nullptr), EINVAL);
}

TEST(Fifo, OpenSetsPositionsAndPointers)
{
    sfm_fifo f{};
    EXPECT_EQ(sfm_fifo_open(nullptr, 2, 16, 0), EINVAL);
    EXPECT_EQ(sfm_fifo_open(&f, 2, 16, 17), EINVAL);
    ASSERT_EQ(sfm_fifo_open(&f, 3, 16, 4), 0);
    EXPECT_EQ(f.readPos, 12);
    EXPECT_EQ(f.writePos, 0);
    EXPECT_EQ(f.fillCount, 4);
    EXPECT_EQ(f.freeCount, 12);
    EXPECT_EQ(f.channel[1], f.channel[0] + 16);
    EXPECT_EQ(f.channel[2], f.channel[0] + 32);
    EXPECT_EQ(f.channel[3], nullptr);
    sfm_fifo_close(&f);
    EXPECT_EQ(f.channel[0], nullptr);
    EXPECT_EQ(f.size, 0);
    sfm_fifo_close(&f);
    sfm_fifo_close(nullptr);

    ASSERT_EQ(sfm_fifo_open(&f, 0, 16, 0), 0); // no storage
    EXPECT_EQ(f.channel[0], nullptr);
    EXPECT_EQ(f.freeCount, 16);
    sfm_fifo_close(&f);
}

TEST(Fifo, LatencyReadsAsZeros)
{
    sfm_fifo f{};
    ASSERT_EQ(sfm_fifo_open(&f, 2, 512, 256), 0);
    std::vector<float> a(256, 9.0f), b(256, 9.0f);
    float* ch[2] = {a.data(), b.data()};
    ASSERT_EQ(sfm_fifo_read(&f, ch, 256), 0);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(a[i], 0.0f);
        ASSERT_EQ(b[i], 0.0f);
    }
    EXPECT_EQ(sfm_fifo_read(&f, ch, 1), ERANGE);
    sfm_fifo_close(&f);
}

TEST(Fifo, OverflowAndUnderflowAreRefusedWithoutChange)
{
    sfm_fifo f{};
    ASSERT_EQ(sfm_fifo_open(&f, 1, 8, 0), 0);
    float data[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    float* ch[1] = {data};
    EXPECT_EQ(sfm_fifo_write(&f, ch, 9), ERANGE);
    EXPECT_EQ(f.writePos, 0);
    EXPECT_EQ(f.freeCount, 8);
    EXPECT_EQ(f.channel[0][0], 0.0f);
    EXPECT_EQ(sfm_fifo_read(&f, ch, 1), ERANGE);
    EXPECT_EQ(sfm_fifo_write(nullptr, ch, 1), EINVAL);
    EXPECT_EQ(sfm_fifo_read(nullptr, ch, 1), EINVAL);
    EXPECT_EQ(sfm_fifo_read_ptrs(nullptr, ch), static_cast<unsigned>(EINVAL));
    EXPECT_EQ(sfm_fifo_write_ptrs(&f, nullptr), static_cast<unsigned>(EINVAL));
    sfm_fifo_close(&f);
}

TEST(Fifo, CopiesWrapAroundTheEnd)
{
    sfm_fifo f{};
    ASSERT_EQ(sfm_fifo_open(&f, 2, 8, 0), 0);
    float a[6] = {1, 2, 3, 4, 5, 6}, b[6] = {-1, -2, -3, -4, -5, -6};
    float* in[2] = {a, b};
    ASSERT_EQ(sfm_fifo_write(&f, in, 6), 0);
    ASSERT_EQ(sfm_fifo_read(&f, nullptr, 5), 0); // discard
    ASSERT_EQ(sfm_fifo_write(&f, in, 6), 0);     // 2 at the end, 4 from the start
    EXPECT_EQ(f.writePos, 4);
    EXPECT_EQ(f.fillCount, 7);
    EXPECT_EQ(f.channel[0][7], 2.0f);
    EXPECT_EQ(f.channel[0][0], 3.0f);
    EXPECT_EQ(f.channel[1][3], -6.0f);

    float x[7], y[7];
    float* out[2] = {x, y};
    ASSERT_EQ(sfm_fifo_read(&f, out, 7), 0);
    const float want[7] = {6, 1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(x[i], want[i]) << i;
        EXPECT_EQ(y[i], -want[i]) << i;
    }
    EXPECT_EQ(f.readPos, 4);
    EXPECT_EQ(f.freeCount, 8);
    sfm_fifo_close(&f);
}

TEST(Fifo, PointerCallsGiveTheContiguousRun)
{
    sfm_fifo f{};
    ASSERT_EQ(sfm_fifo_open(&f, 2, 1024, 512), 0);
    float* p[2];
    EXPECT_EQ(sfm_fifo_read_ptrs(&f, p), 512u);
    EXPECT_EQ(p[0], f.channel[0] + 512);
    EXPECT_EQ(p[1], f.channel[1] + 512);
    EXPECT_EQ(sfm_fifo_write_ptrs(&f, p), 512u);
    EXPECT_EQ(p[1], f.channel[1]);
    ASSERT_EQ(sfm_fifo_write(&f, nullptr, 300), 0);
    EXPECT_EQ(sfm_fifo_write_ptrs(&f, p), 212u);
    ASSERT_EQ(sfm_fifo_read(&f, nullptr, 512), 0); // readPos wraps to 0
    EXPECT_EQ(sfm_fifo_read_ptrs(&f, p), 300u);
    EXPECT_EQ(p[0], f.channel[0]);
    sfm_fifo_close(&f);
}

// The processor's loop with a pass-through "engine" that copies each hop:
// the output is the input delayed by the ring's latency, and the engine side
// never sees a partial hop, and the ring never runs dry, with blocks of any
// size up to the maximum (hosts split blocks at loop and automation points).
TEST(FifoPair, BlockToHopStreamIsDelayedByTheLatency)
{
    for (int maxBlock : {512, 256, 1024, 300, 777, 64}) {
        const int hop = 512;
        Pair p;
        int size = 0, latency = 0;
        ASSERT_EQ(sfm_fifo_pair_open(&p.in, &p.out, 1, 1, maxBlock, hop, &size, &latency), 0);
        std::mt19937 rng(static_cast<unsigned>(maxBlock));
        std::uniform_int_distribution<int> blockLen(1, maxBlock);
        long long written = 0, produced = 0;
        while (produced < 20000) {
            const int n = (rng() & 3) == 0 ? maxBlock : blockLen(rng);
            std::vector<float> in(static_cast<size_t>(n)), out(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
                in[i] = static_cast<float>(written + i + 1);
            float* ip[1] = {in.data()};
            float* op[1] = {out.data()};
            ASSERT_EQ(sfm_fifo_write(&p.in, ip, static_cast<unsigned>(n)), 0);
            written += n;
            for (;;) {
                float* r[1];
                float* w[1];
                if (sfm_fifo_read_ptrs(&p.in, r) < static_cast<unsigned>(hop))
                    break;
                if (sfm_fifo_write_ptrs(&p.out, w) < static_cast<unsigned>(hop))
                    break;
                std::copy(r[0], r[0] + hop, w[0]);
                ASSERT_EQ(sfm_fifo_read(&p.in, nullptr, hop), 0);
                ASSERT_EQ(sfm_fifo_write(&p.out, nullptr, hop), 0);
            }
            ASSERT_EQ(sfm_fifo_read(&p.out, op, static_cast<unsigned>(n)), 0)
                << "maxBlock " << maxBlock << " ran dry";
            for (int i = 0; i < n; ++i) {
                const long long src = produced + i - latency + 1;
                const float want = src >= 1 ? static_cast<float>(src) : 0.0f;
                ASSERT_EQ(out[i], want) << "maxBlock " << maxBlock << " at " << produced + i;
            }
            produced += n;
        }
    }
}

} // namespace

TEST(Fifo, HostBuffersGoInAndOutAcrossTheWrapUntilFullOrDry)
{
    sfm_fifo f{};
    ASSERT_EQ(sfm_fifo_open(&f, 2, 8, 3), 0);
    // Three samples of pre-fill, then five from an offset, the second
    // channel from no buffer at all (silence); the ring is then full.
    std::vector<float> a = {9, 1, 2, 3, 4, 5, 6, 7};
    const float* in[2] = {a.data(), nullptr};
    EXPECT_EQ(sfm_fifo_write_from(&f, in, 2, 1, 7), 5);
    std::vector<float> l(10, -1.0f), r(10, -1.0f);
    float* out[2] = {l.data(), r.data()};
    EXPECT_EQ(sfm_fifo_read_into(&f, out, 2, 2, 10), 8);
    EXPECT_EQ(l, (std::vector<float>{-1, -1, 0, 0, 0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(r, (std::vector<float>{-1, -1, 0, 0, 0, 0, 0, 0, 0, 0}));
    // Dry now; writing again runs across the wrap point.
    EXPECT_EQ(sfm_fifo_read_into(&f, out, 2, 0, 1), 0);
    EXPECT_EQ(sfm_fifo_write_from(&f, in, 2, 4, 4), 4);
    float* onlyLeft[2] = {l.data(), nullptr};
    EXPECT_EQ(sfm_fifo_read_into(&f, onlyLeft, 2, 0, 4), 4);
    EXPECT_EQ(std::vector<float>(l.begin(), l.begin() + 4), (std::vector<float>{4, 5, 6, 7}));
    sfm_fifo_close(&f);
}
