// Many processors built, used and destroyed at once on parallel threads share nothing: each gives
// exactly the output it gives alone. Built with ThreadSanitizer by scripts/tsan.sh, the same run
// must produce no report. Besides its worker, each instance has a consumer thread reading and
// dismissing its notices while the worker posts them, as an editor does on a host's user-interface
// thread: the one structure of an instance that is made for two threads.

#include "core/XeTetra.h"
#include "integration/VstHost.h"
#include "params/ParameterConversions.h"
#include "support/SampleCalibrations.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 3;
constexpr int kFrames = 24000;

using vsthost::Channels;

// One instance's whole life on the calling thread: built from the calibrations, set up as
// instance t, run over the input in blocks with a parameter change half-way, destroyed. While it
// lives, a second thread drains its notices. Answers the output. Programs cover the factory ones
// (correction sets), the text calibrations (IIR sets) and the tetraproc ones (equaliser sets).
Channels runInstance(const std::string& calibrations, int t, const Channels& in, int* noticesSeen) {
    static const int blocks[] = {512, 64, 1000, 4096};
    const int block = blocks[t % 4];
    AXeTetra processor(nullptr, CCalibrationPaths::only(calibrations));
    std::atomic<bool> done{false};
    int seen = 0;
    std::thread consumer([&] {
        char text[CNoticeQueue::kMaxNoticeLength];
        int count = 0;
        CNoticeQueue::Ticket ticket = 0;
        for (bool last = false; !last;) {
            // One more look once the worker is done, so that nothing posted is missed.
            last = done.load(std::memory_order_acquire);
            while (processor.getNoticeQueue()->peek(text, sizeof(text), &count, &ticket))
                seen += processor.getNoticeQueue()->dismiss(ticket) > 0 ? 1 : 0;
            // As an open editor does: read the meters while the audio thread writes them.
            COutputMeters::CReading reading;
            processor.GetOutputMeters().read(reading);
            if (reading.blocks % 97 == 1) processor.GetOutputMeters().requestReset();
            std::this_thread::yield();
        }
    });

    processor.setProgram(t % kNumPrograms);
    // 96 kHz has no coefficient files: a text calibration's set posts a notice.
    processor.setSampleRate(96000.0f);
    processor.setSampleRate(t % 2 == 0 ? 44100.0f : 48000.0f);
    processor.setParameter(kEQsEnabled, 1.0f);
    processor.setParameter(kDisplayVU, 1.0f);

    Channels out = vsthost::makeChannels(kFrames);
    float* inputs[4];
    float* outputs[4];
    for (int first = 0; first < kFrames; first += block) {
        const int n = std::min(block, kFrames - first);
        if (first >= kFrames / 2 && first - block < kFrames / 2)
            processor.setParameter(kCapsuleBase + 2, 0.8f);
        for (int c = 0; c < 4; ++c) {
            inputs[c] = const_cast<float*>(in[static_cast<size_t>(c)].data()) + first;
            outputs[c] = out[static_cast<size_t>(c)].data() + first;
        }
        processor.processReplacing(inputs, outputs, n);
    }

    done.store(true, std::memory_order_release);
    consumer.join();
    if (noticesSeen != nullptr) *noticesSeen = seen;
    return out;
}

TEST(ParallelInstances, ShareNothingWhileBuiltUsedAndDestroyedAtOnce) {
    TempDirectory calibrations;
    ASSERT_TRUE(samplecal::writeSixCalibrations(calibrations.path()));
    const Channels in = vsthost::noise(kFrames, 11);

    std::vector<Channels> alone;
    for (int t = 0; t < kThreads; ++t) {
        alone.push_back(runInstance(calibrations.path(), t, in, nullptr));
        ASSERT_NE(alone.back()[1], std::vector<float>(kFrames, 0.0f)) << "thread " << t;
    }
    ASSERT_NE(alone[0], alone[2]) << "programs 0 and 2 differ";

    std::vector<std::vector<Channels>> results(kThreads, std::vector<Channels>(kRounds));
    std::vector<int> notices(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                int seen = 0;
                results[t][round] = runInstance(calibrations.path(), t, in, &seen);
                notices[t] += seen;
            }
        });
    for (std::thread& thread : threads)
        thread.join();

    for (int t = 0; t < kThreads; ++t) {
        for (int round = 0; round < kRounds; ++round)
            EXPECT_TRUE(results[t][round] == alone[t]) << "thread " << t << ", round " << round;
        // Programs 2 to 4 are the text calibrations, whose sets reported the missing 96 kHz files.
        EXPECT_GE(notices[t], t % kNumPrograms >= 2 && t % kNumPrograms <= 4 ? kRounds : 0) << t;
    }
}

} // namespace
