#include "gui/CControlListener.h"
#include "gui/CDrawContext.h"
#include "gui/CTextEdit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct RecordingListener : CControlListener {
    void valueChanged(CDrawContext*, CControl* control) override {
        tags.push_back(control->getTag());
        texts.push_back(static_cast<CTextEdit*>(control)->getText());
    }
    std::vector<long> tags;
    std::vector<std::string> texts;
};

void type(CTextEdit& field, const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        const char key[2] = {*p, '\0'};
        field.onKeyDown(key, kVKeyNone);
    }
}

void press(CTextEdit& field, int key, int times = 1) {
    for (int i = 0; i < times; ++i)
        field.onKeyDown("", key);
}

} // namespace

TEST(TextEdit, EditingKeysChangeTheTextAroundTheCaret) {
    RecordingListener listener;
    CTextEdit field(CRect(72, 53, 215, 68), &listener, 1024, "User 2");
    EXPECT_FALSE(field.onKeyDown("x", kVKeyNone)); // keys do nothing before a click

    // Without a context to measure with, a click puts the caret at the end.
    ASSERT_TRUE(field.onMouseDown(nullptr, 100, 60, kLButton));
    ASSERT_TRUE(field.isEditing());
    EXPECT_EQ(field.getCaret(), 6);
    type(field, " mix");
    EXPECT_STREQ(field.getEditText(), "User 2 mix");
    press(field, kVKeyHome);
    type(field, "My ");
    EXPECT_STREQ(field.getEditText(), "My User 2 mix");
    press(field, kVKeyDelete, 5); // "User "
    EXPECT_STREQ(field.getEditText(), "My 2 mix");
    press(field, kVKeyEnd);
    press(field, kVKeyLeft, 4);
    press(field, kVKeyBack, 2); // " 2", the caret sat before " mix"
    EXPECT_STREQ(field.getEditText(), "My mix");
    EXPECT_EQ(field.getCaret(), 2);
    press(field, kVKeyRight, 10); // stops at the end
    EXPECT_EQ(field.getCaret(), 6);
    press(field, kVKeyDelete); // nothing after the caret
    press(field, kVKeyLeft, 10);
    press(field, kVKeyBack); // nothing before it
    EXPECT_STREQ(field.getEditText(), "My mix");
    // Control bytes are not text.
    EXPECT_FALSE(field.onKeyDown("\x01", kVKeyNone));
    EXPECT_FALSE(field.onKeyDown("\x7f", kVKeyNone));
    EXPECT_STREQ(field.getText(), "User 2"); // unchanged until confirmed
    EXPECT_TRUE(listener.tags.empty());

    press(field, kVKeyReturn);
    EXPECT_FALSE(field.isEditing());
    EXPECT_STREQ(field.getText(), "My mix");
    ASSERT_EQ(listener.tags.size(), 1u);
    EXPECT_EQ(listener.tags[0], 1024);
    EXPECT_EQ(listener.texts[0], "My mix");
}

TEST(TextEdit, ListenerHearsOnlyOfConfirmedChanges) {
    RecordingListener listener;
    CTextEdit field(CRect(0, 0, 100, 15), &listener, 7, "Init 3");

    // Escape cancels.
    field.onMouseDown(nullptr, 1, 1, kLButton);
    type(field, "abc");
    press(field, kVKeyEscape);
    EXPECT_FALSE(field.isEditing());
    EXPECT_STREQ(field.getText(), "Init 3");

    // Typed and erased again: the text is what it was, so nothing changed.
    field.onMouseDown(nullptr, 1, 1, kLButton);
    type(field, "xy");
    press(field, kVKeyBack, 2);
    press(field, kVKeyReturn);

    // A right click does not start an edit.
    EXPECT_FALSE(field.onMouseDown(nullptr, 1, 1, kRButton));
    EXPECT_FALSE(field.isEditing());
    EXPECT_TRUE(listener.tags.empty());

    // Losing the focus (a click elsewhere) confirms.
    field.onMouseDown(nullptr, 1, 1, kLButton);
    press(field, kVKeyBack);
    type(field, "4");
    field.looseFocus();
    EXPECT_FALSE(field.isEditing());
    ASSERT_EQ(listener.texts.size(), 1u);
    EXPECT_EQ(listener.texts[0], "Init 4");
    field.looseFocus(); // not editing: nothing more
    EXPECT_EQ(listener.texts.size(), 1u);
}

