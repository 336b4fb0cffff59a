#pragma once

#include "core/TestProcessor.h"

#include <memory>
#include <string>
#include <vector>

// A temporary calibrations directory and processors that import it.
struct CalibrationDirectory {
    TempDirectory root;
    std::string directory = root.makeDirectory("calibrations");

    void add(const std::string& name, const std::string& content) const {
        root.write("calibrations/" + name, content);
    }
    void add(const std::string& name, const std::vector<uint8_t>& bytes) const {
        add(name, std::string(bytes.begin(), bytes.end()));
    }
    std::unique_ptr<TestXeTetra> load() const {
        return std::make_unique<TestXeTetra>(nullptr, CCalibrationPaths::only(directory));
    }
};

// A program's name as the host reads it by index.
inline std::string nameOf(AXeTetra& processor, int program) {
    char text[64] = {};
    processor.getProgramNameIndexed(0, program, text);
    return text;
}

// The notices the processor holds, oldest first; they are dismissed.
inline std::vector<std::string> takeNotices(AXeTetra& processor) {
    std::vector<std::string> notices;
    char text[CNoticeQueue::kMaxNoticeLength];
    while (processor.getNoticeQueue()->peek(text, sizeof(text), nullptr)) {
        notices.emplace_back(text);
        processor.getNoticeQueue()->dismiss();
    }
    return notices;
}
