#include "calibration/CalibrationReading.h"

#include "core/XeTetra.h"

CCalibrationReading readCalibrations(const CCalibrationPaths& paths) {
    CCalibrationReading reading;
    reading.paths = paths;
    reading.processor = std::make_shared<AXeTetra>(nullptr, paths);
    AXeTetra& processor = *reading.processor;
    if (const CCalibrationPlace* place = processor.GetCalibrationPlace())
        reading.place = static_cast<int>(place - processor.GetCalibrationPaths().places.data());
    for (int program = 0; program < kNumPrograms; ++program) {
        const CCalibrationSource* source = processor.GetCalibrationSource(program);
        if (source == nullptr) continue;
        CCalibrationReading::CCalibration calibration;
        calibration.program = program;
        char name[AudioEffect::kScratchSize] = {};
        processor.getProgramNameIndexed(0, program, name);
        calibration.programName = name;
        calibration.source = *source;
        reading.calibrations.push_back(calibration);
    }
    CNoticeQueue& queue = *processor.getNoticeQueue();
    char text[CNoticeQueue::kMaxNoticeLength];
    while (queue.peek(text, sizeof(text), nullptr)) {
        reading.notices.emplace_back(text);
        queue.dismiss();
    }
    reading.lostNotices = queue.dropped();
    return reading;
}
