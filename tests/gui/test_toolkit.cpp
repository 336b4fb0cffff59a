#include "ToolkitTestSupport.h"
#include "gui/CBitmap.h"
#include "gui/CControlListener.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/COptionMenu.h"
#include "gui/CTextEdit.h"
#include "gui/CVuMeter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Writes down every change and gesture: "begin 7", "7 changed", "end 7", "7 text".
struct Listener : CControlListener {
    void valueChanged(CDrawContext*, CControl* control) override {
        auto* field = dynamic_cast<CTextEdit*>(control);
        log.push_back(std::to_string(control->getTag()) + " " +
                      (field != nullptr ? field->getText() : "changed"));
    }
    void controlBeginEdit(CControl* control) override {
        log.push_back("begin " + std::to_string(control->getTag()));
    }
    void controlEndEdit(CControl* control) override {
        log.push_back("end " + std::to_string(control->getTag()));
    }
    std::vector<std::string> take() { return std::exchange(log, {}); }
    std::vector<std::string> log;
};

} // namespace

// A text that is not UTF-8 (a Latin-1 name from a host) still draws.
TEST(DrawContext, TextThatIsNotUtf8) {
    CDrawContext context(120, 20);
    context.setFont(11);
    context.setFontColor(CColor(255, 255, 255));
    context.drawString("Caf\xe9 \xff\x80", CRect(0, 0, 120, 20), kLeftText);
    EXPECT_TRUE(context.isValid()); // cairo refuses such text and then stops drawing for good
    EXPECT_EQ(context.getStringWidth("Caf\xe9"), context.getStringWidth("Caf\xc3\xa9"));
    int lit = 0;
    for (int x = 0; x < 60; ++x)
        for (int y = 0; y < 20; ++y)
            lit += context.getPixel(x, y).alpha > 0 ? 1 : 0;
    EXPECT_GT(lit, 20);
}

