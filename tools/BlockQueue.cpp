#include "tools/BlockQueue.h"

void CBlockQueue::push(int block) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        blocks.push_back(block);
    }
    changed.notify_one();
}

int CBlockQueue::pop() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return aborted || finished || !blocks.empty(); });
    if (aborted || blocks.empty()) return -1;
    const int block = blocks.front();
    blocks.pop_front();
    return block;
}

void CBlockQueue::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    changed.notify_all();
}

void CBlockQueue::abort() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        aborted = true;
    }
    changed.notify_all();
}
