// The patron card page against the scripted library: what it opens with, the
// card it writes, its rows and counter, settings and close. What the card
// does to a tag is tested end to end (pages_e2e_test).
#include "parameter_dlg.h"
#include "tagging_card_page.h"

#include "page_test.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using CardPage = PageTest<CTaggingCardPage>;

TEST_F(CardPage, OpensWithTheStoredChoicesAndTodaysDates)
{
    CSettings settings;
    settings.setPatronType(2);
    settings.setPatronCardStatus(1);
    settings.setSetLock(true);
    const QDateTime before = QDateTime::currentDateTime();
    open();
    const QDateTime after = QDateTime::currentDateTime();

    EXPECT_EQ(page->caption(), QStringLiteral("  读者证加工  "));
    EXPECT_EQ(comboEntries(page->cardStatusList()), (QStringList{"1  有效", "2  验证", "3  挂失"}));
    EXPECT_EQ(comboEntries(page->patronTypeList()), (QStringList{"1  本馆职工", "2  VIP", "3  一般读者"}));
    EXPECT_EQ(page->patronTypeList()->currentIndex(), 2);
    EXPECT_EQ(page->cardStatusList()->currentIndex(), 1);
    EXPECT_TRUE(page->patronTypeList()->isEnabled());
    EXPECT_TRUE(page->cardStatusList()->isEnabled());
    EXPECT_TRUE(page->registerDateEdit()->isEnabled());
    // Registered today, valid for 365 days.
    EXPECT_TRUE(page->registerDateEdit()->date() == before.date() || page->registerDateEdit()->date() == after.date());
    EXPECT_TRUE(page->validDateEdit()->date() == before.addDays(365).date()
                || page->validDateEdit()->date() == after.addDays(365).date());
    EXPECT_EQ(page->libraryIdField()->text(), QStringLiteral("123"));
    EXPECT_TRUE(page->lockBox()->isChecked());
    EXPECT_FALSE(page->lockBox()->isEnabled());
    // No EAS box, no holdings, no rewrite: the lock box is the only box.
    EXPECT_EQ(page->findChildren<QCheckBox*>().size(), 1);
    EXPECT_EQ(page->findChildren<QPushButton*>().size(), 3);

    QStringList headings;
    QList<int> widths;
    for (int col = 0; col < page->tagList()->columnCount(); ++col) {
        headings << page->tagList()->headerItem()->text(col);
        widths << page->tagList()->columnWidth(col);
    }
    EXPECT_EQ(headings, (QStringList{"类型", "EAS", "证号", "馆标识", "读者类型", "证状态", "登记日期", "有效日期"}));
    EXPECT_EQ(widths, (QList<int>{80, 40, 120, 120, 80, 80, 120, 120}));

    // Negative stored choices select the first entries.
    CSettings().setPatronType(-1);
    CSettings().setPatronCardStatus(-3);
    open();
    EXPECT_EQ(page->patronTypeList()->currentIndex(), 0);
    EXPECT_EQ(page->cardStatusList()->currentIndex(), 0);

    // So do choices past the end of the lists, and the card gets their values.
    CSettings().setPatronType(9);
    CSettings().setPatronCardStatus(8);
    open();
    scan(QStringLiteral("5"));
    ASSERT_EQ(library.written.size(), 1u);
    EXPECT_EQ(library.written[0].patron.patronType, 1u);
    EXPECT_EQ(library.written[0].patron.cardStatus, 1u);
}

