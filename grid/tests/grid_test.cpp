#include "grid.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kNoCheck = QStringLiteral("0 无校验码");
const QString kUnchecked = QStringLiteral("1 有但不校验");

// Four columns: two typed, a drop-down, a check box.
class GridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        using T = CDataGrid::CellType;
        grid.setColumns({{QStringLiteral("总长"), 50, T::Text, {}, 0},
                         {QStringLiteral("前缀"), 60, T::Text, {}, 5},
                         {QStringLiteral("校验码"), 70, T::DropDown, {kNoCheck, kUnchecked}, 0},
                         {QStringLiteral("锁定"), 40, T::CheckBox, {}, 0}});
        grid.setNewRowValues({QString(), QString(), kNoCheck, QStringLiteral("0")});
        grid.resize(400, 300);
        grid.setMenuRunner([this](QMenu& menu, const QPoint&) -> QAction* {
            ++menusShown;
            menuEntries.clear();
            for (QAction* a : menu.actions())
                menuEntries << (a->isSeparator() ? QStringLiteral("-") : a->text());
            for (QAction* a : menu.actions())
                if (!a->isSeparator() && a->text() == choice)
                    return a;
            return nullptr;
        });
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }

    // Enter in an editor settles the cell through a queued call.
    static void pressEnterIn(QWidget* editor)
    {
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    // A double-click as the window system delivers it: press, release, then
    // the double-click.
    void doubleClickAt(QPoint pos)
    {
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, pos);
    }

    QPoint cellCentre(int row, int col) { return grid.visualRect(grid.model()->index(row, col)).center(); }

    // A right click in the body at a cell, or below the last row.
    void rightClickAt(QPoint pos)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, grid.viewport()->mapToGlobal(pos));
        QCoreApplication::sendEvent(grid.viewport(), &event);
    }
    void rightClickBelowRows() { rightClickAt(QPoint(10, grid.viewport()->height() - 3)); }

    void fillRows(int n)
    {
        for (int i = 0; i < n; ++i)
            grid.insertRowTexts(i, {QString::number(i), QStringLiteral("p%1").arg(i), kNoCheck, QString()});
    }
    QStringList column0()
    {
        QStringList out;
        for (int r = 0; r < grid.rows(); ++r)
            out << grid.cellText(r, 0);
        return out;
    }

    CDataGrid grid;
    QString choice;
    int menusShown = 0;
    QStringList menuEntries;
};

TEST_F(GridTest, ColumnsCarryHeadingsAndWidths)
{
    ASSERT_EQ(grid.columnCount(), 4);
    EXPECT_EQ(grid.horizontalHeaderItem(0)->text(), QStringLiteral("总长"));
    EXPECT_EQ(grid.horizontalHeaderItem(3)->text(), QStringLiteral("锁定"));
    EXPECT_EQ(grid.columnWidth(0), 50);
    EXPECT_EQ(grid.columnWidth(2), 70);
    EXPECT_EQ(grid.columnWidth(3), 40);
}

TEST_F(GridTest, RowsAreInsertedAndDeletedAtAnIndex)
{
    EXPECT_EQ(grid.newRow(0), 0);
    EXPECT_EQ(grid.rowTexts(0), (QStringList{"", "", kNoCheck, "0"}));
    grid.setCellText(0, 0, QStringLiteral("a"));
    EXPECT_EQ(grid.insertRowTexts(99, {"b"}), 1);     // past the end: appended
    EXPECT_EQ(grid.insertRowTexts(-5, {"c"}), 0);     // before the start: at the top
    EXPECT_EQ(grid.insertRowTexts(1, {"d"}), 1);
    EXPECT_EQ(column0(), (QStringList{"c", "d", "a", "b"}));
    grid.deleteRow(1);
    grid.deleteRow(7);                                 // no such row: nothing happens
    EXPECT_EQ(column0(), (QStringList{"c", "a", "b"}));
    grid.setCellText(9, 0, QStringLiteral("x"));       // out of range: ignored
    grid.setCellText(0, 9, QStringLiteral("x"));
    EXPECT_EQ(grid.cellText(9, 0), QString());
    grid.setRowTexts(2, {"e", "f"});
    EXPECT_EQ(grid.rowTexts(2), (QStringList{"e", "f", "", "0"}));
    grid.deleteAllRows();
    EXPECT_EQ(grid.rows(), 0);
}

