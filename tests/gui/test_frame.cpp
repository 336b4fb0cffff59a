#include "gui/CBitmap.h"
#include "gui/CControlListener.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/CTextEdit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct RecordingListener : CControlListener {
    void valueChanged(CDrawContext* context, CControl* control) override {
        texts.push_back(static_cast<CTextEdit*>(control)->getText());
        contexts.push_back(context);
    }
    std::vector<std::string> texts;
    std::vector<CDrawContext*> contexts;
};

// Counts its draws, to see what the frame redraws.
struct CountingView : CView {
    explicit CountingView(const CRect& size) : CView(size) {}
    void draw(CDrawContext* context) override {
        ++draws;
        CView::draw(context);
    }
    int draws = 0;
};

} // namespace

TEST(Frame, WithoutAWindowItDrawsOffscreenAndOnlyWhenDirty) {
    CBitmap background(128);
    ASSERT_TRUE(background.isLoaded());
    const CRect size(0, 0, background.getWidth(), background.getHeight());
    CFrame frame(size, nullptr, nullptr);
    EXPECT_FALSE(frame.hasWindow());
    EXPECT_EQ(frame.getWindowId(), 0ul);
    frame.setBackground(&background);
    CountingView* view = new CountingView(CRect(0, 0, 10, 10));
    frame.addView(view);
    CTextEdit* field = new CTextEdit(CRect(72, 53, 215, 68), nullptr, 1024);
    field->setFrameColor(CColor(149, 111, 42, 0));
    field->setBackColor(CColor(149, 111, 42, 0));
    frame.addView(field);
    EXPECT_FALSE(frame.addView(field)); // once only
    EXPECT_EQ(frame.getNbViews(), 2);

    frame.idle();
    EXPECT_EQ(view->draws, 1);
    frame.idle();
    EXPECT_EQ(view->draws, 1);
    field->setText("");
    frame.idle();
    EXPECT_EQ(view->draws, 1);
    field->setText("Ambrel - uncalibrated");
    frame.idle();
    EXPECT_EQ(view->draws, 2);
    frame.setDirty(true);
    frame.idle();
    EXPECT_EQ(view->draws, 3);

    // The transparent field lets the picture show through; its text is drawn over it.
    CDrawContext picture(size.width(), size.height());
    background.draw(&picture, size);
    int differing = 0;
    for (int y = 53; y < 68; ++y)
        for (int x = 72; x < 215; ++x)
            if (frame.getDrawContext()->getPixel(x, y) != picture.getPixel(x, y)) ++differing;
    EXPECT_GT(differing, 20); // the name
    EXPECT_EQ(frame.getDrawContext()->getPixel(210, 55), picture.getPixel(210, 55));
    EXPECT_EQ(frame.getDrawContext()->getPixel(72, 53), picture.getPixel(72, 53)); // no frame line
    EXPECT_EQ(frame.getDrawContext()->getPixel(300, 150), picture.getPixel(300, 150));
}

TEST(Frame, ClicksFocusTheFieldAndAClickElsewhereConfirms) {
    RecordingListener listener;
    CFrame frame(CRect(0, 0, 300, 100), nullptr, nullptr);
    CTextEdit* field = new CTextEdit(CRect(72, 53, 215, 68), &listener, 1024, "User 4");
    frame.addView(field);

    EXPECT_FALSE(frame.onKeyDown("a", kVKeyNone)); // nobody has the keys
    EXPECT_TRUE(frame.onMouseDown(frame.getDrawContext(), 214, 60, kLButton));
    EXPECT_EQ(frame.getFocusView(), field);
    EXPECT_TRUE(field->isEditing());
    EXPECT_EQ(field->getCaret(), 6);
    EXPECT_TRUE(frame.onKeyDown("!", kVKeyNone));
    frame.onMouseDown(frame.getDrawContext(), 10, 10, kLButton);
    EXPECT_EQ(frame.getFocusView(), nullptr);
    EXPECT_FALSE(field->isEditing());
    ASSERT_EQ(listener.texts.size(), 1u);
    EXPECT_EQ(listener.texts[0], "User 4!");
    EXPECT_EQ(listener.contexts[0], frame.getDrawContext());

    // Removing the field that has the keys confirms its edit first.
    frame.onMouseDown(frame.getDrawContext(), 100, 60, kLButton);
    frame.onKeyDown("?", kVKeyNone);
    EXPECT_TRUE(frame.removeView(field, false));
    EXPECT_EQ(frame.getFocusView(), nullptr);
    EXPECT_EQ(listener.texts.size(), 2u);
    EXPECT_EQ(field->getFrame(), nullptr);
    EXPECT_FALSE(frame.removeView(field));
    delete field;
}

TEST(Frame, DeletingTheFrameWhileEditingTellsNobody) {
    RecordingListener listener;
    CFrame* frame = new CFrame(CRect(0, 0, 300, 100), nullptr, nullptr);
    CTextEdit* field = new CTextEdit(CRect(72, 53, 215, 68), &listener, 1024, "User 5");
    frame->addView(field);
    frame->onMouseDown(frame->getDrawContext(), 100, 60, kLButton);
    frame->onKeyDown("x", kVKeyNone);
    ASSERT_TRUE(field->isEditing());
    delete frame;
    EXPECT_TRUE(listener.texts.empty());
}
