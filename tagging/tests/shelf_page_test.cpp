// The shelf tag page against the scripted library: the shelf tag it writes
// (EAS only on request, never locked), its 10-digit rows and log lines, the
// list that is never started over, the library identifier of its opening.
#include "parameter_dlg.h"
#include "tagging_shelf_page.h"

#include "page_test.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using ShelfPage = PageTest<CTaggingShelfPage>;

TEST_F(ShelfPage, OpensWithTheEasBoxFreeAndTheLockBoxOff)
{
    CSettings().setSetLock(true);
    open();
    EXPECT_EQ(page->caption(), QStringLiteral("层架标加工"));
    EXPECT_EQ(page->easBox()->text(), QStringLiteral("标签带EAS"));
    EXPECT_TRUE(page->easBox()->isEnabled());
    EXPECT_FALSE(page->easBox()->isChecked());
    EXPECT_FALSE(page->lockBox()->isChecked());
    EXPECT_FALSE(page->lockBox()->isEnabled());
    QStringList headings;
    for (int col = 0; col < page->tagList()->columnCount(); ++col)
        headings << page->tagList()->headerItem()->text(col);
    EXPECT_EQ(headings, (QStringList{"类型", "EAS", "条码号", "馆标识"}));
    EXPECT_EQ(page->findChildren<QPushButton*>().size(), 3);
}

TEST_F(ShelfPage, EnterWritesTheShelfTagWithEasOnlyWhenAsked)
{
    CSettings().setSetLock(true);   // shelf tags are never locked all the same
    open();
    scan(QStringLiteral("42"));
    page->easBox()->setChecked(true);
    scan(QStringLiteral("43"));

    ASSERT_EQ(library.written.size(), 2u);
    EXPECT_EQ(library.calls,
              (QStringList{"brnInventory #1", "brnWriteItems #1 0x14", "brnInventory #1", "brnWriteItems #1 0x15"}));
    for (const brnItem& item : library.written) {
        EXPECT_EQ(item.blockSize, 4);
        EXPECT_EQ(item.itemType, 2);
        EXPECT_EQ(item.formatVersion, 1u);
        EXPECT_EQ(item.typeCode, 2u);
        EXPECT_EQ(item.libraryId, 123u);
        EXPECT_EQ(item.lockMask, 0u);
    }
    EXPECT_EQ(library.written[0].itemId, 42u);
    EXPECT_EQ(library.written[1].easState, 1);

    EXPECT_EQ(row(0), (QStringList{"架标", "ON", "0000000043", "000123"}));
    EXPECT_EQ(row(1), (QStringList{"架标", "---", "0000000042", "000123"}));
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(file("20261206.log"), QByteArray("0000000042   2026-12-06 14:30:05\n"
                                               "0000000043   2026-12-06 14:30:05\n"));
    page->closing();
    EXPECT_EQ(file("workload.txt"), QByteArray("2   [ 2026-12-06 14:30:05 ] -- [ 2026-12-06 14:30:05 ]\n"));
}

TEST_F(ShelfPage, TheListKeepsEveryShelfTagWritten)
{
    open();
    for (int i = 1; i <= 150; ++i)
        scan(QString::number(i));
    EXPECT_EQ(page->tagList()->rowCount(), 150);
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("150"));
    EXPECT_EQ(page->tagList()->cellText(0, 2), QStringLiteral("0000000150"));
    EXPECT_EQ(page->tagList()->cellText(149, 2), QStringLiteral("0000000001"));
}

TEST_F(ShelfPage, TheLibraryIdentifierOfTheOpeningStaysUntilTheNextStart)
{
    open();
    answerSettingsDialog([](CParameterDlg& dlg) {
        dlg.libraryIdField()->setText(QStringLiteral("999"));
        dlg.setLockBox()->setChecked(true);
    });
    CSettings().setVerifyWrite(true);
    page->settingsButton()->click();
    ASSERT_EQ(CSettings().libraryId(), QStringLiteral("999"));
    EXPECT_EQ(page->libraryIdField()->text(), QStringLiteral("123"));
    EXPECT_FALSE(page->lockBox()->isChecked());
    EXPECT_TRUE(page->verify());
    scan(QStringLiteral("8"));
    ASSERT_EQ(library.written.size(), 1u);
    EXPECT_EQ(library.written[0].libraryId, 123u);
    EXPECT_EQ(library.written[0].validMask, 0x14u);
    EXPECT_EQ(library.calls.last(), QStringLiteral("brnReadSingleItem #1 10 4 4"));

    open();   // the next start
    EXPECT_EQ(page->libraryIdField()->text(), QStringLiteral("999"));
}

TEST_F(ShelfPage, ReadingListsEveryKindWithTenDigits)
{
    open();
    page->readButton()->click();
    EXPECT_EQ(library.calls, QStringList{"brnStartReadingItems #1 21"});
    brnItem book{};
    book.validMask = 0x15;
    book.easState = 1;
    book.itemId = 12345678;
    book.libraryId = 1234567;
    brnItem card = book;
    card.itemType = card.typeCode = 1;
    card.easState = 0;
    brnItem strange = book;
    strange.itemType = strange.typeCode = 6;
    strange.validMask = 0x04;
    brnItem locked = book;
    locked.validMask |= BRN_ITEM_LOCKS;
    locked.lockMask = 0x14;
    const struct {
        const char* name;
        brnItem item;
        QStringList row;
    } cases[] = {
        {"a book", book, {"图书", "ON", "0012345678", "1234567"}},
        {"a patron card", card, {"读者证", "OFF", "0012345678", "1234567"}},
        {"another type", strange, {"---", "---", "0012345678", "--------"}},
        {"locks known", locked, {"图书", "ON", "[0012345678]", "[1234567]"}},
    };
    for (const auto& c : cases) {
        report(c.item);
        EXPECT_EQ(row(0), c.row) << c.name;
    }
    EXPECT_EQ(page->readCount(), 4);
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("0"));   // counts shelf tags written
}

TEST_F(ShelfPage, CloseStoresNoSettings)
{
    CSettings().setLocation(QStringLiteral("x"));
    CSettings().setPatronType(2);
    open();
    scan(QStringLiteral("1"));
    page->closing();
    EXPECT_EQ(CSettings().location(), QStringLiteral("x"));
    EXPECT_EQ(CSettings().patronType(), 2);
    EXPECT_EQ(file("workload.txt"), QByteArray("1   [ 2026-12-06 14:30:05 ] -- [ 2026-12-06 14:30:05 ]\n"));
}

} // namespace
