#include "render.h"

#include "chain.h"
#include "session.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace orvotool {

namespace {

double dbfs (double v)
{
	return v > 0.0 ? 20.0 * std::log10 (v) : -INFINITY;
}

// The host's buffers for one block, and the output channels of the layout
// interleaved for the file, with their levels.
class BlockBuffers
{
public:
	BlockBuffers (int block, const OutputLayout& layout)
	: in (kBusChannels, std::vector<float> (static_cast<size_t> (block), 0.f))
	, mid (kBusChannels, std::vector<float> (static_cast<size_t> (block), 0.f))
	, bus (kBusChannels, std::vector<float> (static_cast<size_t> (block), 0.f))
	, channels (layout.busChannels)
	, interleaved (static_cast<size_t> (block) * channels.size ())
	, peak (channels.size (), 0.0)
	, energy (channels.size (), 0.0)
	{
		for (int c = 0; c < kBusChannels; ++c)
		{
			inPtrs[c] = in[static_cast<size_t> (c)].data ();
			midPtrs[c] = mid[static_cast<size_t> (c)].data ();
			outPtrs[c] = bus[static_cast<size_t> (c)].data ();
		}
	}

	float* const* capsules () { return inPtrs; }
	float* const* inputs () const { return inPtrs; }
	float* const* outputs () const { return outPtrs; }
	// Between the two plug-ins of a chain: the decoder's 5.1 out.
	float* const* between () const { return midPtrs; }
	const float* frames () const { return interleaved.data (); }

	void clearCapsules ()
	{
		for (int c = 0; c < kCapsules; ++c)
			std::fill (in[static_cast<size_t> (c)].begin (), in[static_cast<size_t> (c)].end (), 0.f);
	}

	// Interleaves 'count' frames of the layout's channels from 'skip' on.
	void collect (int64_t skip, int64_t count)
	{
		const size_t n = channels.size ();
		for (int64_t i = 0; i < count; ++i)
			for (size_t c = 0; c < n; ++c)
			{
				const float x = bus[static_cast<size_t> (channels[c])][static_cast<size_t> (skip + i)];
				interleaved[static_cast<size_t> (i) * n + c] = x;
				peak[c] = std::max (peak[c], static_cast<double> (std::fabs (x)));
				energy[c] += static_cast<double> (x) * x;
			}
	}

	void levels (int64_t frames, RenderResult& r) const
	{
		for (size_t c = 0; c < channels.size (); ++c)
		{
			r.peakDb.push_back (dbfs (peak[c]));
			r.rmsDb.push_back (dbfs (frames > 0 ? std::sqrt (energy[c] / static_cast<double> (frames)) : 0.0));
		}
	}

private:
	std::vector<std::vector<float>> in, mid, bus;
	float* inPtrs[kBusChannels] {};
	float* midPtrs[kBusChannels] {};
	float* outPtrs[kBusChannels] {};
	std::vector<int> channels;
	std::vector<float> interleaved;
	std::vector<double> peak, energy;
};

// One job: the recording through a processor session into the file.
class FileDecode
{
public:
	FileDecode (const RenderJob& job, const RenderOptions& options, Progress& progress,
	            const std::atomic<bool>& stop)
	: job (job), o (options), progress (progress), stop (stop), buffers (options.block, options.layout)
	{
	}

	bool open (Plugin& plugin, RenderResult& r);
	bool stream (std::string& error);
	bool finish (RenderResult& r);

private:
	bool runBlock (std::string& error);

	const RenderJob& job;
	const RenderOptions& o;
	Progress& progress;
	const std::atomic<bool>& stop;
	CapsuleReader reader;
	ProcessorSession session;
	ProcessorSession monitor; // the second plug-in of a binaural render
	DecodedWriter writer;
	BlockBuffers buffers;
	int64_t recording {0}; // frames of the recording, once its end is known
	int64_t tail {0};
	int64_t fed {0}, produced {0}, written {0};
};

bool FileDecode::open (Plugin& plugin, RenderResult& r)
{
	const std::string& input = job.inputs[0];
	if (!reader.open (job.inputs, o.capsuleChannels, r.error))
		return false;
	if (!startChain (plugin, o, reader.rate (), session, monitor, r.error))
	{
		r.error = input + ": " + r.error;
		return false;
	}
	if (!writer.open (job.output, reader.rate (), o.layout, o.bits, r.error))
		return false;
	if (!writer.copyBroadcastInfo (reader.first ()))
		r.warnings.push_back (input + ": its broadcast chunk (bext: time reference, description) has no "
		                      "place in " + job.output + "; write .wav or .rf64 to keep it");
	recording = reader.frames ();
	tail = o.tail ? session.tail () + monitor.tail () : 0;
	return true;
}

// One block in and out; the first 'latency' frames out precede the
// recording's first sample.
bool FileDecode::runBlock (std::string& error)
{
	const int n = o.block;
	const int fromFile = static_cast<int> (std::min<int64_t> (n, recording - fed));
	buffers.clearCapsules ();
	const int got = fromFile > 0 ? reader.read (buffers.capsules (), fromFile, error) : 0;
	if (got < 0)
		return false;
	if (got < fromFile)
		recording = fed + got; // the file ends before its header said
	fed += got;
	const bool chained = o.chain == RenderChain::Binaural;
	if (!session.process (buffers.inputs (), chained ? buffers.between () : buffers.outputs (), n) ||
	    (chained && !monitor.process (buffers.between (), buffers.outputs (), n)))
	{
		error = job.inputs[0] + ": the plug-in failed to process a block";
		return false;
	}
	const int64_t latency = session.latency () + monitor.latency ();
	const int64_t skip = std::clamp<int64_t> (latency - produced, 0, n);
	const int64_t count = std::max<int64_t> (0, std::min<int64_t> (n - skip, recording + tail - written));
	buffers.collect (skip, count);
	produced += n;
	if (count > 0 && !writer.write (buffers.frames (), count, error))
		return false;
	written += count;
	progress.framesDone += count;
	return true;
}

bool FileDecode::stream (std::string& error)
{
	while (written < recording + tail)
	{
		if (stop)
		{
			error = job.output + ": interrupted";
			return false;
		}
		if (!runBlock (error))
			return false;
	}
	return true;
}

bool FileDecode::finish (RenderResult& r)
{
	const std::string& input = job.inputs[0];
	const int64_t promised = reader.promisedFrames ();
	if (recording == 0)
	{
		r.error = input + ": no audio could be read (0 of the " + std::to_string (promised) +
		          " frames its header promises)";
		return false;
	}
	if (recording < promised)
		r.warnings.push_back (input + ": truncated: read " + std::to_string (recording) + " frames of the " +
		                      std::to_string (promised) + " its header promises; decoded what is there");
	if (!writer.finish (r.error))
		return false;
	r.audioSeconds = static_cast<double> (written) / reader.rate ();
	buffers.levels (written, r);
	return true;
}

} // namespace

RenderResult renderFile (Plugin& plugin, const RenderJob& job, const RenderOptions& o, Progress& progress,
                         const std::atomic<bool>& stop)
{
	RenderResult r;
	const auto start = std::chrono::steady_clock::now ();
	FileDecode decode (job, o, progress, stop);
	r.ok = decode.open (plugin, r) && decode.stream (r.error) && decode.finish (r);
	r.wallSeconds = std::chrono::duration<double> (std::chrono::steady_clock::now () - start).count ();
	return r;
}

} // namespace orvotool
