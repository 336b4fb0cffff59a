#pragma once

#include <atomic>
#include <cstdint>

// Error notices waiting to be shown to the user, for one plug-in instance. Any thread may post,
// the audio thread included: posting neither allocates nor waits, and the memory is bounded.
// An identical message still pending is not queued twice; its count rises instead. The editor
// (one consumer, on the host's user-interface thread) shows the oldest notice and dismisses it.
class CNoticeQueue {
public:
    static constexpr int kMaxNotices = 8;
    static constexpr int kMaxNoticeLength = 512;
    // Names one pending notice, so that the consumer dismisses exactly the one it showed.
    using Ticket = uint64_t;

    CNoticeQueue();
    CNoticeQueue(const CNoticeQueue&) = delete;
    CNoticeQueue& operator=(const CNoticeQueue&) = delete;

    // Queues the message (cut to kMaxNoticeLength - 1 characters). When the queue is full the
    // message is dropped and counted; it was written to standard error already.
    void post(const char* message);
    // Copies the oldest pending notice into text (bounded by size) and its count; false when
    // none is pending. Consumer side only.
    bool peek(char* text, int size, int* count, Ticket* ticket = nullptr) const;
    // Removes the notice named by ticket (when still pending) and returns its final count, or 0.
    int dismiss(Ticket ticket);
    // Removes the oldest pending notice and returns its final count, or 0 when none is pending.
    int dismiss();
    int pending() const;
    // Messages lost because every slot was taken.
    unsigned dropped() const { return droppedCount.load(std::memory_order_relaxed); }

private:
    enum SlotState : uint64_t { kFree = 0, kWriting = 1, kReady = 2 };
    // State, count and generation share one word, so that a coalescing post raises the count of
    // exactly the notice it compared against, and a dismissal reads the final count.
    static constexpr uint64_t kStateMask = 3;
    static constexpr int kCountShift = 2;
    static constexpr uint64_t kCountMax = (uint64_t{1} << 30) - 1;
    static constexpr int kGenerationShift = 32;

    struct Slot {
        std::atomic<uint64_t> word;
        std::atomic<unsigned> sequence;           // posting order, to show the oldest first
        std::atomic<char> text[kMaxNoticeLength]; // read while it may be rewritten: atomic chars
    };

    static uint64_t makeWord(uint64_t state, uint64_t count, uint64_t generation);
    static uint64_t stateOf(uint64_t word) { return word & kStateMask; }
    static uint64_t countOf(uint64_t word) { return (word >> kCountShift) & kCountMax; }
    static uint64_t generationOf(uint64_t word) { return word >> kGenerationShift; }
    static bool holds(const Slot& slot, const char* message, int length);
    int oldestReady() const;

    Slot slots[kMaxNotices];
    std::atomic<unsigned> nextSequence;
    std::atomic<unsigned> droppedCount;
};
