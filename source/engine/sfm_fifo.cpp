// Multichannel ring buffers that adapt the host's block sizes to the engine's
// hop. The engine reads and writes whole hops in place (through the pointer
// calls); the host side copies with wrap-around. All channels share one
// allocation: channel i starts at channel[0] + i * size.
#include "sfm_api.h"

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>

namespace {

int advance(int pos, unsigned n, int size)
{
    return size > 0 ? static_cast<int>((static_cast<unsigned>(pos) + n) % static_cast<unsigned>(size)) : 0;
}

} // namespace

int sfm_fifo_open(sfm_fifo* f, int channels, int size, int latency)
{
    if (!f || size < latency || size < 0 || latency < 0 || channels < 0 ||
        channels > SFM_MAX_CHANNELS)
        return EINVAL;
    memset(f, 0, sizeof(*f));
    if (channels > 0 && size > 0) {
        float* storage = static_cast<float*>(
            calloc(static_cast<size_t>(channels) * static_cast<size_t>(size), sizeof(float)));
        if (!storage)
            return ENOMEM;
        for (int i = 0; i < channels; ++i)
            f->channel[i] = storage + static_cast<size_t>(i) * static_cast<size_t>(size);
    }
    f->numChannels = channels;
    f->size = size;
    f->writePos = 0;
    f->readPos = latency > 0 ? size - latency : 0;
    f->freeCount = size - latency;
    f->fillCount = latency;
    return 0;
}

void sfm_fifo_close(sfm_fifo* f)
{
    if (!f)
        return;
    free(f->channel[0]);
    memset(f, 0, sizeof(*f));
}

int sfm_fifo_pair_open(sfm_fifo* in, sfm_fifo* out, int inChannels, int outChannels,
                       int maxBlock, int hop, int* outSize, int* outLatency)
{
    if (!in || !out || maxBlock <= 0 || hop <= 0)
        return EINVAL;
    // Hosts may send any block size up to the maximum they announced (they
    // split blocks at loop points, automation points and the end of a
    // render). Input can then stop anywhere inside a hop, up to hop - 1
    // samples short of the next one, so the output ring starts one hop full:
    // it never runs dry and the delay stays what is reported, whatever the
    // block sizes. A pre-fill sized for blocks of exactly the maximum would
    // insert silence at every shorter block and leave the decode late.
    // Size: a partial block on either side of the hops in flight, rounded
    // down to whole hops so that a hop never straddles the wrap point.
    const int latency = hop;
    const int size = maxBlock + 2 * hop - ((maxBlock + 2 * hop) % hop);
    int rc = sfm_fifo_open(in, inChannels, size, 0);
    if (rc == 0)
        rc = sfm_fifo_open(out, outChannels, size, latency);
    if (rc != 0) {
        sfm_fifo_pair_close(in, out);
        return rc;
    }
    if (outSize)
        *outSize = size;
    if (outLatency)
        *outLatency = latency;
    return 0;
}

void sfm_fifo_pair_close(sfm_fifo* in, sfm_fifo* out)
{
    sfm_fifo_close(in);
    sfm_fifo_close(out);
}

void sfm_fifo_pair_reset(sfm_fifo* in, sfm_fifo* out, int latency)
{
    sfm_fifo* rings[] = {in, out};
    const int prefill[] = {0, latency};
    for (int r = 0; r < 2; ++r) {
        sfm_fifo* ring = rings[r];
        if (!ring || ring->size <= 0)
            continue;
        sfm_fifo_read(ring, nullptr, static_cast<unsigned>(ring->fillCount));
        for (int c = 0; c < ring->numChannels && c < SFM_MAX_CHANNELS; ++c)
            if (ring->channel[c])
                std::memset(ring->channel[c], 0, sizeof(float) * static_cast<size_t>(ring->size));
        const int fill = std::min(std::max(prefill[r], 0), ring->size);
        const int start = (ring->size - fill) % ring->size;
        const auto skip = static_cast<unsigned>((start - ring->writePos + ring->size) % ring->size);
        sfm_fifo_write(ring, nullptr, skip);
        sfm_fifo_read(ring, nullptr, skip);
        sfm_fifo_write(ring, nullptr, static_cast<unsigned>(fill));
    }
}

