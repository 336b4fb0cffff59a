#pragma once

// Error notices for the user. MsgBox never blocks and never opens a window: it writes
// "XeTetraVST: <message>" to standard error (control characters shown as "?") and hands the
// message to the sink installed on the calling thread, if any. It may be called from any thread,
// the audio thread included, and neither allocates nor waits.
void MsgBox(char* message);

// Receives the messages that MsgBox reports on one thread while a CMessageSinkScope is alive.
class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    virtual void postMessage(const char* message) = 0;
};

// Routes MsgBox on the current thread to a sink for the lifetime of the scope; scopes nest.
class CMessageSinkScope {
public:
    explicit CMessageSinkScope(CMessageSink* sink);
    ~CMessageSinkScope();
    CMessageSinkScope(const CMessageSinkScope&) = delete;
    CMessageSinkScope& operator=(const CMessageSinkScope&) = delete;

private:
    CMessageSink* previous;
};

// MsgBox with a printf-style message, cut to the notice length.
void MsgBoxf(const char* format, ...) __attribute__((format(printf, 1, 2)));

constexpr int kMaxMessageLength = 512;
