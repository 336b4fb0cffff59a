// The editor driven through its real frame without a display: the frame then works offscreen,
// which is where it draws anyway before copying to its window.

#include "core/XeTetra.h"
#include "editor/NoticeView.h"
#include "editor/XeTEditor.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/CTextEdit.h"
#include "gui/ReleaseLibraryCaches.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

const ::testing::Environment* const releaseCaches =
    ::testing::AddGlobalTestEnvironment(new ReleaseLibraryCaches);

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Any non-null window: with no display to connect to, the frame stays offscreen.
void* const kNoWindow = reinterpret_cast<void*>(static_cast<uintptr_t>(0x123456));

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display != nullptr) savedDisplay = display;
        unsetenv("DISPLAY");
        calibrations = calibrationsRoot.makeDirectory("calibrations");
    }
    void TearDown() override {
        if (!savedDisplay.empty()) setenv("DISPLAY", savedDisplay.c_str(), 1);
    }

    // A processor with an empty calibrations directory: no notice at construction.
    std::unique_ptr<AXeTetra> makeEffect() {
        return std::make_unique<AXeTetra>(hostCallback, CCalibrationPaths::only(calibrations));
    }
    // A processor that finds no calibrations directory and says so.
    std::unique_ptr<AXeTetra> makeEffectWithoutCalibrations() {
        return std::make_unique<AXeTetra>(hostCallback,
                                          CCalibrationPaths::only(calibrations + "/missing"));
    }

    static std::string programName(AudioEffect& effect) {
        char name[AudioEffect::kScratchSize] = {0};
        effect.getProgramName(name);
        return name;
    }
    static void click(CFrame* frame, int x, int y) {
        frame->onMouseDown(frame->getDrawContext(), x, y, kLButton);
    }
    static void type(CFrame* frame, const std::string& text) {
        for (char c : text) {
            const char key[2] = {c, '\0'};
            frame->onKeyDown(key, kVKeyNone);
        }
    }
    static void press(CFrame* frame, int key, int times = 1) {
        for (int i = 0; i < times; ++i)
            frame->onKeyDown("", key);
    }

    TempDirectory calibrationsRoot;
    std::string calibrations;
    std::string savedDisplay;
};

} // namespace

TEST_F(EditorTest, RectangleIsThePicturesSizeAndTheFlagIsSet) {
    auto effect = makeEffect();
    AXeTEditor* editor = new AXeTEditor(effect.get()); // the effect owns it
    EXPECT_EQ(effect->getEditor(), editor);
    EXPECT_NE(effect->getAeffect()->flags & effFlagsHasEditor, 0);

    CBitmap picture(128);
    ASSERT_TRUE(picture.isLoaded());
    ERect* rect = nullptr;
    ASSERT_TRUE(editor->getRect(&rect));
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, picture.getHeight());
    EXPECT_EQ(rect->right, picture.getWidth());
    EXPECT_EQ(editor->getBackground()->getWidth(), picture.getWidth());

    // Through the host's request as well.
    ERect* asked = nullptr;
    EXPECT_EQ(effect->dispatcher(effEditGetRect, 0, 0, &asked, 0.0f), 1);
    EXPECT_EQ(asked, rect);
}

TEST_F(EditorTest, ClosedEditorLeavesEverythingAlone) {
    auto effect = makeEffect();
    AXeTEditor* editor = new AXeTEditor(effect.get());
    editor->idle();
    editor->setParameter(3, 1.0f);
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_EQ(editor->getTextField(), nullptr);
    CTextEdit stray(CRect(0, 0, 10, 10), editor, AXeTEditor::kNameFieldTag, "Stray");
    editor->valueChanged(nullptr, &stray);
    EXPECT_EQ(programName(*effect), "Ambrel - uncalibrated");

    ASSERT_TRUE(editor->open(kNoWindow));
    editor->close();
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_EQ(editor->getTextField(), nullptr);
    editor->idle();
    editor->valueChanged(nullptr, &stray);
    EXPECT_EQ(programName(*effect), "Ambrel - uncalibrated");
}

