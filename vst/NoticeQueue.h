#pragma once

#include <atomic>

// Error notices waiting to be shown to the user, for one plug-in instance. Any thread may post,
// the audio thread included: posting neither allocates nor waits, and the memory is bounded.
// An identical message still pending is not queued twice; its count rises instead. The editor
// (one consumer, on the host's user-interface thread) shows the oldest notice and dismisses it.
class CNoticeQueue {
public:
    static constexpr int kMaxNotices = 8;
    static constexpr int kMaxNoticeLength = 512;

    CNoticeQueue();
    CNoticeQueue(const CNoticeQueue&) = delete;
    CNoticeQueue& operator=(const CNoticeQueue&) = delete;

    // Queues the message (cut to kMaxNoticeLength - 1 characters). When the queue is full the
    // message is dropped; it was written to standard error already.
    void post(const char* message);
    // Copies the oldest pending notice into text (bounded by size) and its count; false when
    // none is pending.
    bool peek(char* text, int size, int* count) const;
    // Removes the oldest pending notice.
    void dismiss();
    int pending() const;

private:
    enum SlotState : int { kFree, kWriting, kReady };
    struct Slot {
        std::atomic<int> state;
        std::atomic<int> count;
        std::atomic<unsigned> sequence; // posting order, to show the oldest first
        char text[kMaxNoticeLength];
    };
    Slot slots[kMaxNotices];
    std::atomic<unsigned> nextSequence;
};
