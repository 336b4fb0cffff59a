#include "ReleaseLibraryCaches.h"
#include "gui/CBitmap.h"
#include "gui/CControlListener.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/CKnob.h"
#include "gui/COnOffButton.h"
#include "gui/COptionMenu.h"
#include "gui/CSegmentButton.h"
#include "gui/CSlider.h"
#include "gui/CTextEdit.h"
#include "gui/CVuMeter.h"
#include "gui/EmbeddedResources.h"

#include <gtest/gtest.h>

#include <cairo.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const ::testing::Environment* const releaseCaches =
    ::testing::AddGlobalTestEnvironment(new ReleaseLibraryCaches);

const std::string kPicture = std::string(XETETRA_SOURCE_DIR) + "/resources/bmp00128.png";

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

struct RecordingListener : CControlListener {
    void valueChanged(CDrawContext*, CControl* control) override {
        texts.push_back(std::to_string(control->getTag()) + " " +
                        static_cast<CTextEdit*>(control)->getText());
    }
    std::vector<std::string> texts;
};

// Writes down every gesture: "begin 7", "7 = 0.25", "end 7".
struct GestureListener : CControlListener {
    void valueChanged(CDrawContext*, CControl* control) override {
        char text[64];
        std::snprintf(text, sizeof(text), "%ld = %.4g", control->getTag(),
                      static_cast<double>(control->getValue()));
        log.push_back(text);
    }
    void controlBeginEdit(CControl* control) override {
        log.push_back("begin " + std::to_string(control->getTag()));
    }
    void controlEndEdit(CControl* control) override {
        log.push_back("end " + std::to_string(control->getTag()));
    }
    std::vector<std::string> take() {
        std::vector<std::string> taken;
        taken.swap(log);
        return taken;
    }
    std::vector<std::string> log;
};

// The gesture of one change of control `tag` to `value`.
std::vector<std::string> gesture(long tag, const char* value) {
    return {"begin " + std::to_string(tag), std::to_string(tag) + " = " + value,
            "end " + std::to_string(tag)};
}

// Counts its draws, to see what the frame redraws.
struct CountingView : CView {
    explicit CountingView(const CRect& size = CRect(0, 0, 10, 10)) : CView(size) {}
    void draw(CDrawContext* context) override {
        ++draws;
        CView::draw(context);
    }
    int draws = 0;
};

template <typename Target> void type(Target& target, const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        const char key[2] = {*p, '\0'};
        target.onKeyDown(key, kVKeyNone);
    }
}
template <typename Target> void press(Target& target, int key, int times = 1) {
    for (int i = 0; i < times; ++i)
        target.onKeyDown("", key);
}

} // namespace

TEST(Bitmap, BackgroundResourceIsTheCommittedPicture) {
    const std::vector<unsigned char> file = readFile(kPicture);
    const unsigned char* data = nullptr;
    unsigned long size = 0;
    ASSERT_TRUE(findEmbeddedResource("bmp00128.png", &data, &size));
    ASSERT_EQ(size, file.size());
    EXPECT_EQ(std::memcmp(data, file.data(), size), 0);
    EXPECT_FALSE(findEmbeddedResource("bmp00128.bmp", &data, &size));
    EXPECT_FALSE(findEmbeddedResource(nullptr, &data, &size));

    // The size as cairo reads it from the file; the name field's place lies on the picture.
    cairo_surface_t* reference = cairo_image_surface_create_from_png(kPicture.c_str());
    CBitmap background(128);
    EXPECT_EQ(background.getWidth(), cairo_image_surface_get_width(reference));
    EXPECT_EQ(background.getHeight(), cairo_image_surface_get_height(reference));
    EXPECT_GE(background.getWidth(), 215);
    EXPECT_GE(background.getHeight(), 68);
    cairo_surface_destroy(reference);
}

