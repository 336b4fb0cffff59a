#include "vst/NoticeQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string peekText(const CNoticeQueue& queue, int* count) {
    char text[CNoticeQueue::kMaxNoticeLength];
    if (!queue.peek(text, sizeof(text), count)) return "<none>";
    return text;
}

} // namespace

TEST(NoticeQueue, IdenticalPendingMessagesCoalesceAndOrderIsKept) {
    CNoticeQueue queue;
    int count = -1;
    EXPECT_FALSE(queue.peek(nullptr, 0, &count));
    EXPECT_EQ(queue.dismiss(), 0);

    queue.post("No filter found for sampling rate  96000");
    queue.post("Calibrations directory (/Library/Audio/Plug-Ins/VST/calibrations) not found");
    queue.post("No filter found for sampling rate  96000");
    queue.post("Failed to open Tolvin filter coefficients file: a.txt");
    queue.post("No filter found for sampling rate  96000");
    queue.post(nullptr);
    EXPECT_EQ(queue.pending(), 3);

    EXPECT_EQ(peekText(queue, &count), "No filter found for sampling rate  96000");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(queue.dismiss(), 3);

    EXPECT_EQ(peekText(queue, &count),
              "Calibrations directory (/Library/Audio/Plug-Ins/VST/calibrations) not found");
    EXPECT_EQ(count, 1);
    // A message that was dismissed is a new notice when it comes again, queued last.
    queue.post("No filter found for sampling rate  96000");
    queue.post("Calibrations directory (/Library/Audio/Plug-Ins/VST/calibrations) not found");
    EXPECT_EQ(queue.pending(), 3);
    EXPECT_EQ(peekText(queue, &count),
              "Calibrations directory (/Library/Audio/Plug-Ins/VST/calibrations) not found");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(queue.dismiss(), 2);
    EXPECT_EQ(peekText(queue, &count), "Failed to open Tolvin filter coefficients file: a.txt");
    EXPECT_EQ(queue.dismiss(), 1);
    EXPECT_EQ(peekText(queue, &count), "No filter found for sampling rate  96000");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(queue.dismiss(), 1);
    EXPECT_EQ(queue.pending(), 0);
    EXPECT_EQ(queue.dropped(), 0u);
    EXPECT_EQ(peekText(queue, &count), "<none>");
}

TEST(NoticeQueue, FullQueueDropsNewMessagesButStillCoalesces) {
    CNoticeQueue queue;
    for (int i = 0; i < CNoticeQueue::kMaxNotices + 3; ++i)
        queue.post(("message " + std::to_string(i)).c_str());
    EXPECT_EQ(queue.pending(), CNoticeQueue::kMaxNotices);
    EXPECT_EQ(queue.dropped(), 3u);

    queue.post("message 5");
    EXPECT_EQ(queue.dropped(), 3u);
    queue.post("message 99");
    EXPECT_EQ(queue.dropped(), 4u);

    int count = 0;
    for (int i = 0; i < CNoticeQueue::kMaxNotices; ++i) {
        EXPECT_EQ(peekText(queue, &count), "message " + std::to_string(i));
        EXPECT_EQ(count, i == 5 ? 2 : 1);
        EXPECT_EQ(queue.dismiss(), count);
    }
    EXPECT_EQ(queue.pending(), 0);
    // The slots are free again.
    queue.post("message 100");
    EXPECT_EQ(peekText(queue, &count), "message 100");
}

TEST(NoticeQueue, TextIsBoundedOnBothSides) {
    CNoticeQueue queue;
    std::string longA(1000, 'a');
    std::string longB = longA;
    longB[CNoticeQueue::kMaxNoticeLength] = 'b'; // differs only past the kept length
    queue.post(longA.c_str());
    queue.post(longB.c_str());
    EXPECT_EQ(queue.pending(), 1);

    int count = 0;
    std::string kept = peekText(queue, &count);
    EXPECT_EQ(kept, std::string(CNoticeQueue::kMaxNoticeLength - 1, 'a'));
    EXPECT_EQ(count, 2);

    char small[6];
    std::memset(small, 'x', sizeof(small));
    ASSERT_TRUE(queue.peek(small, 5, nullptr));
    EXPECT_STREQ(small, "aaaa");
    EXPECT_EQ(small[5], 'x');
    small[0] = 'x';
    ASSERT_TRUE(queue.peek(small, 0, nullptr));
    EXPECT_EQ(small[0], 'x');

    // A message that is a prefix of a pending one is a different message.
    queue.post("aaa");
    EXPECT_EQ(queue.pending(), 2);
}

TEST(NoticeQueue, StaleTicketDismissesNothing) {
    CNoticeQueue queue;
    queue.post("first");
    CNoticeQueue::Ticket shown = 0;
    int count = 0;
    ASSERT_TRUE(queue.peek(nullptr, 0, &count, &shown));
    EXPECT_EQ(queue.dismiss(shown), 1);
    // The freed slot is taken by the next message; the old ticket must not remove it.
    queue.post("second");
    EXPECT_EQ(queue.dismiss(shown), 0);
    EXPECT_EQ(peekText(queue, &count), "second");

    // A notice that gained counts after it was shown is dismissed with its final count.
    ASSERT_TRUE(queue.peek(nullptr, 0, &count, &shown));
    queue.post("second");
    queue.post("second");
    EXPECT_EQ(queue.dismiss(shown), 3);
    EXPECT_EQ(queue.pending(), 0);
}

TEST(NoticeQueue, ConcurrentPostersLoseNoCountsAndTearNoText) {
    // More distinct messages than slots, long enough that a torn copy would show.
    std::vector<std::string> messages;
    for (int i = 0; i < 12; ++i)
        messages.push_back("notice " + std::to_string(i) + " " +
                           std::string(200 + 23 * i, static_cast<char>('A' + i)));
    const std::set<std::string> known(messages.begin(), messages.end());

    CNoticeQueue queue;
    constexpr int kThreads = 4;
    constexpr int kPostsPerThread = 20000;
    std::atomic<int> running(kThreads);
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            unsigned state = 12345u + 777u * t;
            for (int i = 0; i < kPostsPerThread; ++i) {
                state = state * 1664525u + 1013904223u;
                queue.post(messages[(state >> 16) % messages.size()].c_str());
            }
            running.fetch_sub(1);
        });
    }

    long long counted = 0;
    int shown = 0;
    bool torn = false;
    char text[CNoticeQueue::kMaxNoticeLength];
    for (;;) {
        const bool done = running.load() == 0;
        int count = 0;
        CNoticeQueue::Ticket ticket = 0;
        if (queue.peek(text, sizeof(text), &count, &ticket)) {
            if (known.count(text) == 0) torn = true;
            if (count < 1) torn = true;
            counted += queue.dismiss(ticket);
            ++shown;
        } else if (done) {
            break;
        }
    }
    for (std::thread& poster : posters)
        poster.join();

    EXPECT_FALSE(torn);
    EXPECT_GT(shown, 0);
    EXPECT_EQ(counted + queue.dropped(), static_cast<long long>(kThreads) * kPostsPerThread);
    EXPECT_EQ(queue.pending(), 0);
}
