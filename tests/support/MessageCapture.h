#pragma once

#include "core/MsgBox.h"

#include <string>
#include <vector>

// Collects what MsgBox reports on this thread while the object lives.
class MessageCapture : public CMessageSink {
public:
    MessageCapture() : scope(this) {}
    void postMessage(const char* message) override { messages.emplace_back(message); }
    int count(const std::string& text) const {
        int n = 0;
        for (const auto& message : messages)
            n += message == text;
        return n;
    }

    std::vector<std::string> messages;

private:
    CMessageSinkScope scope;
};