TEST(Bitmap, MissingOrBrokenPicturesHaveNoSize) {
    CBitmap missing(999);
    EXPECT_EQ(missing.getWidth() + missing.getHeight(), 0);
    CDrawContext context(10, 10);
    missing.draw(&context, CRect(0, 0, 10, 10));
    EXPECT_EQ(context.getPixel(5, 5).alpha, 0);

    const std::vector<unsigned char> file = readFile(kPicture);
    ASSERT_GT(file.size(), 200u);
    const std::vector<unsigned char> garbage(file.size(), 0x5a);
    EXPECT_FALSE(CBitmap(file.data(), 200).isLoaded()); // cut: no read past the 200 bytes
    EXPECT_FALSE(CBitmap(garbage.data(), garbage.size()).isLoaded());
    EXPECT_FALSE(CBitmap(nullptr, 0).isLoaded());
    EXPECT_TRUE(CBitmap(file.data(), file.size()).isLoaded());
}

TEST(DrawContext, TextThatIsNotUtf8StillDraws) {
    CDrawContext context(120, 20);
    context.setFont(11);
    context.setFontColor(CColor(255, 255, 255));
    // A Latin-1 name from a host: cairo would refuse it and stop drawing for good.
    context.drawString("Caf\xe9 \xff\x80", CRect(0, 0, 120, 20), kLeftText);
    EXPECT_TRUE(context.isValid());
    EXPECT_EQ(context.getStringWidth("Caf\xe9"), context.getStringWidth("Caf\xc3\xa9"));
    int lit = 0;
    for (int x = 0; x < 60; ++x)
        for (int y = 0; y < 20; ++y)
            lit += context.getPixel(x, y).alpha > 0 ? 1 : 0;
    EXPECT_GT(lit, 20);
}

TEST(TextEdit, EditingKeysAndWhatTheListenerHears) {
    RecordingListener listener;
    CTextEdit field(CRect(72, 53, 215, 68), &listener, 1024, "User 2");
    EXPECT_FALSE(field.onKeyDown("x", kVKeyNone)); // keys do nothing before a click
    EXPECT_FALSE(field.onMouseDown(nullptr, 100, 60, kRButton));
    // Without a context to measure with, a click puts the caret at the end.
    ASSERT_TRUE(field.onMouseDown(nullptr, 100, 60, kLButton));
    EXPECT_EQ(field.getCaret(), 6);
    type(field, " mix");
    press(field, kVKeyHome);
    type(field, "My ");
    EXPECT_STREQ(field.getEditText(), "My User 2 mix");
    press(field, kVKeyDelete, 5); // "User "
    press(field, kVKeyEnd);
    press(field, kVKeyLeft, 4);
    press(field, kVKeyBack, 2); // " 2", the caret sat before " mix"
    EXPECT_STREQ(field.getEditText(), "My mix");
    EXPECT_EQ(field.getCaret(), 2);
    press(field, kVKeyRight, 10); // stops at the end
    EXPECT_EQ(field.getCaret(), 6);
    press(field, kVKeyDelete); // nothing after the caret
    press(field, kVKeyLeft, 10);
    press(field, kVKeyBack);                          // nothing before it
    EXPECT_FALSE(field.onKeyDown("\x01", kVKeyNone)); // control bytes are not text
    EXPECT_FALSE(field.onKeyDown("\x7f", kVKeyNone));
    EXPECT_STREQ(field.getEditText(), "My mix");
    EXPECT_STREQ(field.getText(), "User 2"); // unchanged until confirmed
    press(field, kVKeyReturn);
    EXPECT_FALSE(field.isEditing());
    EXPECT_STREQ(field.getText(), "My mix");
    EXPECT_EQ(listener.texts, std::vector<std::string>{"1024 My mix"});

    // Escape cancels; typed and erased again is no change; losing the focus confirms, once.
    field.onMouseDown(nullptr, 1, 1, kLButton);
    type(field, "abc");
    press(field, kVKeyEscape);
    EXPECT_STREQ(field.getText(), "My mix");
    field.onMouseDown(nullptr, 1, 1, kLButton);
    type(field, "xy");
    press(field, kVKeyBack, 2);
    press(field, kVKeyReturn);
    EXPECT_EQ(listener.texts.size(), 1u);
    field.onMouseDown(nullptr, 1, 1, kLButton);
    type(field, "!");
    field.looseFocus();
    field.looseFocus();
    EXPECT_FALSE(field.isEditing());
    EXPECT_EQ(listener.texts, (std::vector<std::string>{"1024 My mix", "1024 My mix!"}));
}