int sfm_fifo_write(sfm_fifo* f, float** channels, unsigned n)
{
    if (!f)
        return EINVAL;
    if (n > static_cast<unsigned>(f->freeCount))
        return ERANGE;
    if (channels && n > 0) {
        const unsigned first = static_cast<unsigned>(f->size - f->writePos) < n
                                   ? static_cast<unsigned>(f->size - f->writePos)
                                   : n;
        for (int i = 0; i < f->numChannels; ++i) {
            float* dst = f->channel[i];
            const float* src = channels[i];
            if (src) {
                memcpy(dst + f->writePos, src, first * sizeof(float));
                memcpy(dst, src + first, (n - first) * sizeof(float));
            } else {
                // A missing channel is written as silence, never left stale.
                memset(dst + f->writePos, 0, first * sizeof(float));
                memset(dst, 0, (n - first) * sizeof(float));
            }
        }
    }
    f->writePos = advance(f->writePos, n, f->size);
    f->freeCount -= static_cast<int>(n);
    f->fillCount += static_cast<int>(n);
    return 0;
}

int sfm_fifo_read(sfm_fifo* f, float** channels, unsigned n)
{
    if (!f)
        return EINVAL;
    if (n > static_cast<unsigned>(f->fillCount))
        return ERANGE;
    if (channels && n > 0) {
        const unsigned first = static_cast<unsigned>(f->size - f->readPos) < n
                                   ? static_cast<unsigned>(f->size - f->readPos)
                                   : n;
        for (int i = 0; i < f->numChannels; ++i) {
            float* dst = channels[i];
            if (!dst)
                continue;
            const float* src = f->channel[i];
            memcpy(dst, src + f->readPos, first * sizeof(float));
            memcpy(dst + first, src, (n - first) * sizeof(float));
        }
    }
    f->readPos = advance(f->readPos, n, f->size);
    f->fillCount -= static_cast<int>(n);
    f->freeCount += static_cast<int>(n);
    return 0;
}

unsigned sfm_fifo_read_ptrs(sfm_fifo* f, float** ptrs)
{
    if (!f || !ptrs)
        return EINVAL;
    for (int i = 0; i < f->numChannels; ++i)
        ptrs[i] = f->channel[i] ? f->channel[i] + f->readPos : nullptr;
    const int contiguous = f->size - f->readPos;
    return static_cast<unsigned>(f->fillCount < contiguous ? f->fillCount : contiguous);
}

unsigned sfm_fifo_write_ptrs(sfm_fifo* f, float** ptrs)
{
    if (!f || !ptrs)
        return EINVAL;
    for (int i = 0; i < f->numChannels; ++i)
        ptrs[i] = f->channel[i] ? f->channel[i] + f->writePos : nullptr;
    const int contiguous = f->size - f->writePos;
    return static_cast<unsigned>(f->freeCount < contiguous ? f->freeCount : contiguous);
}

int sfm_fifo_write_from(sfm_fifo* f, const float* const* in, int channels, int offset, int count)
{
    int done = 0;
    while (f && done < count) {
        float* ptrs[SFM_MAX_CHANNELS] = {};
        const auto room = static_cast<int>(sfm_fifo_write_ptrs(f, ptrs));
        if (room <= 0 || room > f->size)
            break;
        const int k = std::min(count - done, room);
        for (int c = 0; c < channels && c < SFM_MAX_CHANNELS; ++c) {
            if (!ptrs[c])
                continue;
            if (const float* src = in ? in[c] : nullptr)
                std::memcpy(ptrs[c], src + offset + done, sizeof(float) * static_cast<size_t>(k));
            else
                std::memset(ptrs[c], 0, sizeof(float) * static_cast<size_t>(k));
        }
        sfm_fifo_write(f, nullptr, static_cast<unsigned>(k));
        done += k;
    }
    return done;
}

int sfm_fifo_read_into(sfm_fifo* f, float* const* out, int channels, int offset, int count)
{
    int done = 0;
    while (f && done < count) {
        float* ptrs[SFM_MAX_CHANNELS] = {};
        const auto ready = static_cast<int>(sfm_fifo_read_ptrs(f, ptrs));
        if (ready <= 0 || ready > f->size)
            break;
        const int k = std::min(count - done, ready);
        for (int c = 0; c < channels && c < SFM_MAX_CHANNELS; ++c) {
            float* dst = out ? out[c] : nullptr;
            if (!dst)
                continue;
            if (ptrs[c])
                std::memcpy(dst + offset + done, ptrs[c], sizeof(float) * static_cast<size_t>(k));
            else
                std::memset(dst + offset + done, 0, sizeof(float) * static_cast<size_t>(k));
        }
        sfm_fifo_read(f, nullptr, static_cast<unsigned>(k));
        done += k;
    }
    return done;
}