TEST_F(GridTest, CheckBoxCellsReadOneOrZeroAndToggleOnBlank)
{
    grid.newRow(0);
    EXPECT_EQ(grid.cellText(0, 3), QStringLiteral("0"));
    grid.setCellText(0, 3, QStringLiteral("yes"));
    EXPECT_EQ(grid.cellText(0, 3), QStringLiteral("1"));
    grid.setCurrentCell(0, 3);
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_EQ(grid.cellText(0, 3), QStringLiteral("0"));
    grid.setEditable(false);
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_EQ(grid.cellText(0, 3), QStringLiteral("0"));
}

TEST_F(GridTest, DropDownCellOffersItsFixedListAndTakesTheChoice)
{
    grid.newRow(0);
    doubleClickAt(cellCentre(0, 2));
    auto* box = qobject_cast<QComboBox*>(grid.activeEditor());
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), kNoCheck);
    EXPECT_EQ(box->itemText(1), kUnchecked);
    EXPECT_EQ(box->currentText(), kNoCheck);
    QTest::keyClick(box, Qt::Key_Down);     // picks the next entry and settles the cell
    EXPECT_EQ(grid.cellText(0, 2), kUnchecked);
    EXPECT_EQ(grid.activeEditor(), nullptr);
}

TEST_F(GridTest, TypingAnEntrysFirstCharacterOnADropDownChoosesIt)
{
    grid.newRow(0);
    grid.setCurrentCell(0, 2);
    QTest::keyClick(&grid, '1');
    EXPECT_EQ(grid.cellText(0, 2), kUnchecked);
}

TEST_F(GridTest, MenuOnEmptyBodyOffersOnlyAddAndAddsAtTheTop)
{
    choice = CDataGrid::kAddRowText;
    rightClickBelowRows();
    ASSERT_EQ(menusShown, 1);
    EXPECT_EQ(menuEntries, QStringList{CDataGrid::kAddRowText});
    ASSERT_EQ(grid.rows(), 1);
    EXPECT_EQ(grid.rowTexts(0), (QStringList{"", "", kNoCheck, "0"}));

    fillRows(2);  // rows now: 0, 1, the new one
    rightClickBelowRows();
    EXPECT_EQ(column0(), (QStringList{"", "0", "1", ""}));
}

TEST_F(GridTest, MenuOnARowAddsBelowItOrDeletesIt)
{
    fillRows(3);
    choice = CDataGrid::kAddRowText;
    rightClickAt(cellCentre(1, 1));
    EXPECT_EQ(menuEntries, (QStringList{CDataGrid::kAddRowText, "-", CDataGrid::kDeleteRowText}));
    EXPECT_EQ(column0(), (QStringList{"0", "1", "", "2"}));
    EXPECT_EQ(grid.cellText(2, 2), kNoCheck);

    choice = CDataGrid::kDeleteRowText;
    rightClickAt(cellCentre(0, 0));
    EXPECT_EQ(column0(), (QStringList{"1", "", "2"}));

    choice.clear();  // menu dismissed
    rightClickAt(cellCentre(0, 0));
    EXPECT_EQ(column0(), (QStringList{"1", "", "2"}));
}

TEST_F(GridTest, HeadingRowAndReadOnlyGridHaveNoMenu)
{
    fillRows(1);
    QHeaderView* heading = grid.horizontalHeader();
    QContextMenuEvent onHeading(QContextMenuEvent::Mouse, QPoint(5, 5), heading->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(heading->viewport(), &onHeading);
    EXPECT_EQ(menusShown, 0);

    grid.setEditable(false);
    rightClickAt(cellCentre(0, 0));
    EXPECT_EQ(menusShown, 0);
}

TEST_F(GridTest, DoubleClickAndEnterStartEditingATypedCell)
{
    fillRows(1);
    doubleClickAt(cellCentre(0, 1));
    auto* line = qobject_cast<QLineEdit*>(grid.activeEditor());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), QStringLiteral("p0"));
    EXPECT_EQ(line->maxLength(), 5);
    QTest::keyClick(line, Qt::Key_Escape);
    EXPECT_EQ(grid.activeEditor(), nullptr);

    grid.setCurrentCell(0, 0);
    QTest::keyClick(&grid, Qt::Key_Return);
    line = qobject_cast<QLineEdit*>(grid.activeEditor());
    ASSERT_NE(line, nullptr);
    QTest::keyClicks(line, "12");
    pressEnterIn(line);
    EXPECT_EQ(grid.cellText(0, 0), QStringLiteral("12"));
    EXPECT_EQ(grid.currentColumn(), 0);   // Enter in the editor only settles the cell
}

