#include "vst/NoticeQueue.h"

#include <cstring>

namespace {
// Earlier in posting order, robust against the counter wrapping.
bool postedBefore(unsigned a, unsigned b) {
    return static_cast<int>(a - b) < 0;
}
} // namespace

CNoticeQueue::CNoticeQueue() : nextSequence(0), droppedCount(0) {
    for (Slot& slot : slots) {
        slot.word.store(makeWord(kFree, 0, 0), std::memory_order_relaxed);
        slot.sequence.store(0, std::memory_order_relaxed);
        for (std::atomic<char>& c : slot.text)
            c.store('\0', std::memory_order_relaxed);
    }
}

uint64_t CNoticeQueue::makeWord(uint64_t state, uint64_t count, uint64_t generation) {
    return state | (count << kCountShift) | (generation << kGenerationShift);
}

bool CNoticeQueue::holds(const Slot& slot, const char* message, int length) {
    for (int i = 0; i < length; ++i)
        if (slot.text[i].load(std::memory_order_relaxed) != message[i]) return false;
    return slot.text[length].load(std::memory_order_relaxed) == '\0';
}

void CNoticeQueue::post(const char* message) {
    if (message == nullptr) return;
    const int length = static_cast<int>(strnlen(message, kMaxNoticeLength - 1));

    // The text compared may be rewritten meanwhile (the slot dismissed and claimed again); the
    // compare-exchange then fails on the changed generation, so a count is never added to the
    // wrong notice.
    for (Slot& slot : slots) {
        uint64_t word = slot.word.load(std::memory_order_acquire);
        while (stateOf(word) == kReady && holds(slot, message, length)) {
            if (countOf(word) == kCountMax) return;
            if (slot.word.compare_exchange_weak(word, word + (uint64_t{1} << kCountShift),
                                                std::memory_order_acq_rel,
                                                std::memory_order_acquire))
                return;
        }
    }
    for (Slot& slot : slots) {
        uint64_t word = slot.word.load(std::memory_order_relaxed);
        if (stateOf(word) != kFree) continue;
        const uint64_t generation = generationOf(word);
        if (!slot.word.compare_exchange_strong(word, makeWord(kWriting, 0, generation),
                                               std::memory_order_acquire,
                                               std::memory_order_relaxed))
            continue;
        for (int i = 0; i < length; ++i)
            slot.text[i].store(message[i], std::memory_order_relaxed);
        slot.text[length].store('\0', std::memory_order_relaxed);
        slot.sequence.store(nextSequence.fetch_add(1, std::memory_order_relaxed),
                            std::memory_order_relaxed);
        slot.word.store(makeWord(kReady, 1, generation), std::memory_order_release);
        return;
    }
    droppedCount.fetch_add(1, std::memory_order_relaxed);
}

int CNoticeQueue::oldestReady() const {
    int oldest = -1;
    unsigned oldestSequence = 0;
    for (int i = 0; i < kMaxNotices; ++i) {
        if (stateOf(slots[i].word.load(std::memory_order_acquire)) != kReady) continue;
        const unsigned sequence = slots[i].sequence.load(std::memory_order_relaxed);
        if (oldest < 0 || postedBefore(sequence, oldestSequence)) {
            oldest = i;
            oldestSequence = sequence;
        }
    }
    return oldest;
}

bool CNoticeQueue::peek(char* text, int size, int* count, Ticket* ticket) const {
    const int index = oldestReady();
    if (index < 0) return false;
    const Slot& slot = slots[index];
    // Only this consumer frees a slot, so a ready slot's text stays put while it is copied.
    if (text != nullptr && size > 0) {
        int i = 0;
        for (; i < size - 1 && i < kMaxNoticeLength - 1; ++i) {
            const char c = slot.text[i].load(std::memory_order_relaxed);
            if (c == '\0') break;
            text[i] = c;
        }
        text[i] = '\0';
    }
    const uint64_t word = slot.word.load(std::memory_order_acquire);
    if (count != nullptr) *count = static_cast<int>(countOf(word));
    if (ticket != nullptr) *ticket = (generationOf(word) << 8) | static_cast<Ticket>(index);
    return true;
}

int CNoticeQueue::dismiss(Ticket ticket) {
    const int index = static_cast<int>(ticket & 0xff);
    if (index >= kMaxNotices) return 0;
    Slot& slot = slots[index];
    uint64_t word = slot.word.load(std::memory_order_acquire);
    while (stateOf(word) == kReady && generationOf(word) == (ticket >> 8)) {
        const uint64_t next = makeWord(kFree, 0, (generationOf(word) + 1) & 0xffffffffu);
        if (slot.word.compare_exchange_weak(word, next, std::memory_order_acq_rel,
                                            std::memory_order_acquire))
            return static_cast<int>(countOf(word));
    }
    return 0;
}

int CNoticeQueue::dismiss() {
    Ticket ticket = 0;
    if (!peek(nullptr, 0, nullptr, &ticket)) return 0;
    return dismiss(ticket);
}

int CNoticeQueue::pending() const {
    int ready = 0;
    for (const Slot& slot : slots)
        if (stateOf(slot.word.load(std::memory_order_acquire)) == kReady) ++ready;
    return ready;
}