// What the window tests cannot see: the caret at the ends and over whole UTF-8 characters, the
// 255-byte limit, control bytes, an edit undone or confirmed twice, the host's text during an edit.
TEST(TextEdit, CaretLimitsAndWhatTheListenerHears) {
    Listener heard;
    CTextEdit field(CRect(0, 0, 100, 15), &heard, 1024, "Caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_FALSE(field.onKeyDown("x", kVKeyNone));           // keys do nothing before a click
    ASSERT_TRUE(field.onMouseDown(nullptr, 1, 1, kLButton)); // no context: the caret at the end
    EXPECT_EQ(field.getCaret(), 9);
    press(field, kVKeyBack);    // the euro sign, three bytes
    press(field, kVKeyLeft, 2); // over the space and the two-byte e acute
    EXPECT_EQ(field.getCaret(), 3);
    press(field, kVKeyDelete);
    field.onKeyDown("\xc3\xa8", kVKeyNone);
    press(field, kVKeyRight, 10); // stops at the end
    EXPECT_EQ(field.getCaret(), 6);
    press(field, kVKeyLeft, 10);
    press(field, kVKeyBack);                          // nothing before it
    EXPECT_FALSE(field.onKeyDown("\x01", kVKeyNone)); // control bytes are not text
    EXPECT_FALSE(field.onKeyDown("\x7f", kVKeyNone));
    EXPECT_STREQ(field.getEditText(), "Caf\xc3\xa8 ");
    press(field, kVKeyEscape);
    field.onMouseDown(nullptr, 1, 1, kLButton);
    press(field, kVKeyReturn); // unchanged: not reported
    field.onMouseDown(nullptr, 1, 1, kLButton);
    type(field, "!");
    CDrawContext context(200, 30);
    field.draw(&context);
    field.setText("Program B"); // from the host: kept while the edit goes on
    EXPECT_FALSE(field.isDirty());
    field.looseFocus();
    field.looseFocus(); // confirms once
    EXPECT_EQ(heard.take(), std::vector<std::string>{"1024 Caf\xc3\xa9 \xe2\x82\xac!"});
    field.onMouseDown(nullptr, 1, 1, kLButton);
    field.setText("Program C");
    press(field, kVKeyEscape);
    EXPECT_STREQ(field.getText(), "Program C");

    field.setText(std::string(300, 'n').c_str());
    EXPECT_EQ(std::string(field.getText()), std::string(255, 'n'));
    field.onMouseDown(nullptr, 1, 1, kLButton);
    press(field, kVKeyBack);
    field.onKeyDown("\xc3\xa9", kVKeyNone); // two bytes do not fit into one free byte
    type(field, "zz");
    EXPECT_EQ(std::string(field.getEditText()), std::string(254, 'n') + "z");
    press(field, kVKeyReturn);
    char name[25]; // copies out are bounded by the caller's buffer
    std::memset(name, 'x', sizeof(name));
    field.getText(name, sizeof(name));
    EXPECT_EQ(std::string(name), std::string(24, 'n'));
}

// A redrawn view brings back what lies over it; a hidden one leaves the picture; the name field
// is transparent: the picture shows through, with the name over it and no frame line.
TEST(Frame, RedrawsWhatLiesOverAChangeAndTheFieldIsTransparent) {
    CBitmap background(128);
    ASSERT_TRUE(background.isLoaded());
    const CRect size(0, 0, background.getWidth(), background.getHeight());
    CDrawContext picture(size.width(), size.height());
    background.draw(&picture, size);
    CFrame frame(size, nullptr, nullptr);
    frame.setBackground(&background);
    CountingView* under = new CountingView(CRect(0, 0, 10, 10));
    CountingView* aside = new CountingView(CRect(300, 0, 310, 10));
    CountingView* over = new CountingView(CRect(5, 5, 20, 20));
    CTextEdit* field = new CTextEdit(CRect(72, 53, 215, 68), nullptr, 1024, "Ambrel");
    field->setFrameColor(CColor(149, 111, 42, 0));
    field->setBackColor(CColor(149, 111, 42, 0));
    for (CView* view : std::initializer_list<CView*>{under, aside, over, field})
        frame.addView(view);
    EXPECT_FALSE(frame.addView(field)); // once only
    frame.idle();
    under->setDirty();
    aside->setVisible(false);
    frame.idle();
    EXPECT_EQ(std::vector<int>({under->draws, aside->draws, over->draws}),
              std::vector<int>({2, 1, 2}));
    int differing = 0;
    for (int y = 30; y < 90; ++y)
        for (int x = 40; x < 320; ++x)
            if (frame.getDrawContext()->getPixel(x, y) != picture.getPixel(x, y))
                differing += field->getViewSize().pointInside(x, y) ? 1 : 1000000;
    EXPECT_GT(differing, 20);
    EXPECT_LT(differing, 1000000);
    EXPECT_EQ(frame.getDrawContext()->getPixel(72, 53), picture.getPixel(72, 53));
    EXPECT_EQ(frame.getDrawContext()->getPixel(305, 5), picture.getPixel(305, 5));
}

// What the window tests do not reach: the list of a menu opens with Return and closes with Escape
// or a click beside it, and Tab into the name field starts an edit that Shift-Tab ends unchanged.
TEST(Controls, MenuListsTabStepsAndMeters) {
    CFrame frame(CRect(0, 0, 400, 300), nullptr, nullptr);
    CDrawContext* context = frame.getDrawContext();
    Listener heard;
    CTextEdit* field = new CTextEdit(CRect(200, 200, 300, 215), &heard, 10, "Name");
    COptionMenu* menu = new COptionMenu(CRect(10, 140, 150, 158), &heard, 5);
    for (CView* view : std::initializer_list<CView*>{field, menu})
        frame.addView(view);
    menu->setSteps(8);
    for (int i = 0; i < 3; ++i)
        menu->setEntry(i, ("Set " + std::to_string(i)).c_str());
    frame.setFocusView(menu);
    frame.onKeyDown("", kVKeyReturn);
    ASSERT_TRUE(menu->isListOpen());
    frame.onKeyDown("", kVKeyDown);
    frame.onKeyDown("", kVKeyEscape);
    frame.idle(); // the closed list is deleted here
    EXPECT_FALSE(menu->isListOpen());
    frame.onMouseDown(context, 60, 150, kLButton);
    ASSERT_TRUE(menu->isListOpen());
    frame.onMouseDown(context, 390, 290, kLButton);
    EXPECT_FALSE(menu->isListOpen());
    EXPECT_TRUE(heard.take().empty());

    frame.setFocusView(nullptr);
    frame.onKeyDown("", kVKeyTab);
    EXPECT_EQ(frame.getFocusView(), field);
    EXPECT_TRUE(field->isEditing());
    frame.setModifiers(kShift);
    frame.onKeyDown("", kVKeyTab);
    frame.setModifiers(0);
    EXPECT_EQ(frame.getFocusView(), menu);
    EXPECT_FALSE(field->isEditing());
    EXPECT_TRUE(heard.take().empty());

    // Steps come back as themselves; a meter holds its peak for 1.5 s and its over mark until
    // clicked, and redraws only when a level moves a row.
    for (int steps = 2; steps <= 64; ++steps)
        for (int step = 0; step < steps; ++step)
            ASSERT_EQ(CControl::stepOf(CControl::valueOfStep(step, steps), steps), step)
                << step << " of " << steps;
    EXPECT_EQ(CControl::stepOf(0.99f, 3), 1); // as the processor reads a view number
    EXPECT_EQ(CControl::stepOf(-1.0f, 3), 0);
    EXPECT_EQ(CControl::stepOf(2.0f, 3), 2);

    CVuMeter meter(CRect(0, 0, 34, 156), -60.0f, 6.0f);
    meter.setLevels(-6.0f, -9.0f, 10.0);
    meter.setLevels(-20.0f, -23.0f, 11.0);
    EXPECT_FLOAT_EQ(meter.getHoldDb(), -6.0f);
    meter.setLevels(-20.0f, -23.0f, 11.6);
    EXPECT_FLOAT_EQ(meter.getHoldDb(), -20.0f);
    meter.setLevels(1.0f, -3.0f, 12.0);
    meter.setLevels(-30.0f, -33.0f, 20.0);
    EXPECT_TRUE(meter.isOver());
    meter.onMouseDown(nullptr, 5, 5, kLButton);
    EXPECT_FALSE(meter.isOver());
    meter.draw(nullptr);
    meter.setLevels(-30.2f, -33.1f, 20.1); // the same rows: no redraw
    EXPECT_FALSE(meter.isDirty());
}
