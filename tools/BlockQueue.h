#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

// Hands block numbers from one stage of the conversion to the next, between threads.
class CBlockQueue {
public:
    void push(int block);
    // Waits for the next block; -1 once the queue is finished and empty, or aborted.
    int pop();
    // No more blocks will come; those queued are still handed out.
    void finish();
    // Stop at once: pop answers -1 from now on, queued blocks or not.
    void abort();

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<int> blocks;
    bool finished = false;
    bool aborted = false;
};
