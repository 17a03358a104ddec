// The tag check page against the scripted library: options and request
// masks, Start and Stop, the grid's rows, brackets and cap, the beep for a
// tag without a number. Tags passing a real reader: pages_e2e_test.
#include "check_tag_page.h"
#include "page_sheet.h"

#include "page_test.h"

#include <grid.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

QStringList gridRow(const CDataGrid& grid, int row)
{
    QStringList cells;
    for (int col = 0; col < grid.columnCount(); ++col)
        cells << grid.cellText(row, col);
    return cells;
}

brnItem book(std::uint32_t valid, std::uint32_t locks = 0)
{
    brnItem item{};
    item.validMask = valid;
    item.lockMask = locks;
    item.easState = 1;
    item.itemId = 12345678;
    item.libraryId = 123;
    item.book.referenceFlag = 0;
    item.book.location = 64;   // 2A
    item.book.mediaType = 1;
    return item;
}

class CheckTagPage : public PageTest<CCheckTagPage> {
protected:
    QStringList top() const { return gridRow(*page->grid(), 0); }
};

TEST_F(CheckTagPage, OpensIdleWithMainDataOnly)
{
    open();
    EXPECT_EQ(page->caption(), QStringLiteral("  标签检查  "));
    EXPECT_EQ(page->mainDataOnlyBox()->text(), QStringLiteral("仅读主标识数据"));
    EXPECT_EQ(page->checkEasBox()->text(), QStringLiteral("检查EAS"));
    EXPECT_EQ(page->checkLocksBox()->text(), QStringLiteral("检查加锁状态"));
    EXPECT_TRUE(page->mainDataOnlyBox()->isChecked());
    EXPECT_FALSE(page->checkEasBox()->isChecked());
    EXPECT_FALSE(page->checkLocksBox()->isChecked());
    EXPECT_EQ(page->startButton()->text(), QStringLiteral("开始检查&C"));
    EXPECT_EQ(page->stopButton()->text(), QStringLiteral("停止&S"));
    EXPECT_TRUE(page->startButton()->isEnabled());
    EXPECT_FALSE(page->stopButton()->isEnabled());
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("0"));
    QStringList labels;
    for (const QLabel* label : page->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("标签信息")));

    const CDataGrid& grid = *page->grid();
    EXPECT_FALSE(grid.isEditable());
    EXPECT_EQ(grid.rows(), 0);
    QStringList headings;
    QList<int> widths;
    for (int col = 0; col < grid.columns(); ++col) {
        headings << grid.column(col).heading;
        widths << grid.column(col).width;
        // Each heading is readable whole: its column widens to it ("是否参考文献"
        // was cut to "否参考文").
        const QFontMetrics metrics(grid.horizontalHeader()->font());
        EXPECT_GE(grid.columnWidth(col), std::max(grid.column(col).width, metrics.horizontalAdvance(headings.last())))
            << headings.last().toStdString();
    }
    EXPECT_EQ(headings, (QStringList{"类型", "EAS", "条码号", "馆标识", "是否参考文献", "馆藏地点", "文献类型"}));
    EXPECT_EQ(widths, (QList<int>{50, 50, 80, 80, 50, 50, 50}));
    EXPECT_EQ(grid.font().pixelSize(), 12);
}

TEST_F(CheckTagPage, TheOptionsMakeTheRequestMask)
{
    const struct {
        bool mainOnly, eas, locks;
        int mask;
    } cases[] = {{true, false, false, 0x14},  {false, false, false, 0x1C}, {true, true, false, 0x15},
                 {true, false, true, 0x16},   {false, true, true, 0x1F}};
    open();
    for (const auto& c : cases) {
        page->mainDataOnlyBox()->setChecked(c.mainOnly);
        page->checkEasBox()->setChecked(c.eas);
        page->checkLocksBox()->setChecked(c.locks);
        library.calls.clear();
        page->stopButton()->click();
        page->startButton()->click();
        EXPECT_EQ(library.calls.last(), QStringLiteral("brnStartReadingItems #1 %1").arg(c.mask));
    }
}

TEST_F(CheckTagPage, StartAndStopSwapTheButtons)
{
    open();
    page->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    // The shortcuts press the buttons (a pressed-looking moment later).
    QTest::keyClick(page.get(), Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->isReading(); }, 5000));
    EXPECT_EQ(library.calls, QStringList{"brnStartReadingItems #1 20"});
    EXPECT_FALSE(page->startButton()->isEnabled());
    EXPECT_TRUE(page->stopButton()->isEnabled());

    QTest::keyClick(page.get(), Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->isReading(); }, 5000));
    EXPECT_EQ(library.calls.last(), QStringLiteral("brnStopReadingItems #1"));
    EXPECT_TRUE(page->startButton()->isEnabled());
    EXPECT_FALSE(page->stopButton()->isEnabled());

    // Tags after the stop are not listed.
    report(book(0x14));
    EXPECT_EQ(page->grid()->rows(), 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CheckTagPage, AFailedStartIsReportedAndTheButtonsSwapAllTheSame)
{
    library.results["brnStartReadingItems"] = -3;
    open();
    page->startButton()->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnStartReadingItems()"));
    EXPECT_FALSE(page->isReading());
    EXPECT_FALSE(page->startButton()->isEnabled());
    EXPECT_TRUE(page->stopButton()->isEnabled());

    library.results["brnStopReadingItems"] = -5;
    ui.reset();
    page->stopButton()->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnStopReadingItems()"));
    EXPECT_TRUE(page->startButton()->isEnabled());
}