TEST_F(EditorTest, FieldFollowsTheCurrentProgram) {
    auto effect = makeEffect();
    AXeTEditor* editor = new AXeTEditor(effect.get());
    ASSERT_EQ(effect->dispatcher(effEditOpen, 0, 0, kNoWindow, 0.0f), 1);
    CTextEdit* field = editor->getTextField();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->getViewSize(), CRect(72, 53, 215, 68));
    EXPECT_EQ(field->getTag(), 1024);
    EXPECT_EQ(field->getFrameColor(), CColor(149, 111, 42, 0));
    EXPECT_EQ(field->getBackColor(), CColor(149, 111, 42, 0));
    EXPECT_STREQ(field->getText(), "");

    effect->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_STREQ(field->getText(), "Ambrel - uncalibrated");
    effect->dispatcher(effSetProgram, 0, 1, nullptr, 0.0f);
    effect->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_STREQ(field->getText(), "1.47cm");
    effect->dispatcher(effSetProgram, 0, 2, nullptr, 0.0f);
    effect->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_STREQ(field->getText(), "User 2");
    // A program called Init is shown with its number, as the effect reports it.
    char init[] = "Init";
    effect->setProgramName(init);
    effect->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_STREQ(field->getText(), "Init 3");

    // The name is drawn over the picture inside the field, and the picture elsewhere.
    effect->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    CDrawContext* drawn = editor->getFrame()->getDrawContext();
    CDrawContext picture(400, 200);
    editor->getBackground()->draw(&picture, CRect(0, 0, 400, 200));
    int inField = 0;
    int outside = 0;
    for (int y = 0; y < editor->getBackground()->getHeight(); ++y) {
        for (int x = 0; x < editor->getBackground()->getWidth(); ++x) {
            const bool differs = drawn->getPixel(x, y) != picture.getPixel(x, y);
            if (field->getViewSize().pointInside(x, y))
                inField += differs;
            else
                outside += differs;
        }
    }
    EXPECT_GT(inField, 30);
    EXPECT_EQ(outside, 0);
    effect->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
}

TEST_F(EditorTest, TypingANameRenamesTheProgram) {
    auto effect = makeEffect();
    AXeTEditor* editor = new AXeTEditor(effect.get());
    editor->open(kNoWindow);
    editor->idle();
    CFrame* frame = editor->getFrame();
    CTextEdit* field = editor->getTextField();

    click(frame, 200, 60);
    ASSERT_TRUE(field->isEditing());
    press(frame, kVKeyBack, 40);
    type(frame, "Hall A");
    editor->idle(); // the host's name does not disturb the edit
    EXPECT_STREQ(field->getEditText(), "Hall A");
    EXPECT_EQ(programName(*effect), "Ambrel - uncalibrated");
    press(frame, kVKeyReturn);
    EXPECT_EQ(programName(*effect), "Hall A");
    editor->idle();
    EXPECT_STREQ(field->getText(), "Hall A");
    char indexed[64] = {0};
    effect->getProgramNameIndexed(0, 0, indexed);
    EXPECT_STREQ(indexed, "Hall A");

    // Longer than a program name holds: cut to 23 characters, and the field then shows that.
    click(frame, 200, 60);
    press(frame, kVKeyEnd);
    type(frame, " with a much longer name than fits");
    click(frame, 20, 150); // a click elsewhere confirms
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(programName(*effect), "Hall A with a much long");
    editor->idle();
    EXPECT_STREQ(field->getText(), "Hall A with a much long");

    // Escape keeps the name.
    click(frame, 100, 60);
    type(frame, "zzz");
    press(frame, kVKeyEscape);
    EXPECT_EQ(programName(*effect), "Hall A with a much long");
    editor->close();
}

TEST_F(EditorTest, CloseWhileEditingAndReopenShowsTheCurrentName) {
    auto effect = makeEffect();
    AXeTEditor* editor = new AXeTEditor(effect.get());
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(editor->open(kNoWindow));
        CTextEdit* field = editor->getTextField();
        EXPECT_STREQ(field->getText(), ""); // a fresh field
        editor->idle();
        EXPECT_STREQ(field->getText(), round == 0 ? "Ambrel - uncalibrated" : "1.47cm");
        click(editor->getFrame(), 100, 60);
        type(editor->getFrame(), "unfinished");
        effect->setProgram(1);
        editor->close(); // the edit is dropped
        EXPECT_EQ(programName(*effect), "1.47cm");
    }
    // The host may open again without closing, and may leave it open when it deletes the effect.
    editor->open(kNoWindow);
    editor->open(kNoWindow);
    editor->idle();
    EXPECT_STREQ(editor->getTextField()->getText(), "1.47cm");
}

