// The editor driven through its real frame without a display: the frame then works offscreen,
// which is where it draws anyway before copying to its window.

#include "core/TestProcessor.h"
#include "editor/CapsuleSelector.h"
#include "editor/NoticeView.h"
#include "editor/XeTEditor.h"
#include "gui/CFrame.h"
#include "gui/COnOffButton.h"
#include "gui/CTextEdit.h"
#include "gui/ToolkitTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Any non-null window: with no display to connect to, the frame stays offscreen.
void* const kNoWindow = reinterpret_cast<void*>(static_cast<uintptr_t>(0x123456));

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("DISPLAY"); }

    // With an empty calibrations directory nothing is reported; without one, its absence is.
    void make(bool withCalibrations = true) {
        const std::string calibrations = root.makeDirectory("calibrations");
        effect = std::make_unique<AXeTetra>(
            hostCallback,
            CCalibrationPaths::only(calibrations + (withCalibrations ? "" : "/missing")));
        editor = new AXeTEditor(effect.get()); // the effect owns it
    }
    void click(int x, int y) {
        editor->getFrame()->onMouseDown(editor->getFrame()->getDrawContext(), x, y, kLButton);
    }

    TempDirectory root;
    std::unique_ptr<AXeTetra> effect;
    AXeTEditor* editor = nullptr;
};

} // namespace

// Calls before the first open and after a close change nothing; the host may open again without
// closing, and may delete the effect with the window open.
TEST_F(EditorTest, FieldFollowsTheProgramOnlyWhileOpen) {
    make();
    CTextEdit stray(CRect(0, 0, 10, 10), editor, AXeTEditor::kNameFieldTag, "Stray");
    for (int state = 0; state < 2; ++state) {
        editor->idle();
        editor->setParameter(3, 1.0f);
        editor->valueChanged(nullptr, &stray);
        EXPECT_EQ(editor->getTextField(), nullptr);
        EXPECT_EQ(programName(*effect), "Ambrel - uncalibrated");
        ASSERT_TRUE(editor->open(kNoWindow));
        editor->close();
        EXPECT_EQ(editor->getFrame(), nullptr);
    }
    ASSERT_EQ(effect->dispatcher(effEditOpen, 0, 0, kNoWindow, 0.0f), 1);
    effect->dispatcher(effSetProgram, 0, 1, nullptr, 0.0f);
    editor->open(kNoWindow);
    editor->idle();
    EXPECT_STREQ(editor->getTextField()->getText(), "1.47cm");
}

// One notice at a time over the field, with its count, taking every click and key until OK or
// Return; one raised during an edit confirms the edit.
TEST_F(EditorTest, NoticesShowOneAtATimeOverTheFieldWithTheirCount) {
    make(false);
    CNoticeQueue* notices = effect->getNoticeQueue();
    ASSERT_EQ(notices->pending(), 1); // the missing directory
    char more[] = "No filter found for sampling rate  96000";
    for (int i = 0; i < 3; ++i)
        notices->post(more);
    editor->open(kNoWindow);
    CNoticeView* notice = editor->getNoticeView();
    EXPECT_EQ(notice->getCount(), 1);
    const CRect ok = notice->getOkButtonRect();
    click((ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2);
    EXPECT_STREQ(notice->getNoticeText(), more);
    notices->post(more); // reported again while shown: the count follows
    editor->idle();
    EXPECT_EQ(notice->getCount(), 4);
    press(*editor->getFrame(), kVKeyReturn);
    EXPECT_EQ(notices->pending(), 0);
    EXPECT_FALSE(notice->isVisible());

    click(200, 60);
    press(*editor->getFrame(), kVKeyBack, 40);
    type(*editor->getFrame(), "Take 2");
    notices->post(more);
    editor->idle();
    EXPECT_TRUE(notice->isVisible());
    type(*editor->getFrame(), "ignored");
    press(*editor->getFrame(), kVKeyReturn);
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(programName(*effect), "Take 2");
}

// A host change from another thread shows at the next idle and redraws only its control.
TEST_F(EditorTest, HostChangesFromAnyThreadRedrawOnlyTheirControls) {
    make();
    editor->open(kNoWindow);
    editor->idle();
    auto* eqs = dynamic_cast<COnOffButton*>(editor->findControl(kEQsEnabled));
    ASSERT_NE(eqs, nullptr);
    CountingView* elsewhere = new CountingView(CRect(0, 0, 1, 1));
    editor->getFrame()->addView(elsewhere);
    editor->idle();
    const int settled = elsewhere->draws;
    std::thread([&] { // as the plug-in's effect does: apply, then tell the editor
        effect->setParameter(kEQsEnabled, 1.0f);
        editor->setParameter(kEQsEnabled, 1.0f);
    })
        .join();
    EXPECT_FALSE(eqs->isOn());
    editor->idle();
    EXPECT_TRUE(eqs->isOn());
    EXPECT_FALSE(eqs->isDirty());
    EXPECT_EQ(elsewhere->draws, settled);
    // The view and the capsule shown follow the host too.
    effect->setParameter(kViewMode, view2parm(2));
    effect->setParameter(kCurrentCapsule, 1.0f);
    editor->setParameter(kCurrentCapsule, 1.0f);
    editor->idle();
    EXPECT_EQ(editor->getCapsuleSelector()->getSelected(), 3);
    EXPECT_NE(editor->findControl(kCapsuleBase + 3 * kParamsPerCapsule + kCapEQGain), nullptr);
    EXPECT_EQ(editor->findControl(kEQsEnabled), nullptr); // a Setup control
}