TEST(TextEdit, TextIsLimitedTo255Bytes) {
    CTextEdit field(CRect(0, 0, 100, 15), nullptr, 0);
    const std::string longText(300, 'n');
    field.setText(longText.c_str());
    EXPECT_EQ(std::string(field.getText()), std::string(255, 'n'));

    field.onMouseDown(nullptr, 1, 1, kLButton);
    type(field, "abc");
    EXPECT_EQ(std::string(field.getEditText()), std::string(255, 'n'));
    press(field, kVKeyBack);
    field.onKeyDown("\xc3\xa9", kVKeyNone); // two bytes do not fit into one free byte
    EXPECT_EQ(std::string(field.getEditText()).size(), 254u);
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
}

TEST(TextEdit, CaretMovesOverWholeCharacters) {
    CTextEdit field(CRect(0, 0, 100, 15), nullptr, 0, "Caf\xc3\xa9 \xe2\x82\xac");
    field.onMouseDown(nullptr, 1, 1, kLButton);
    EXPECT_EQ(field.getCaret(), 9);
    press(field, kVKeyBack); // the euro sign, three bytes
    EXPECT_STREQ(field.getEditText(), "Caf\xc3\xa9 ");
    press(field, kVKeyLeft, 2); // over the space and the two-byte e acute
    EXPECT_EQ(field.getCaret(), 3);
    press(field, kVKeyDelete);
    EXPECT_STREQ(field.getEditText(), "Caf ");
    field.onKeyDown("\xc3\xa8", kVKeyNone);
    EXPECT_STREQ(field.getEditText(), "Caf\xc3\xa8 ");
    press(field, kVKeyRight);
    EXPECT_EQ(field.getCaret(), 6);

    // Starting an edit in the middle of a character puts the caret before it.
    CTextEdit other(CRect(0, 0, 100, 15), nullptr, 0, "\xc3\xa9t\xc3\xa9");
    other.beginEdit(1);
    EXPECT_EQ(other.getCaret(), 0);
}

TEST(TextEdit, SetTextMarksForRedrawOnlyWhenTheTextChanges) {
    CDrawContext context(200, 30);
    CTextEdit field(CRect(0, 0, 100, 15), nullptr, 0, "User 3");
    EXPECT_TRUE(field.isDirty()); // never drawn
    field.draw(&context);
    EXPECT_FALSE(field.isDirty());
    field.setText("User 3");
    EXPECT_FALSE(field.isDirty());
    field.setText("1.47cm");
    EXPECT_TRUE(field.isDirty());
    field.draw(&context);
    // Longer than the field keeps: equal after the cut, so no change.
    const std::string longText(300, 'q');
    field.setText(longText.c_str());
    field.draw(&context);
    field.setText((longText + "more").c_str());
    EXPECT_FALSE(field.isDirty());

    // While editing, the host's text is kept but the edit goes on undisturbed; cancelling
    // shows the host's latest text.
    field.setText("Program A");
    field.onMouseDown(nullptr, 1, 1, kLButton);
    field.draw(&context);
    type(field, "!");
    field.draw(&context);
    field.setText("Program B");
    EXPECT_FALSE(field.isDirty());
    EXPECT_STREQ(field.getEditText(), "Program A!");
    press(field, kVKeyEscape);
    EXPECT_STREQ(field.getText(), "Program B");
    EXPECT_TRUE(field.isDirty());
}

TEST(TextEdit, ClickPlacesTheCaretNearestToThePointer) {
    CDrawContext context(300, 30);
    CTextEdit field(CRect(72, 0, 215, 15), nullptr, 0, "WWWW");
    context.setFont(11);
    const int oneW = context.getStringWidth("W");
    ASSERT_GT(oneW, 4);
    // Text starts three pixels inside the field.
    field.onMouseDown(&context, 72 + 3 + 2 * oneW + 1, 5, kLButton);
    EXPECT_EQ(field.getCaret(), 2);
    field.onMouseDown(&context, 72, 5, kLButton);
    EXPECT_EQ(field.getCaret(), 0);
    field.onMouseDown(&context, 214, 5, kLButton);
    EXPECT_EQ(field.getCaret(), 4);
    EXPECT_TRUE(field.isEditing());
}
