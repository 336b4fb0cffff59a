#include "editor/XeTEditor.h"

#include "editor/NoticeView.h"
#include "gui/CBitmap.h"
#include "gui/CColor.h"
#include "gui/CFrame.h"
#include "gui/CTextEdit.h"
#include "vst/AudioEffect.h"

namespace {
// Fully transparent: the picture shows through the field.
const CColor kFieldColor(149, 111, 42, 0);
} // namespace

AXeTEditor::AXeTEditor(AudioEffect* effect)
    : AEffGUIEditor(effect), textField(nullptr), background(new CBitmap(kBackgroundResource)),
      noticeView(nullptr), shownNotice(0), parameterChanged(false) {
    name[0] = '\0';
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<VstInt16>(background->getHeight());
    rect.right = static_cast<VstInt16>(background->getWidth());
}

AXeTEditor::~AXeTEditor() {
    // The frame goes first: it still points at the background.
    delete frame;
    frame = nullptr;
    textField = nullptr;
    noticeView = nullptr;
    delete background;
    background = nullptr;
}

bool AXeTEditor::open(void* window) {
    if (frame != nullptr) close(); // opened twice: start afresh
    AEffEditor::open(window);

    const CRect size(0, 0, background->getWidth(), background->getHeight());
    frame = new CFrame(size, window, this);
    frame->setBackground(background);

    textField = new CTextEdit(CRect(72, 53, 215, 68), this, kNameFieldTag, nullptr, nullptr, 0);
    textField->setFrameColor(kFieldColor);
    textField->setBackColor(kFieldColor);
    frame->addView(textField);

    noticeView = new CNoticeView(size, this, kNoticeTag);
    noticeView->setVisible(false);
    frame->addView(noticeView);
    parameterChanged.store(false, std::memory_order_relaxed);
    // Notices raised while the window was closed show at once.
    updateNotice();
    return true;
}

void AXeTEditor::close() {
    delete frame;
    frame = nullptr;
    textField = nullptr;
    noticeView = nullptr;
    AEffGUIEditor::close();
}

void AXeTEditor::idle() {
    if (frame != nullptr && parameterChanged.exchange(false, std::memory_order_relaxed))
        frame->setDirty(true);
    AEffGUIEditor::idle();
    if (!isOpen() || frame == nullptr || textField == nullptr || effect == nullptr) return;
    effect->getProgramName(name);
    name[kNameBufferSize - 1] = '\0';
    textField->setText(name);
    updateNotice();
}

void AXeTEditor::setParameter(VstInt32, float) {
    // The host may set parameters on any thread while the window closes, so the frame itself
    // is left to the user-interface thread.
    parameterChanged.store(true, std::memory_order_relaxed);
}

void AXeTEditor::valueChanged(CDrawContext*, CControl* control) {
    if (!isOpen() || frame == nullptr || control == nullptr || effect == nullptr) return;
    if (control->getTag() == kNameFieldTag && control == textField) {
        textField->getText(name, sizeof(name));
        effect->setProgramName(name);
        frame->setDirty(true);
    } else if (control->getTag() == kNoticeTag && control == noticeView) {
        effect->getNoticeQueue()->dismiss(shownNotice);
        updateNotice();
    }
}

void AXeTEditor::updateNotice() {
    if (noticeView == nullptr || frame == nullptr || effect == nullptr) return;
    char text[CNoticeView::kMaxText];
    int count = 0;
    CNoticeQueue::Ticket ticket = 0;
    if (effect->getNoticeQueue()->peek(text, sizeof(text), &count, &ticket)) {
        shownNotice = ticket;
        noticeView->setNotice(text, count);
        if (!noticeView->isVisible()) {
            noticeView->setVisible(true);
            // An edit in progress ends here: the notice covers the field.
            frame->setFocusView(noticeView);
        }
    } else if (noticeView->isVisible()) {
        noticeView->setVisible(false);
        noticeView->clearNotice();
        if (frame->getFocusView() == noticeView) frame->setFocusView(nullptr);
    }
}
