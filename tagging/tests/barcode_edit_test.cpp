#include "barcode_edit.h"
#include "settings.h"

#include "recording_ui.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class BarcodeEdit : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        CSettings().setBarPar(QStringLiteral("10:8:1:0::\n"));
        QObject::connect(&edit, &CBarcodeEdit::barcodeEntered, [this] { ++entered; });
        edit.show();
    }

    void type(const QString& text) { QTest::keyClicks(&edit, text); }
    void pressEnter() { QTest::keyClick(&edit, Qt::Key_Return); }

    CBarcodeEdit edit;
    int entered = 0;
};

TEST_F(BarcodeEdit, EnterWithOneCharacterOrNonePassesOnUnchecked)
{
    pressEnter();
    EXPECT_EQ(entered, 1);
    edit.setText(QStringLiteral("7"));
    QTest::keyClick(&edit, Qt::Key_Enter);
    EXPECT_EQ(entered, 2);
    EXPECT_EQ(edit.text(), QStringLiteral("7"));
    EXPECT_FALSE(edit.checker().isLoaded());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(BarcodeEdit, StructuresLoadWithTheFirstTypedCharacter)
{
    EXPECT_FALSE(edit.checker().isLoaded());
    type(QStringLiteral("0"));
    EXPECT_TRUE(edit.checker().isLoaded());
}

TEST_F(BarcodeEdit, AcceptedBarcodeIsCutToItsSignificantPartAndPassesOn)
{
    type(QStringLiteral("0123456789"));
    pressEnter();
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(edit.text(), QStringLiteral("012345678"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(BarcodeEdit, RejectedBarcodeShowsTheMessageAndStaysSelected)
{
    type(QStringLiteral("1123456789"));
    QString textWhileShown;
    ui.onMessage = [&](const RecordedMessage&) { textWhileShown = edit.text(); };
    pressEnter();
    EXPECT_EQ(entered, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("KELDA 消息"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("前缀错误"));
    EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Information);
    EXPECT_EQ(textWhileShown, QStringLiteral("1123456789"));
    EXPECT_EQ(edit.selectedText(), QStringLiteral("1123456789"));

    // The next scan replaces the selected text.
    type(QStringLiteral("0123456789"));
    EXPECT_EQ(edit.text(), QStringLiteral("0123456789"));
}

TEST_F(BarcodeEdit, RejectedBarcodeWithAResultKeepsTheSignificantPartSelected)
{
    CSettings().setBarPar(QStringLiteral("10:8:1:1::\n10:8:1:0::\n"));
    type(QStringLiteral("0123456789"));
    pressEnter();
    EXPECT_EQ(entered, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("前缀错误"));
    EXPECT_EQ(edit.text(), QStringLiteral("012345678"));
    EXPECT_EQ(edit.selectedText(), QStringLiteral("012345678"));
}

TEST_F(BarcodeEdit, WrongLengthIsRejectedWithTheBarcodeKept)
{
    type(QStringLiteral("012345678901"));
    pressEnter();
    EXPECT_EQ(entered, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral(" 无效的条码长度!"));
    EXPECT_EQ(edit.text(), QStringLiteral("012345678901"));
}

TEST_F(BarcodeEdit, TakesAtMost149Characters)
{
    CSettings().setBarPar(QString());
    type(QString(160, QLatin1Char('8')));
    EXPECT_EQ(edit.text().size(), 149);
    edit.setText(QString(200, QLatin1Char('9')));
    EXPECT_EQ(edit.text().size(), 149);
    pressEnter();
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(edit.text(), QString(149, QLatin1Char('9')));
}

TEST_F(BarcodeEdit, DisabledFieldIgnoresEnter)
{
    type(QStringLiteral("1123456789"));
    edit.setEnabled(false);
    pressEnter();
    EXPECT_EQ(entered, 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(BarcodeEdit, PasteWorksByShortcutButNotFromTheMenu)
{
    QGuiApplication::clipboard()->setText(QString(200, QLatin1Char('5')));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QString(149, QLatin1Char('5')));

    // The standard menu of a line field has a Paste entry; this field's has none.
    auto hasPaste = [](QMenu& menu) {
        int found = 0;
        for (QAction* a : menu.actions())
            found += CBarcodeEdit::isPasteAction(a);
        return found == 1;
    };
    QLineEdit plain;
    std::unique_ptr<QMenu> standard(plain.createStandardContextMenu());
    ASSERT_TRUE(hasPaste(*standard));
    EXPECT_FALSE(hasPaste(*edit.createFieldMenu()));
    EXPECT_FALSE(edit.acceptDrops());
}

} // namespace