TEST_F(CardPage, EnterWritesThePatronCardWithEasOff)
{
    for (const bool lock : {false, true}) {
        SCOPED_TRACE(lock ? "locked" : "not locked");
        CSettings().setSetLock(lock);
        library.written.clear();
        open();
        page->patronTypeList()->setCurrentIndex(2);   // "3  一般读者"
        page->cardStatusList()->setCurrentIndex(1);   // "2  验证"
        page->registerDateEdit()->setDate(QDate(2026, 12, 6));
        // Not checked against the registration date.
        page->validDateEdit()->setDate(QDate(2026, 1, 31));
        scan(QStringLiteral("123"));

        ASSERT_EQ(library.written.size(), 1u);
        const brnItem& item = library.written[0];
        EXPECT_EQ(item.validMask, lock ? 0x7Fu : 0x7Du);
        EXPECT_EQ(item.lockMask, lock ? 0x14u : 0u);
        EXPECT_EQ(item.blockSize, 4);
        EXPECT_EQ(item.itemType, 1);
        EXPECT_EQ(item.easState, 0);
        EXPECT_EQ(item.formatVersion, 1u);
        EXPECT_EQ(item.typeCode, 1u);
        EXPECT_EQ(item.itemId, 123u);
        EXPECT_EQ(item.libraryId, 123u);
        EXPECT_EQ(item.patron.registerDay, 6u);
        EXPECT_EQ(item.patron.registerMonth, 12u);
        EXPECT_EQ(item.patron.registerYear, 2026u);
        EXPECT_EQ(item.patron.patronType, 3u);
        EXPECT_EQ(item.patron.cardStatus, 2u);
        EXPECT_EQ(item.patron.validDay, 31u);
        EXPECT_EQ(item.patron.validMonth, 1u);
        EXPECT_EQ(item.patron.validYear, 2026u);
        EXPECT_EQ(item.patron.patronAux, 0u);
        EXPECT_EQ(item.extraWord, 0u);
        EXPECT_EQ(item.extraLong, 0u);

        EXPECT_EQ(row(0), (QStringList{"读者证", "OFF", lock ? "[0000000000123]" : "0000000000123",
                                       lock ? "[000123]" : "000123", "3", "2", "6/12/2026", "31/1/2026"}));
        EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("1"));
        EXPECT_TRUE(ui.messages.empty());
        page->closing();
    }
    // The item log keeps the number with 11 digits.
    EXPECT_EQ(file("20261206.log"), QByteArray("00000000123   2026-12-06 14:30:05\n"
                                               "00000000123   2026-12-06 14:30:05\n"));
}

TEST_F(CardPage, ComingToTheFrontPutsTheFocusInTheNumberField)
{
    open();
    page->patronTypeList()->setFocus();
    page->activated();
    EXPECT_TRUE(page->focusWidget() == page->barcodeField());
}

TEST_F(CardPage, TheCardDatesCoverOnlyTheYearsACardCanHold)
{
    open();
    EXPECT_EQ(page->registerDateEdit()->minimumDate(), QDate(1970, 1, 1));
    EXPECT_EQ(page->validDateEdit()->maximumDate(), QDate(2993, 12, 31));
    page->registerDateEdit()->setDate(QDate(1960, 5, 5));
    EXPECT_EQ(page->registerDateEdit()->date(), QDate(1970, 1, 1));
}

TEST_F(CardPage, WhileReadingTheCounterCountsTagsAfterAWriteCards)
{
    open();
    scan(QStringLiteral("1001"));
    scan(QStringLiteral("1002"));
    ASSERT_EQ(page->counterLabel()->text(), QStringLiteral("2"));

    library.calls.clear();
    page->readButton()->click();
    EXPECT_EQ(library.calls, QStringList{"brnStartReadingItems #1 61"});
    brnItem card{};
    card.validMask = BRN_ITEM_IDENTITY;
    card.itemType = card.typeCode = 1;
    for (int i = 1; i <= 3; ++i) {
        card.itemId = static_cast<std::uint64_t>(i);
        report(card);
        EXPECT_EQ(page->counterLabel()->text(), QString::number(i));
    }
    // A write stops reading; its row shows the tags read plus one for a
    // moment, then the counter says how many cards were written.
    scan(QStringLiteral("1003"));
    EXPECT_FALSE(page->isReading());
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("3"));
    EXPECT_EQ(page->writtenCount(), 3);
}

