#include "ReleaseLibraryCaches.h"
#include "gui/CBitmap.h"
#include "gui/CControlListener.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/CTextEdit.h"
#include "gui/EmbeddedResources.h"

#include <gtest/gtest.h>

#include <cairo.h>
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

// Counts its draws, to see what the frame redraws.
struct CountingView : CView {
    CountingView() : CView(CRect(0, 0, 10, 10)) {}
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

TEST(Frame, OffscreenItRedrawsOnlyWhenDirtyAndTheFieldIsTransparent) {
    CBitmap background(128);
    ASSERT_TRUE(background.isLoaded());
    const CRect size(0, 0, background.getWidth(), background.getHeight());
    CFrame frame(size, nullptr, nullptr);
    EXPECT_FALSE(frame.hasWindow());
    frame.setBackground(&background);
    CountingView* view = new CountingView;
    frame.addView(view);
    CTextEdit* field = new CTextEdit(CRect(72, 53, 215, 68), nullptr, 1024);
    field->setFrameColor(CColor(149, 111, 42, 0));
    field->setBackColor(CColor(149, 111, 42, 0));
    frame.addView(field);
    EXPECT_FALSE(frame.addView(field)); // once only

    frame.idle();
    frame.idle();
    field->setText("");
    frame.idle();
    EXPECT_EQ(view->draws, 1); // drawn once, then only on a change
    field->setText("Ambrel - uncalibrated");
    frame.idle();
    EXPECT_EQ(view->draws, 2);

    // The picture shows through the field, with the name over it and no frame line.
    CDrawContext picture(size.width(), size.height());
    background.draw(&picture, size);
    int differing = 0;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (frame.getDrawContext()->getPixel(x, y) != picture.getPixel(x, y))
                differing += field->getViewSize().pointInside(x, y) ? 1 : 1000000;
    EXPECT_GT(differing, 20);
    EXPECT_LT(differing, 1000000);
    EXPECT_EQ(frame.getDrawContext()->getPixel(72, 53), picture.getPixel(72, 53));
}