TEST_F(CheckTagPage, RowRules)
{
    brnItem card{};
    card.validMask = 0x1D;
    card.itemType = card.typeCode = 1;
    card.easState = 1;
    card.itemId = 123;
    card.libraryId = 1234567;
    card.patron.patronType = 3;
    brnItem shelf{};
    shelf.validMask = 0x04;   // the number alone
    shelf.itemType = shelf.typeCode = 2;
    shelf.itemId = 9;
    const struct {
        const char* name;
        brnItem item;
        QStringList row;
    } cases[] = {
        {"main data only", book(0x14), {"图书", "", "00012345678", "000123", "", "", ""}},
        {"with block 2", book(0x1C), {"图书", "", "00012345678", "000123", "否", "2A", "1"}},
        {"with EAS", book(0x1D), {"图书", "ON", "00012345678", "000123", "否", "2A", "1"}},
        {"locks asked, number and library locked", book(0x1E, 0x14),
         {"图书", "", "[00012345678]", "[000123]", "否", "2A", "1"}},
        {"locks asked, block 2 locked", book(0x1E, 0x08),
         {"图书", "", "00012345678", "000123", "[否]", "[2A]", "[1]"}},
        {"locks not asked", book(0x1C, 0x1C), {"图书", "", "00012345678", "000123", "否", "2A", "1"}},
        {"a patron card", card, {"读者证", "ON", "00000000123", "1234567", "", "", ""}},
        {"a shelf tag", shelf, {"---", "", "00000000009", "", "", "", ""}},
    };
    open();
    page->startButton()->click();
    for (const auto& c : cases) {
        report(c.item);
        EXPECT_EQ(top(), c.row) << c.name;
    }
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_EQ(page->counterLabel()->text(), QString::number(std::size(cases)));
}

TEST_F(CheckTagPage, AColumnTooNarrowForItsValueWidens)
{
    open();
    page->startButton()->click();
    brnItem card{};
    card.validMask = 0x16;
    card.lockMask = 0x14;
    card.itemType = card.typeCode = 1;
    card.itemId = 2026000000101;
    report(card);
    const QFontMetrics metrics(page->grid()->font());
    const int number = page->grid()->columnWidth(2);
    EXPECT_GT(number, metrics.horizontalAdvance(QStringLiteral("[2026000000101]")));
    EXPECT_GE(number, 80);
    // Narrow values leave the columns as they are.
    report(book(0x14));
    EXPECT_EQ(page->grid()->columnWidth(2), number);
    EXPECT_EQ(page->grid()->columnWidth(0), 50);
}

TEST_F(CheckTagPage, ATagWithoutANumberBeeps)
{
    open();
    page->startButton()->click();
    brnItem empty{};
    empty.validMask = 0x14;
    report(empty);
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(top(), (QStringList{"图书", "", "00000000000", "000000", "", "", ""}));
    report(book(0x14));
    EXPECT_EQ(ui.beeps, 1);
}

TEST_F(CheckTagPage, TheGridKeepsTheNewest101Rows)
{
    open();
    page->startButton()->click();
    brnItem item = book(0x14);
    for (int i = 1; i <= 101; ++i) {
        item.itemId = static_cast<std::uint64_t>(i);
        report(item);
    }
    ASSERT_EQ(page->grid()->rows(), 101);
    EXPECT_EQ(page->grid()->cellText(100, 2), QStringLiteral("00000000001"));

    item.itemId = 102;
    report(item);
    EXPECT_EQ(page->grid()->rows(), 101);
    EXPECT_EQ(page->grid()->cellText(0, 2), QStringLiteral("00000000102"));
    EXPECT_EQ(page->grid()->cellText(100, 2), QStringLiteral("00000000002"));
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("102"));
    EXPECT_EQ(page->reportedCount(), 102);
}

TEST_F(CheckTagPage, StartWhileReadingStartsOverOnAnEmptyGrid)
{
    open();
    page->startButton()->click();
    report(book(0x14));
    report(book(0x14));
    library.calls.clear();
    page->start();
    EXPECT_EQ(library.calls, (QStringList{"brnStopReadingItems #1", "brnStartReadingItems #1 20"}));
    EXPECT_EQ(page->grid()->rows(), 0);
    EXPECT_EQ(page->reportedCount(), 0);
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("0"));
    EXPECT_TRUE(page->isReading());
}

TEST_F(CheckTagPage, LeavingTheFrontEndsReadingAndLeavesTheButtons)
{
    CPageSheet sheet;
    auto* check = new CCheckTagPage;
    sheet.addPage(check);
    sheet.addPage(new CTaggingPage(QStringLiteral("other")));
    sheet.show();
    check->setReaderHandle(kScriptedReader);
    check->startButton()->click();
    ASSERT_TRUE(check->isReading());
    library.calls.clear();
    sheet.setCurrentPage(1);
    EXPECT_EQ(library.calls, QStringList{"brnStopReadingItems #1"});
    EXPECT_FALSE(check->isReading());
    EXPECT_FALSE(check->startButton()->isEnabled());
    EXPECT_TRUE(check->stopButton()->isEnabled());
}

} // namespace