TEST_F(CardPage, RowRules)
{
    auto card = [](std::uint32_t valid, std::uint32_t locks) {
        brnItem item{};
        item.validMask = valid;
        item.lockMask = locks;
        item.itemType = item.typeCode = 1;
        item.easState = 1;
        item.itemId = 123;
        item.libraryId = 44120;
        item.patron.patronType = 2;
        item.patron.cardStatus = 3;
        item.patron.registerDay = 6;
        item.patron.registerMonth = 12;
        item.patron.registerYear = 2026;
        item.patron.validDay = 6;
        item.patron.validMonth = 12;
        item.patron.validYear = 2027;
        return item;
    };
    brnItem book{};
    book.validMask = 0x7D;
    book.easState = 1;
    book.itemId = 42;
    book.libraryId = 7;
    brnItem shelf = book;
    shelf.itemType = shelf.typeCode = 2;
    shelf.validMask = 0x15;
    const struct {
        const char* name;
        brnItem item;
        QStringList row;
    } cases[] = {
        {"card, all read", card(0x3D, 0),
         {"读者证", "ON", "0000000000123", "044120", "2", "3", "6/12/2026", "6/12/2027"}},
        {"card, number and library locked", card(0x3F, 0x14),
         {"读者证", "ON", "[0000000000123]", "[044120]", "2", "3", "6/12/2026", "6/12/2027"}},
        {"card, both date blocks locked", card(0x3F, 0x28),
         {"读者证", "ON", "0000000000123", "044120", "[2]", "[3]", "[6/12/2026]", "[6/12/2027]"}},
        {"locks not known", card(0x3D, 0x3C),
         {"读者证", "ON", "0000000000123", "044120", "2", "3", "6/12/2026", "6/12/2027"}},
        {"card, neither date block", card(0x14, 0),
         {"读者证", "---", "0000000000123", "044120", "----", "---------", "---------", "---------"}},
        {"card, registration only", card(0x1C, 0),
         {"读者证", "---", "0000000000123", "044120", "2", "3", "6/12/2026", "---------"}},
        {"a book", book, {"图书", "ON", "00000000042", "000007", "", "", "", ""}},
        {"a shelf tag", shelf, {"---", "ON", "00000000042", "000007", "", "", "", ""}},
    };
    open();
    ASSERT_TRUE(page->startReading(CTaggingCardPage::kReadMask));
    for (const auto& c : cases) {
        report(c.item);
        EXPECT_EQ(row(0), c.row) << c.name;
    }
}

TEST_F(CardPage, SettingsOkTakesLibraryAndLock)
{
    open();
    answerSettingsDialog([](CParameterDlg& dlg) {
        dlg.libraryIdField()->setText(QStringLiteral("654321"));
        dlg.setLockBox()->setChecked(true);
    });
    CSettings().setVerifyWrite(true);
    page->settingsButton()->click();
    EXPECT_EQ(page->libraryIdField()->text(), QStringLiteral("654321"));
    EXPECT_TRUE(page->lockBox()->isChecked());
    EXPECT_TRUE(page->verify());
    scan(QStringLiteral("5"));
    ASSERT_EQ(library.written.size(), 1u);
    EXPECT_EQ(library.written[0].libraryId, 654321u);
    EXPECT_EQ(library.written[0].validMask, 0x7Fu);
}

TEST_F(CardPage, CloseStoresTheChoicesAndAppendsTheWorkload)
{
    open();
    scan(QStringLiteral("77"));
    page->patronTypeList()->setCurrentIndex(1);
    page->cardStatusList()->setCurrentIndex(2);
    ASSERT_TRUE(page->startReading(CTaggingCardPage::kReadMask));
    now = now.addSecs(60);
    library.calls.clear();
    page->closing();
    EXPECT_EQ(CSettings().patronType(), 1);
    EXPECT_EQ(CSettings().patronCardStatus(), 2);
    EXPECT_EQ(file("workload.txt"), QByteArray("1   [ 2026-12-06 14:30:05 ] -- [ 2026-12-06 14:31:05 ]\n"));
    EXPECT_EQ(library.calls, QStringList{"brnStopReadingItems #1"});
    EXPECT_FALSE(page->workLogs().isOpen());
}

} // namespace
