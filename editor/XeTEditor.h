#pragma once

#include "gui/CControlListener.h"
#include "vst/AEffGUIEditor.h"
#include "vst/NoticeQueue.h"

#include <atomic>

class CBitmap;
class CNoticeView;
class CTextEdit;

// The plug-in's window: the background picture and one field holding the current program's
// name, which follows the program on every idle call and renames it when edited. Error notices
// of the effect are shown over it, one at a time, until dismissed.
class AXeTEditor : public AEffGUIEditor, public CControlListener {
public:
    static constexpr long kBackgroundResource = 128;
    static constexpr long kNameFieldTag = 1024; // beyond the parameter indices 0 to 45
    static constexpr long kNoticeTag = 1025;
    static constexpr int kNameBufferSize = 25; // 24 characters and the terminator

    explicit AXeTEditor(AudioEffect* effect);
    ~AXeTEditor() override;

    bool open(void* window) override;
    void close() override;
    void idle() override;
    // Any thread: only asks for a redraw at the next idle, and only while open.
    void setParameter(VstInt32 index, float value) override;

    void valueChanged(CDrawContext* context, CControl* control) override;

    CTextEdit* getTextField() const { return textField; }
    CNoticeView* getNoticeView() const { return noticeView; }
    CBitmap* getBackground() const { return background; }

private:
    // Shows the oldest pending notice of the effect, or hides the view when none is left.
    void updateNotice();

    CTextEdit* textField; // owned by the frame
    CBitmap* background;
    CNoticeView* noticeView; // owned by the frame
    CNoticeQueue::Ticket shownNotice;
    std::atomic<bool> parameterChanged;
    char name[kNameBufferSize];
};