TEST(TextEdit, TextIsLimitedTo255BytesAndTheCaretMovesOverWholeCharacters) {
    CTextEdit field(CRect(0, 0, 100, 15), nullptr, 0);
    field.setText(std::string(300, 'n').c_str());
    EXPECT_EQ(std::string(field.getText()), std::string(255, 'n'));
    field.onMouseDown(nullptr, 1, 1, kLButton);
    type(field, "abc");
    EXPECT_EQ(std::string(field.getEditText()), std::string(255, 'n'));
    press(field, kVKeyBack);
    field.onKeyDown("\xc3\xa9", kVKeyNone); // two bytes do not fit into one free byte
    type(field, "z");
    EXPECT_EQ(std::string(field.getEditText()), std::string(254, 'n') + "z");
    press(field, kVKeyReturn);
    // Copies out are bounded by the caller's buffer: the editor's name buffer holds 25.
    char name[25];
    std::memset(name, 'x', sizeof(name));
    field.getText(name, sizeof(name));
    EXPECT_EQ(std::string(name), std::string(24, 'n'));
    field.setText(nullptr);
    EXPECT_STREQ(field.getText(), "");

    CTextEdit utf8(CRect(0, 0, 100, 15), nullptr, 0, "Caf\xc3\xa9 \xe2\x82\xac");
    utf8.onMouseDown(nullptr, 1, 1, kLButton);
    EXPECT_EQ(utf8.getCaret(), 9);
    press(utf8, kVKeyBack);    // the euro sign, three bytes
    press(utf8, kVKeyLeft, 2); // over the space and the two-byte e acute
    EXPECT_EQ(utf8.getCaret(), 3);
    press(utf8, kVKeyDelete);
    utf8.onKeyDown("\xc3\xa8", kVKeyNone);
    EXPECT_STREQ(utf8.getEditText(), "Caf\xc3\xa8 ");
    press(utf8, kVKeyRight);
    EXPECT_EQ(utf8.getCaret(), 6);
}

TEST(TextEdit, SetTextMarksForRedrawOnlyWhenTheTextChanges) {
    CDrawContext context(200, 30);
    CTextEdit field(CRect(0, 0, 100, 15), nullptr, 0, "User 3");
    EXPECT_TRUE(field.isDirty()); // never drawn
    field.draw(&context);
    field.setText("User 3");
    EXPECT_FALSE(field.isDirty());
    field.setText("1.47cm");
    EXPECT_TRUE(field.isDirty());
    // Longer than the field keeps: equal after the cut, so no change.
    const std::string longText(300, 'q');
    field.setText(longText.c_str());
    field.draw(&context);
    field.setText((longText + "more").c_str());
    EXPECT_FALSE(field.isDirty());

    // While editing, the host's text is kept and the edit goes on undisturbed; cancelling shows
    // the host's latest text.
    field.setText("Program A");
    field.onMouseDown(nullptr, 1, 1, kLButton);
    type(field, "!");
    field.draw(&context);
    field.setText("Program B");
    EXPECT_FALSE(field.isDirty());
    EXPECT_STREQ(field.getEditText(), "Program A!");
    press(field, kVKeyEscape);
    EXPECT_STREQ(field.getText(), "Program B");
    EXPECT_TRUE(field.isDirty());
}

