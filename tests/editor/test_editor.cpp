// The editor driven through its real frame without a display: the frame then works offscreen,
// which is where it draws anyway before copying to its window.

#include "core/TestProcessor.h"
#include "editor/NoticeView.h"
#include "editor/XeTEditor.h"
#include "gui/CFrame.h"
#include "gui/COnOffButton.h"
#include "gui/ToolkitTestSupport.h"

#include <gtest/gtest.h>

// One notice at a time over the field, with its count, taking every click and key until OK or
// Return; one raised during an edit confirms the edit. Then a host change shows at the next idle
// only, and redraws only its control. The effect goes with the window open.
TEST(Editor, NoticesOneAtATimeAndHostChangesAtIdle) {
    unsetenv("DISPLAY"); // any non-null window then leaves the frame offscreen
    TestXeTetra effect;  // its calibrations directory is missing
    AXeTEditor* editor = new AXeTEditor(&effect); // the effect owns it
    CNoticeQueue* notices = effect.getNoticeQueue();
    ASSERT_EQ(notices->pending(), 1); // the missing directory
    char more[] = "No filter found for sampling rate  96000";
    for (int i = 0; i < 3; ++i)
        notices->post(more);
    ASSERT_EQ(effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(0x123456), 0.0f), 1);
    CFrame& frame = *editor->getFrame();
    CNoticeView* notice = editor->getNoticeView();
    EXPECT_EQ(notice->getCount(), 1);
    const CRect ok = notice->getOkButtonRect();
    frame.onMouseDown(frame.getDrawContext(), ok.centerX(), ok.centerY(), kLButton);
    EXPECT_STREQ(notice->getNoticeText(), more);
    notices->post(more); // reported again while shown: the count follows
    editor->idle();
    EXPECT_EQ(notice->getCount(), 4);
    press(frame, kVKeyReturn);
    EXPECT_EQ(notices->pending(), 0);
    EXPECT_FALSE(notice->isVisible());

    frame.onMouseDown(frame.getDrawContext(), 200, 60, kLButton);
    press(frame, kVKeyBack, 40);
    type(frame, "Take 2");
    notices->post(more);
    editor->idle();
    EXPECT_TRUE(notice->isVisible());
    type(frame, "ignored");
    press(frame, kVKeyReturn);
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(programName(effect), "Take 2");

    auto* eqs = dynamic_cast<COnOffButton*>(editor->findControl(kEQsEnabled));
    ASSERT_NE(eqs, nullptr);
    CountingView* elsewhere = new CountingView(CRect(0, 0, 1, 1));
    frame.addView(elsewhere);
    editor->idle();
    const int settled = elsewhere->draws;
    // As the plug-in's effect does, from whichever thread the host calls it on: apply, then tell
    // the editor, which applies it at its next idle on the window's thread.
    effect.setParameter(kEQsEnabled, 1.0f);
    editor->setParameter(kEQsEnabled, 1.0f);
    EXPECT_FALSE(eqs->isOn());
    editor->idle();
    EXPECT_TRUE(eqs->isOn());
    EXPECT_EQ(elsewhere->draws, settled);
}
