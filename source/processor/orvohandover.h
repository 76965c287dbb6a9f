// OrvoHandOver: passes a small record from one writer thread to one reader
// thread without locks, waiting or allocation.
//
// Three slots: one the writer fills, one the reader holds, one in between.
// Publishing swaps the writer's filled slot with the one in between (marked
// fresh); taking swaps the reader's slot with it when it is fresh. Neither
// side ever touches the slot the other holds, so a record is never read while
// it is written, and the reader always gets the newest complete record.
#pragma once

#include <atomic>
#include <cstdint>

namespace Steinberg {
namespace Vst {

template <typename Record>
class OrvoHandOver
{
public:
	// Writer side: fill the record returned by next(), then publish it. A
	// record published before the reader took the previous one replaces it.
	Record& next () { return slots[writerSlot]; }
	void publish ()
	{
		const auto previous =
		    between.exchange (static_cast<uint8_t> (writerSlot | kFresh), std::memory_order_acq_rel);
		writerSlot = previous & kSlotMask;
	}

	// Reader side: the newest published record, or null when nothing was
	// published since the last take. Valid until the next take.
	const Record* take ()
	{
		if (!(between.load (std::memory_order_acquire) & kFresh))
			return nullptr;
		const auto previous = between.exchange (readerSlot, std::memory_order_acq_rel);
		readerSlot = previous & kSlotMask;
		return &slots[readerSlot];
	}

private:
	static constexpr uint8_t kSlotMask = 0x3;
	static constexpr uint8_t kFresh = 0x4;

	Record slots[3] {};
	uint8_t writerSlot {0};
	std::atomic<uint8_t> between {1};
	uint8_t readerSlot {2};
};

} // namespace Vst
} // namespace Steinberg