TEST(Frame, RedrawsOnlyWhatChangedWithWhatLiesOverItAndTheFieldIsTransparent) {
    CBitmap background(128);
    ASSERT_TRUE(background.isLoaded());
    const CRect size(0, 0, background.getWidth(), background.getHeight());
    CFrame frame(size, nullptr, nullptr);
    EXPECT_FALSE(frame.hasWindow());
    frame.setBackground(&background);
    CountingView* left = new CountingView(CRect(0, 0, 10, 10));
    CountingView* right = new CountingView(CRect(300, 0, 310, 10));
    CountingView* over = new CountingView(CRect(5, 5, 20, 20)); // partly over `left`
    frame.addView(left);
    frame.addView(right);
    frame.addView(over);
    CTextEdit* field = new CTextEdit(CRect(72, 53, 215, 68), nullptr, 1024);
    field->setFrameColor(CColor(149, 111, 42, 0));
    field->setBackColor(CColor(149, 111, 42, 0));
    frame.addView(field);
    EXPECT_FALSE(frame.addView(field)); // once only

    frame.idle();
    frame.idle();
    EXPECT_EQ(std::vector<int>({left->draws, right->draws, over->draws}),
              std::vector<int>({1, 1, 1}));
    left->setDirty();
    frame.idle();
    EXPECT_EQ(std::vector<int>({left->draws, right->draws, over->draws}),
              std::vector<int>({2, 1, 2})); // what lies over it is drawn again too
    field->setText("Ambrel - uncalibrated");
    frame.idle();
    EXPECT_EQ(std::vector<int>({left->draws, right->draws, over->draws}),
              std::vector<int>({2, 1, 2}));
    // A view hidden leaves the picture where it was.
    right->setVisible(false);
    frame.idle();
    EXPECT_EQ(frame.getDrawContext()->getPixel(305, 5), [&] {
        CDrawContext picture(size.width(), size.height());
        background.draw(&picture, size);
        return picture.getPixel(305, 5);
    }());

    // The picture shows through the field, with the name over it and no frame line.
    CDrawContext picture(size.width(), size.height());
    background.draw(&picture, size);
    int differing = 0;
    for (int y = 30; y < 90; ++y)
        for (int x = 40; x < 260; ++x)
            if (frame.getDrawContext()->getPixel(x, y) != picture.getPixel(x, y))
                differing += field->getViewSize().pointInside(x, y) ? 1 : 1000000;
    EXPECT_GT(differing, 20);
    EXPECT_LT(differing, 1000000);
    EXPECT_EQ(frame.getDrawContext()->getPixel(72, 53), picture.getPixel(72, 53));
}

