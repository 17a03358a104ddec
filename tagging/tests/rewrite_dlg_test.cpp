// The rewrite dialog against the scripted library: its controls and their
// enabling, the item built for each choice of ticked parts, its messages.
#include "holdings.h"
#include "rewrite_tag_dlg.h"

#include "recording_ui.h"
#include "scripted_library.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class RewriteTagDlg : public GuiTest {
protected:
    ScriptedLibrary library;
    CRewriteTagDlg dlg{reinterpret_cast<ReaderHandle>(1)};
};

TEST_F(RewriteTagDlg, OpensWithFirstEntriesAndValueControlsOff)
{
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("改写标签"));
    EXPECT_EQ(dlg.locationList()->currentText(), QStringLiteral("1 图书借阅室"));
    EXPECT_EQ(dlg.mediaTypeList()->currentText(), QStringLiteral("1 图书"));
    EXPECT_EQ(dlg.easList()->currentText(), QStringLiteral("ON"));
    EXPECT_EQ(dlg.easList()->count(), 2);
    EXPECT_EQ(dlg.easList()->itemText(1), QStringLiteral("OFF"));
    EXPECT_EQ(dlg.startButton()->text(), QStringLiteral("开始写&B"));
    EXPECT_EQ(dlg.exitButton()->text(), QStringLiteral("退出&X"));
    for (QCheckBox* box : {dlg.writeLibraryBox(), dlg.lockLibraryBox(), dlg.writeHoldingsBox(), dlg.writeEasBox(),
                           dlg.referenceBox()}) {
        EXPECT_FALSE(box->isChecked());
    }
    dlg.show();
    EXPECT_FALSE(dlg.referenceBox()->isVisible());
    for (QWidget* w : std::initializer_list<QWidget*>{dlg.libraryIdField(), dlg.referenceBox(), dlg.mediaTypeList(),
                                                      dlg.locationList(), dlg.easList()})
        EXPECT_FALSE(w->isEnabled());
    EXPECT_TRUE(dlg.lockLibraryBox()->isEnabled());
}

TEST_F(RewriteTagDlg, EachWriteBoxEnablesItsGroup)
{
    const struct {
        QCheckBox* box;
        std::vector<QWidget*> group;
    } groups[] = {
        {dlg.writeLibraryBox(), {dlg.libraryIdField()}},
        {dlg.writeHoldingsBox(), {dlg.referenceBox(), dlg.mediaTypeList(), dlg.locationList()}},
        {dlg.writeEasBox(), {dlg.easList()}},
    };
    for (const auto& g : groups) {
        QTest::mouseClick(g.box, Qt::LeftButton, {}, QPoint(5, g.box->height() / 2));
        g.box->setChecked(true);
        for (QWidget* w : g.group)
            EXPECT_TRUE(w->isEnabled()) << g.box->parentWidget()->objectName().toStdString();
        g.box->setChecked(false);
        for (QWidget* w : g.group)
            EXPECT_FALSE(w->isEnabled());
    }
    dlg.lockLibraryBox()->setChecked(true);
    EXPECT_FALSE(dlg.libraryIdField()->isEnabled());
}

TEST_F(RewriteTagDlg, NothingTickedShowsTheMessageAndMakesNoCall)
{
    dlg.startButton()->click();
    EXPECT_TRUE(library.calls.isEmpty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("Tagging"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("未选择更改项目!"));
    EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Warning);
}

