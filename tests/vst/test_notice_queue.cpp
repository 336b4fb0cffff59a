#include "vst/NoticeQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string peekText(const CNoticeQueue& queue, int* count = nullptr) {
    char text[CNoticeQueue::kMaxNoticeLength];
    return queue.peek(text, sizeof(text), count) ? text : "<none>";
}

// Identical pending messages coalesce with their count, in the order they first came; a dismissed
// message is new when it comes again; a full queue drops new messages but still counts old ones.
TEST(NoticeQueue, CoalescesKeepsOrderAndDropsWhenFull) {
    CNoticeQueue queue;
    int count = -1;
    EXPECT_FALSE(queue.peek(nullptr, 0, &count));
    EXPECT_EQ(queue.dismiss(), 0);
    for (const char* message : {"rate", "directory", "rate", "file", "rate"})
        queue.post(message);
    queue.post(nullptr);
    EXPECT_EQ(queue.pending(), 3);
    EXPECT_EQ(peekText(queue, &count), "rate");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(queue.dismiss(), 3);
    queue.post("rate");
    queue.post("directory");
    for (auto [text, n] : {std::pair<const char*, int>{"directory", 2}, {"file", 1}, {"rate", 1}}) {
        EXPECT_EQ(peekText(queue, &count), text);
        EXPECT_EQ(queue.dismiss(), n) << text;
    }
    EXPECT_EQ(peekText(queue), "<none>");

    for (int i = 0; i < CNoticeQueue::kMaxNotices + 3; ++i)
        queue.post(("message " + std::to_string(i)).c_str());
    queue.post("message 5");
    EXPECT_EQ(queue.pending(), CNoticeQueue::kMaxNotices);
    EXPECT_EQ(queue.dropped(), 3u);
    for (int i = 0; i < CNoticeQueue::kMaxNotices; ++i) {
        EXPECT_EQ(peekText(queue, &count), "message " + std::to_string(i));
        EXPECT_EQ(queue.dismiss(), i == 5 ? 2 : 1);
    }
    queue.post("message 100"); // the slots are free again
    EXPECT_EQ(peekText(queue), "message 100");
}

TEST(NoticeQueue, TextIsBoundedOnBothSidesAndStaleTicketsDismissNothing) {
    CNoticeQueue queue;
    std::string longA(1000, 'a'), longB = longA;
    longB[CNoticeQueue::kMaxNoticeLength] = 'b'; // differs only past the kept length
    queue.post(longA.c_str());
    queue.post(longB.c_str());
    queue.post("aaa"); // a prefix of a pending message is another message
    EXPECT_EQ(queue.pending(), 2);
    int count = 0;
    EXPECT_EQ(peekText(queue, &count), std::string(CNoticeQueue::kMaxNoticeLength - 1, 'a'));
    EXPECT_EQ(count, 2);
    char small[6];
    std::memset(small, 'x', sizeof(small));
    ASSERT_TRUE(queue.peek(small, 5, nullptr));
    EXPECT_EQ(std::string(small, 6), std::string("aaaa\0x", 6));
    small[0] = 'x';
    ASSERT_TRUE(queue.peek(small, 0, nullptr));
    EXPECT_EQ(small[0], 'x');

    CNoticeQueue tickets;
    CNoticeQueue::Ticket shown = 0;
    tickets.post("first");
    ASSERT_TRUE(tickets.peek(nullptr, 0, &count, &shown));
    EXPECT_EQ(tickets.dismiss(shown), 1);
    tickets.post("second"); // takes the freed slot: the old ticket must not remove it
    EXPECT_EQ(tickets.dismiss(shown), 0);
    // A notice that gained counts after it was shown is dismissed with its final count.
    ASSERT_TRUE(tickets.peek(nullptr, 0, &count, &shown));
    tickets.post("second");
    EXPECT_EQ(tickets.dismiss(shown), 2);
    EXPECT_EQ(tickets.pending(), 0);
}

// Posters on several threads and one reader: no count lost, no text torn.
TEST(NoticeQueue, ConcurrentPostersLoseNoCountsAndTearNoText) {
    std::vector<std::string> messages; // more than the slots, long enough to show a torn copy
    for (int i = 0; i < 12; ++i)
        messages.push_back(std::to_string(i) +
                           std::string(200 + 23 * i, static_cast<char>('A' + i)));
    const std::set<std::string> known(messages.begin(), messages.end());
    CNoticeQueue queue;
    constexpr int kThreads = 4, kPosts = 20000;
    std::atomic<int> running(kThreads);
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            unsigned state = 12345u + 777u * t;
            for (int i = 0; i < kPosts; ++i) {
                state = state * 1664525u + 1013904223u;
                queue.post(messages[(state >> 16) % messages.size()].c_str());
            }
            running.fetch_sub(1);
        });
    long long counted = 0;
    bool torn = false;
    char text[CNoticeQueue::kMaxNoticeLength];
    for (bool done = false; !done;) {
        done = running.load() == 0;
        int count = 0;
        CNoticeQueue::Ticket ticket = 0;
        while (queue.peek(text, sizeof(text), &count, &ticket)) {
            torn = torn || known.count(text) == 0 || count < 1;
            counted += queue.dismiss(ticket);
        }
    }
    for (std::thread& poster : posters)
        poster.join();
    EXPECT_FALSE(torn);
    EXPECT_EQ(counted + queue.dropped(), static_cast<long long>(kThreads) * kPosts);
}

} // namespace