TEST(Controls, MouseWheelAndKeysChangeValuesInGestures) {
    CFrame frame(CRect(0, 0, 400, 300), nullptr, nullptr);
    CDrawContext* context = frame.getDrawContext();
    GestureListener heard;
    CKnob* knob = new CKnob(CRect(10, 10, 74, 88), &heard, 1);
    CSlider* slider = new CSlider(CRect(100, 10, 176, 32), &heard, 2);
    COnOffButton* button = new COnOffButton(CRect(100, 50, 200, 70), &heard, 3, "On");
    CSegmentButton* tabs = new CSegmentButton(CRect(10, 100, 310, 124), &heard, 4);
    COptionMenu* menu = new COptionMenu(CRect(10, 140, 150, 158), &heard, 5);
    for (CView* view : std::initializer_list<CView*>{knob, slider, button, tabs, menu})
        frame.addView(view);
    knob->setValue(0.5f);
    knob->setDefaultValue(0.25f);
    slider->setValue(0.5f);
    button->setDefaultValue(0.0f);
    for (const char* label : {"One", "Two", "Three"})
        tabs->addSegment(label);
    menu->setSteps(8);
    for (int i = 0; i < 3; ++i)
        menu->setEntry(i, ("Set " + std::to_string(i)).c_str());

    // A drag: up raises, right too; Shift is ten times finer; one gesture from press to release.
    frame.onMouseDown(context, 40, 50, kLButton);
    frame.onMouseMoved(context, 40, 30, kLButton);          // +20 px
    frame.onMouseMoved(context, 50, 30, kLButton | kShift); // +10 px, fine
    frame.onMouseMoved(context, 50, 30, kLButton);
    frame.onMouseUp(context, 50, 30, kLButton);
    EXPECT_EQ(heard.take(), (std::vector<std::string>{"begin 1", "1 = 0.6", "1 = 0.605", "end 1"}));
    // The wheel, the keys, the ends, and the default (double click, Backspace).
    frame.onWheel(context, 40, 50, 1.0f, 0);
    frame.onWheel(context, 40, 50, -1.0f, kShift);
    EXPECT_EQ(heard.take().size(), 6u);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.605f + 0.01f - 0.001f);
    EXPECT_EQ(frame.getFocusView(), knob); // the press gave it the keys
    frame.onKeyDown("", kVKeyEnd);
    frame.onKeyDown("", kVKeyUp); // at the end already: no gesture
    EXPECT_EQ(heard.take(), gesture(1, "1"));
    frame.setModifiers(kShift);
    frame.onKeyDown("", kVKeyDown);
    frame.setModifiers(0);
    EXPECT_EQ(heard.take(), gesture(1, "0.999"));
    frame.onMouseDown(context, 40, 50, kLButton | kDoubleClick);
    EXPECT_EQ(heard.take(), gesture(1, "0.25"));
    frame.onMouseUp(context, 40, 50, kLButton); // the double click's release: nothing
    knob->setValue(0.9f);
    frame.onKeyDown("", kVKeyBack);
    EXPECT_EQ(heard.take(), gesture(1, "0.25"));

    // The value box works the same way.
    frame.onMouseDown(context, 120, 20, kLButton);
    frame.onMouseMoved(context, 120, 0, kLButton);
    frame.onMouseMoved(context, 120, -400, kLButton); // far beyond: stops at the end
    frame.onMouseUp(context, 120, -400, kLButton);
    EXPECT_EQ(heard.take(), (std::vector<std::string>{"begin 2", "2 = 0.6", "2 = 1", "end 2"}));

    // The switch: a click toggles, Space too, arrows set; the double click goes to the default.
    frame.onMouseDown(context, 150, 60, kLButton);
    EXPECT_EQ(heard.take(), gesture(3, "1"));
    frame.onKeyDown(" ", kVKeyNone);
    frame.onKeyDown("", kVKeyDown);
    EXPECT_EQ(heard.take(), gesture(3, "0"));
    frame.onMouseDown(context, 150, 60, kLButton);
    frame.onMouseDown(context, 150, 60, kLButton | kDoubleClick);
    EXPECT_EQ(heard.take().size(), 6u); // on, then back to the default
    EXPECT_FALSE(button->isOn());

    // Tabs: a click picks one, arrows move, never past the ends.
    frame.onMouseDown(context, 250, 110, kLButton);
    EXPECT_EQ(heard.take(), gesture(4, "1"));
    frame.onKeyDown("", kVKeyRight);
    frame.onKeyDown("", kVKeyLeft);
    EXPECT_EQ(heard.take(), gesture(4, "0.5"));
    EXPECT_EQ(tabs->getSelected(), 1);

    // The menu: a click opens the list over everything, a click on an entry picks it; keys on
    // the closed menu pick the neighbours; Escape and a click beside close the list.
    frame.onMouseDown(context, 60, 150, kLButton);
    ASSERT_TRUE(menu->isListOpen());
    ASSERT_EQ(frame.getPopup() != nullptr, true);
    const CRect list = menu->getListRect();
    EXPECT_EQ(list.top, 160);
    frame.onMouseDown(context, list.left + 30, list.top + 3 + 2 * COptionMenu::kEntryHeight + 5,
                      kLButton);
    EXPECT_FALSE(menu->isListOpen());
    EXPECT_EQ(heard.take(), gesture(5, "0.2857"));
    EXPECT_EQ(menu->getCurrent(), 2);
    frame.onKeyDown("", kVKeyDown); // the last entry already
    frame.onKeyDown("", kVKeyUp);
    EXPECT_EQ(heard.take(), gesture(5, "0.1429"));
    frame.onKeyDown("", kVKeyReturn);
    ASSERT_TRUE(menu->isListOpen());
    frame.onKeyDown("", kVKeyDown);
    frame.onKeyDown("", kVKeyEscape);
    frame.idle(); // the closed list is deleted here
    frame.onMouseDown(context, 60, 150, kLButton);
    frame.onMouseDown(context, 390, 290, kLButton);
    EXPECT_FALSE(menu->isListOpen());
    EXPECT_TRUE(heard.take().empty());
}