TEST_F(EditorTest, NoticesRaisedBeforeOpeningShowOneAtATime) {
    auto effect = makeEffectWithoutCalibrations();
    CNoticeQueue* notices = effect->getNoticeQueue();
    ASSERT_EQ(notices->pending(), 1);
    char missing[CNoticeQueue::kMaxNoticeLength];
    ASSERT_TRUE(notices->peek(missing, sizeof(missing), nullptr));
    EXPECT_EQ(std::string(missing).rfind("Calibrations directory (", 0), 0u);
    char more[] = "No filter found for sampling rate  96000";
    notices->post(more);
    notices->post(more);
    notices->post(more);

    AXeTEditor* editor = new AXeTEditor(effect.get());
    editor->open(kNoWindow);
    CFrame* frame = editor->getFrame();
    CNoticeView* notice = editor->getNoticeView();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_STREQ(notice->getNoticeText(), missing);
    EXPECT_EQ(notice->getCount(), 1);
    EXPECT_EQ(frame->getFocusView(), notice);
    editor->idle();

    // The notice covers the window: the field takes no click, and a miss of OK does nothing.
    click(frame, 100, 60);
    EXPECT_FALSE(editor->getTextField()->isEditing());
    EXPECT_EQ(notices->pending(), 2);
    // It is drawn over the picture, the field included.
    CDrawContext picture(400, 200);
    editor->getBackground()->draw(&picture, CRect(0, 0, 400, 200));
    EXPECT_NE(frame->getDrawContext()->getPixel(5, 5), picture.getPixel(5, 5));
    EXPECT_NE(frame->getDrawContext()->getPixel(200, 100), picture.getPixel(200, 100));

    const CRect ok = notice->getOkButtonRect();
    click(frame, (ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2);
    EXPECT_EQ(notices->pending(), 1);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_STREQ(notice->getNoticeText(), more);
    EXPECT_EQ(notice->getCount(), 3);
    // Reported again while shown: the count follows.
    notices->post(more);
    editor->idle();
    EXPECT_EQ(notice->getCount(), 4);

    // Return while the notice has the keys dismisses it too.
    press(frame, kVKeyReturn);
    EXPECT_EQ(notices->pending(), 0);
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(frame->getFocusView(), nullptr);
    editor->idle();
    for (int y = 0; y < 200; y += 4) {
        for (int x = 0; x < 400; x += 4) {
            if (editor->getTextField()->getViewSize().pointInside(x, y)) continue;
            ASSERT_EQ(frame->getDrawContext()->getPixel(x, y), picture.getPixel(x, y));
        }
    }

    // The field works as usual again.
    click(frame, 100, 60);
    EXPECT_TRUE(editor->getTextField()->isEditing());
    editor->close();
}

TEST_F(EditorTest, NoticeDuringAnEditConfirmsItAndTakesTheKeys) {
    auto effect = makeEffect();
    AXeTEditor* editor = new AXeTEditor(effect.get());
    editor->open(kNoWindow);
    editor->idle();
    CFrame* frame = editor->getFrame();
    click(frame, 200, 60);
    press(frame, kVKeyBack, 40);
    type(frame, "Take 2");
    char message[] = "Failed to open Tolvin filter coefficients file: /x/y.txt";
    effect->getNoticeQueue()->post(message);
    editor->idle();
    EXPECT_TRUE(editor->getNoticeView()->isVisible());
    EXPECT_EQ(programName(*effect), "Take 2");
    type(frame, "ignored");
    EXPECT_EQ(programName(*effect), "Take 2");
    press(frame, kVKeyReturn);
    EXPECT_FALSE(editor->getNoticeView()->isVisible());
    EXPECT_EQ(effect->getNoticeQueue()->pending(), 0);
}

TEST_F(EditorTest, ParameterChangesFromAnyThreadRedrawAtTheNextIdle) {
    // Counts the frame's redraws.
    struct CountingView : CView {
        CountingView() : CView(CRect(0, 0, 1, 1)) {}
        void draw(CDrawContext* context) override {
            ++draws;
            CView::draw(context);
        }
        int draws = 0;
    };
    auto effect = makeEffect();
    AXeTEditor* editor = new AXeTEditor(effect.get());
    std::thread closedAutomation([&] { editor->setParameter(0, 0.5f); });
    closedAutomation.join();
    editor->open(kNoWindow);
    CountingView* counter = new CountingView;
    editor->getFrame()->addView(counter);
    editor->idle();
    editor->idle();
    const int settled = counter->draws;
    editor->idle();
    EXPECT_EQ(counter->draws, settled);

    std::thread automation([&] { editor->setParameter(7, 1.0f); });
    automation.join();
    EXPECT_EQ(counter->draws, settled);
    editor->idle();
    EXPECT_EQ(counter->draws, settled + 1);
    editor->idle();
    EXPECT_EQ(counter->draws, settled + 1);
    editor->close();
}