TEST_F(GridTest, EnterOnADropDownMovesToTheNextCell)
{
    fillRows(1);
    grid.setCurrentCell(0, 2);
    QTest::keyClick(&grid, Qt::Key_Enter);
    EXPECT_EQ(grid.activeEditor(), nullptr);
    EXPECT_EQ(grid.currentRow(), 0);
    EXPECT_EQ(grid.currentColumn(), 3);
}

TEST_F(GridTest, TypedCharacterStartsEditingWithItButABlankDoesNotType)
{
    fillRows(1);
    grid.setCurrentCell(0, 1);
    QTest::keyClick(&grid, 'x');
    auto* line = qobject_cast<QLineEdit*>(grid.activeEditor());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), QStringLiteral("x"));
    pressEnterIn(line);
    EXPECT_EQ(grid.cellText(0, 1), QStringLiteral("x"));

    QTest::keyClick(&grid, Qt::Key_Space);
    line = qobject_cast<QLineEdit*>(grid.activeEditor());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), QStringLiteral("x"));
    QTest::keyClick(line, 'y');            // typed after the kept text
    pressEnterIn(line);
    EXPECT_EQ(grid.cellText(0, 1), QStringLiteral("xy"));

    grid.setEditable(false);
    QTest::keyClick(&grid, 'z');
    EXPECT_EQ(grid.activeEditor(), nullptr);
    EXPECT_EQ(grid.cellText(0, 1), QStringLiteral("xy"));
}

TEST_F(GridTest, TabWithinARowMovesTheEditorRight)
{
    fillRows(1);
    grid.setCurrentCell(0, 0);
    QTest::keyClick(&grid, '7');
    ASSERT_NE(grid.activeEditor(), nullptr);
    QTest::keyClick(grid.activeEditor(), Qt::Key_Tab);
    EXPECT_EQ(grid.cellText(0, 0), QStringLiteral("7"));
    EXPECT_EQ(grid.currentColumn(), 1);
    EXPECT_NE(qobject_cast<QLineEdit*>(grid.activeEditor()), nullptr);
    EXPECT_EQ(grid.rows(), 1);
}

TEST_F(GridTest, EditingOnFromTheLastColumnWrapsIntoANewRowAtThatPosition)
{
    // Three typed columns so that the last one has an editor to Tab out of.
    grid.setColumns({{"a", 50, CDataGrid::CellType::Text, {}, 0},
                     {"b", 50, CDataGrid::CellType::Text, {}, 0},
                     {"c", 50, CDataGrid::CellType::Text, {}, 0}});
    grid.setNewRowValues({QString(), QStringLiteral("new")});
    grid.insertRowTexts(0, {"r0", "", ""});
    grid.insertRowTexts(1, {"r1", "", ""});
    grid.setCurrentCell(1, 2);
    QTest::keyClick(&grid, 'z');
    ASSERT_NE(grid.activeEditor(), nullptr);
    QTest::keyClick(grid.activeEditor(), Qt::Key_Tab);

    ASSERT_EQ(grid.rows(), 3);
    EXPECT_EQ(grid.rowTexts(0), (QStringList{"r0", "", ""}));
    EXPECT_EQ(grid.rowTexts(1), (QStringList{"", "new", ""}));
    EXPECT_EQ(grid.rowTexts(2), (QStringList{"r1", "", "z"}));
    EXPECT_EQ(grid.currentRow(), 1);
    EXPECT_EQ(grid.currentColumn(), 0);
    EXPECT_NE(qobject_cast<QLineEdit*>(grid.activeEditor()), nullptr);

    // Tab without an editor open is plain navigation: no row appears.
    QTest::keyClick(grid.activeEditor(), Qt::Key_Escape);
    grid.setCurrentCell(0, 2);
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(grid.rows(), 3);
}

TEST_F(GridTest, CellsUseSongTypefaceAt12PixelsOrAnInstalledChineseFont)
{
    const QFont font = CDataGrid::cellFont();
    EXPECT_EQ(font.families().value(0), QStringLiteral("宋体"));
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_EQ(grid.font().pixelSize(), 12);
    // Whatever family it comes down to draws Chinese text.
    EXPECT_TRUE(QFontMetrics(grid.font()).inFontUcs4(U'宋'))
        << "resolved to " << QFontInfo(grid.font()).family().toStdString();
}

} // namespace