TEST(Frame, TabWalksTheVisibleControlsAndAPressKeepsTheMouseUntilReleased) {
    CFrame frame(CRect(0, 0, 400, 300), nullptr, nullptr);
    GestureListener heard;
    CTextEdit* field = new CTextEdit(CRect(0, 0, 100, 15), &heard, 10, "Name");
    CKnob* first = new CKnob(CRect(0, 20, 64, 98), &heard, 11);
    CKnob* hidden = new CKnob(CRect(70, 20, 134, 98), &heard, 12);
    CKnob* last = new CKnob(CRect(140, 20, 204, 98), &heard, 13);
    for (CView* view : std::initializer_list<CView*>{field, first, hidden, last})
        frame.addView(view);
    hidden->setVisible(false);

    std::vector<CView*> visited;
    for (int i = 0; i < 4; ++i) {
        frame.onKeyDown("", kVKeyTab);
        visited.push_back(frame.getFocusView());
    }
    EXPECT_EQ(visited, (std::vector<CView*>{field, first, last, field}));
    EXPECT_TRUE(field->isEditing()); // Tab into the field starts an edit...
    frame.setModifiers(kShift);
    frame.onKeyDown("", kVKeyTab);
    frame.setModifiers(0);
    EXPECT_EQ(frame.getFocusView(), last); // ...and Shift-Tab goes back, ending it
    EXPECT_FALSE(field->isEditing());
    EXPECT_TRUE(heard.take().empty()); // the text was not changed

    // The knob pressed keeps the mouse wherever it goes, until the release or releaseMouse.
    frame.onMouseDown(frame.getDrawContext(), 30, 50, kLButton);
    EXPECT_EQ(frame.getMouseView(), first);
    frame.onMouseMoved(frame.getDrawContext(), 300, 10, kLButton);
    frame.releaseMouse();
    EXPECT_EQ(frame.getMouseView(), nullptr);
    const std::vector<std::string> log = heard.take();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.front(), "begin 11");
    EXPECT_EQ(log.back(), "end 11");
}

TEST(Controls, SteppedValuesComeBackAsTheirStepAndMetersHoldTheirPeak) {
    for (int steps = 2; steps <= 64; ++steps)
        for (int step = 0; step < steps; ++step)
            ASSERT_EQ(CControl::stepOf(CControl::valueOfStep(step, steps), steps), step)
                << step << " of " << steps;
    EXPECT_EQ(CControl::stepOf(0.99f, 3), 1); // as the processor reads a view number
    EXPECT_EQ(CControl::stepOf(-1.0f, 3), 0);
    EXPECT_EQ(CControl::stepOf(2.0f, 3), 2);

    CVuMeter meter(CRect(0, 0, 34, 156), -60.0f, 6.0f);
    EXPECT_EQ(meter.yOf(-60.0f), meter.getBarRect().bottom);
    EXPECT_EQ(meter.yOf(6.0f), meter.getBarRect().top);
    EXPECT_EQ(meter.yOf(-27.0f), (meter.getBarRect().top + meter.getBarRect().bottom) / 2);
    meter.setLevels(-6.0f, -9.0f, 10.0);
    meter.setLevels(-20.0f, -23.0f, 11.0);
    EXPECT_FLOAT_EQ(meter.getHoldDb(), -6.0f); // held...
    meter.setLevels(-20.0f, -23.0f, 11.6);
    EXPECT_FLOAT_EQ(meter.getHoldDb(), -20.0f); // ...for 1.5 s
    meter.setLevels(1.0f, -3.0f, 12.0);
    EXPECT_TRUE(meter.isOver());
    meter.setLevels(-30.0f, -33.0f, 20.0);
    EXPECT_TRUE(meter.isOver()); // until clicked
    meter.onMouseDown(nullptr, 5, 5, kLButton);
    EXPECT_FALSE(meter.isOver());
    meter.draw(nullptr);
    meter.setLevels(-30.2f, -33.1f, 20.1); // the same rows: no redraw
    EXPECT_FALSE(meter.isDirty());
}
