#include "core/MsgBox.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
// Which sink the current thread reports to. Per thread, so instances on different host threads
// never see each other's messages. Initial-exec: in the dlopen'ed plug-in the default model would
// allocate this variable's block on a thread's first access, which is a host's first audio call.
thread_local CMessageSink* currentSink __attribute__((tls_model("initial-exec"))) = nullptr;
} // namespace

void MsgBox(char* message) {
    if (message == nullptr) return;
    static const char prefix[] = "XeTetraVST: ";
    char line[sizeof(prefix) + kMaxMessageLength + 1];
    size_t length = sizeof(prefix) - 1;
    std::memcpy(line, prefix, length);
    size_t messageLength = strnlen(message, kMaxMessageLength);
    // Control characters (from a file name, say) would reach the terminal as commands.
    for (size_t i = 0; i < messageLength; ++i) {
        const unsigned char ch = static_cast<unsigned char>(message[i]);
        line[length++] = ch < 0x20 || ch == 0x7f ? '?' : static_cast<char>(ch);
    }
    line[length++] = '\n';
    // One write() call: no stdio lock, and lines of concurrent instances do not interleave.
    ssize_t written = ::write(STDERR_FILENO, line, length);
    (void)written;
    if (currentSink != nullptr) currentSink->postMessage(message);
}

void MsgBoxf(const char* format, ...) {
    char message[kMaxMessageLength + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof(message), format, args);
    va_end(args);
    MsgBox(message);
}

CMessageSinkScope::CMessageSinkScope(CMessageSink* sink) : previous(currentSink) {
    currentSink = sink;
}

CMessageSinkScope::~CMessageSinkScope() {
    currentSink = previous;
}