TEST_F(RewriteTagDlg, TheItemCarriesExactlyTheTickedParts)
{
    struct Case {
        const char* name;
        std::function<void()> tick;
        std::uint32_t validMask, lockMask;
        std::function<void(const brnItem&)> check;
    };
    const Case cases[] = {
        {"lock only", [&] { dlg.lockLibraryBox()->setChecked(true); }, 0x02, 0x10, [](const brnItem&) {}},
        {"EAS off",
         [&] {
             dlg.writeEasBox()->setChecked(true);
             dlg.easList()->setCurrentIndex(1);
         },
         0x01, 0, [](const brnItem& i) { EXPECT_EQ(i.easState, 0); }},
        {"EAS on", [&] { dlg.writeEasBox()->setChecked(true); }, 0x01, 0,
         [](const brnItem& i) { EXPECT_EQ(i.easState, 1); }},
        {"empty library identifier", [&] { dlg.writeLibraryBox()->setChecked(true); }, 0x10, 0,
         [](const brnItem& i) { EXPECT_EQ(i.libraryId, 0u); }},
        {"library identifier",
         [&] {
             dlg.writeLibraryBox()->setChecked(true);
             dlg.libraryIdField()->setText(QStringLiteral("44120"));
         },
         0x10, 0, [](const brnItem& i) { EXPECT_EQ(i.libraryId, 44120u); }},
        {"holdings",
         [&] {
             dlg.writeHoldingsBox()->setChecked(true);
             dlg.mediaTypeList()->setCurrentIndex(2);
             dlg.locationList()->setCurrentIndex(1);
         },
         0x08, 0,
         [](const brnItem& i) {
             EXPECT_EQ(i.book.referenceFlag, 0u);
             EXPECT_EQ(i.book.mediaType, 3u);
             EXPECT_EQ(i.book.location, 64u);
         }},
        {"everything",
         [&] {
             for (QCheckBox* box : {dlg.writeLibraryBox(), dlg.lockLibraryBox(), dlg.writeHoldingsBox(),
                                    dlg.writeEasBox()})
                 box->setChecked(true);
         },
         0x1B, 0x10, [](const brnItem&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (QCheckBox* box :
             {dlg.writeLibraryBox(), dlg.lockLibraryBox(), dlg.writeHoldingsBox(), dlg.writeEasBox()})
            box->setChecked(false);
        dlg.easList()->setCurrentIndex(0);
        dlg.libraryIdField()->clear();
        c.tick();
        library.written.clear();
        ui.reset();
        dlg.startButton()->click();
        ASSERT_EQ(library.written.size(), 1u);
        const brnItem& item = library.written[0];
        EXPECT_EQ(item.validMask, c.validMask);
        EXPECT_EQ(item.lockMask, c.lockMask);
        EXPECT_EQ(item.blockSize, 4);
        EXPECT_EQ(item.itemType, 0);
        EXPECT_EQ(item.itemId, 0u);
        c.check(item);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, QStringLiteral("Tagging"));
        EXPECT_EQ(ui.messages[0].text, QStringLiteral("改写标签成功！"));
    }
}

TEST_F(RewriteTagDlg, AFailureShowsTheLibrarysTextAndTheDialogKeepsItsValues)
{
    library.results["brnWriteItems"] = -14;
    library.errorTexts[-14] = "\xCE\xDE\xB1\xEA\xC7\xA9";   // 无标签
    dlg.writeLibraryBox()->setChecked(true);
    dlg.libraryIdField()->setText(QStringLiteral("7"));
    dlg.startButton()->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnWriteItems()"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("无标签\n") + failureAdvice(-14));
    EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Error);
    EXPECT_EQ(library.calls, (QStringList{"brnInventory #1", "brnWriteItems #1 0x10"}));
    EXPECT_TRUE(dlg.writeLibraryBox()->isChecked());
    EXPECT_EQ(dlg.libraryIdField()->text(), QStringLiteral("7"));

    // Two tags on the reader: neither is written.
    library.results.clear();
    library.tagsInField = 2;
    library.calls.clear();
    ui.reset();
    dlg.startButton()->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnInventory()"));
    EXPECT_EQ(library.calls, QStringList{"brnInventory #1"});
}

TEST_F(RewriteTagDlg, AnotherLibrarysTagIsRewrittenOnlyWhenStaffSaySo)
{
    library.tagMemory = ScriptedLibrary::standardTagMemory();
    // The EAS bit alone leaves the tag's data as it is.
    dlg.writeEasBox()->setChecked(true);
    dlg.startButton()->click();
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_TRUE(library.memoryCalls.isEmpty());
    ASSERT_EQ(library.written.size(), 1u);

    // The library identifier would spoil it: No, nothing written.
    dlg.writeLibraryBox()->setChecked(true);
    ui.reset();
    dlg.startButton()->click();
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(library.written.size(), 1u);
}

} // namespace
