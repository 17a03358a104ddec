#include "parameter_grid.h"
#include "settings.h"

#include "recording_ui.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ParameterGrid : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        grid.resize(400, 200);
        grid.setMenuRunner([this](QMenu& menu, const QPoint&) -> QAction* {
            for (QAction* a : menu.actions())
                if (a->text() == menuChoice)
                    return a;
            return nullptr;
        });
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }

    void rightClickBelowRows()
    {
        const QPoint pos(5, grid.viewport()->height() - 3);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, grid.viewport()->mapToGlobal(pos));
        QCoreApplication::sendEvent(grid.viewport(), &event);
    }

    CParameterGrid grid;
    QString menuChoice = CDataGrid::kAddRowText;
};

TEST_F(ParameterGrid, SixColumnsOf50PixelsWithTheCheckModesAsDropDown)
{
    const QStringList headings{"总长", "前缀", "有效位", "校验码", "起始号", "终止号"};
    ASSERT_EQ(grid.columnCount(), 6);
    for (int col = 0; col < 6; ++col) {
        EXPECT_EQ(grid.horizontalHeaderItem(col)->text(), headings[col]);
        EXPECT_EQ(grid.columnWidth(col), 50);
        EXPECT_EQ(grid.column(col).type == CDataGrid::CellType::DropDown, col == 3);
    }
    EXPECT_EQ(grid.column(3).choices, (QStringList{"0 无校验码", "1 有但不校验", "2 三九码"}));
}

TEST_F(ParameterGrid, StructureToRow)
{
    BarcodeStructure s;
    s.TotalLen = 10;
    s.ValidLen = 8;
    s.Prefix = QStringLiteral("0");
    s.BegBound = QStringLiteral("0100000000");
    s.EndBound = QStringLiteral("0199999999");
    const struct {
        QChar verify;
        QString cell;
    } modes[] = {{'0', "0 无校验码"}, {'1', "1 有但不校验"}, {'2', "2 三九码"},
                 {'7', "7"}, {' ', ""}, {QChar(), ""}};
    for (const auto& m : modes) {
        s.Verify = m.verify;
        EXPECT_EQ(CParameterGrid::structureToRow(s),
                  (QStringList{"10", "0", "8", m.cell, "0100000000", "0199999999"}))
            << int(m.verify.unicode());
    }
}

TEST_F(ParameterGrid, RowToStructure)
{
    const BarcodeStructure s = CParameterGrid::rowToStructure({"12abc", "44", "x9", "2 三九码", "1", "9"});
    EXPECT_EQ(s.TotalLen, 12);
    EXPECT_EQ(s.ValidLen, 0);
    EXPECT_EQ(s.Prefix, QStringLiteral("44"));
    EXPECT_EQ(s.Verify, QLatin1Char('2'));
    EXPECT_EQ(s.BegBound, QStringLiteral("1"));
    EXPECT_EQ(s.EndBound, QStringLiteral("9"));
    // An empty check character cell is stored as "0"; signs are not digits.
    const BarcodeStructure t = CParameterGrid::rowToStructure({"10", "0", "-8", ""});
    EXPECT_EQ(t.Verify, QLatin1Char('0'));
    EXPECT_EQ(t.ValidLen, 0);
}

TEST_F(ParameterGrid, FillsFromBarParAndRebuildsItLeavingOutZeroLengths)
{
    const QString barPar = QStringLiteral("10:8:1:0::\n13:13:0:44120:4412000000000:4412009999999\n8:0:0:::\n");
    grid.fill(barPar);
    ASSERT_EQ(grid.rows(), 3);
    EXPECT_EQ(grid.rowTexts(0), (QStringList{"10", "0", "8", "1 有但不校验", "", ""}));
    EXPECT_EQ(grid.barPar(), QStringLiteral("10:8:1:0::\n13:13:0:44120:4412000000000:4412009999999\n"));

    menuChoice = CDataGrid::kAddRowText;
    rightClickBelowRows();   // a new row at the top: empty but for its check mode
    EXPECT_EQ(grid.rowTexts(0), (QStringList{"", "", "", "0 无校验码", "", ""}));
    grid.setRowTexts(0, {"10", "0", "8", "", "", ""});   // check mode emptied
    EXPECT_EQ(grid.barPar(), QStringLiteral("10:8:0:0::\n10:8:1:0::\n13:13:0:44120:4412000000000:4412009999999\n"));

    grid.fill(QString());
    EXPECT_EQ(grid.rows(), 0);
    EXPECT_EQ(grid.barPar(), QString());
}

TEST_F(ParameterGrid, AStructureTypedIntoTheGridChecksBarcodes)
{
    rightClickBelowRows();
    grid.setCurrentCell(0, 0);
    QTest::keyClicks(&grid, "1");                        // starts editing with the "1"
    ASSERT_NE(grid.activeEditor(), nullptr);
    QTest::keyClicks(grid.activeEditor(), "0");
    QTest::keyClick(grid.activeEditor(), Qt::Key_Tab);   // on to the prefix
    QTest::keyClicks(grid.activeEditor(), "0");
    QTest::keyClick(grid.activeEditor(), Qt::Key_Tab);
    QTest::keyClicks(grid.activeEditor(), "8");
    QTest::keyClick(grid.activeEditor(), Qt::Key_Tab);   // the check mode drop-down
    auto* box = qobject_cast<QComboBox*>(grid.activeEditor());
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, '1');                           // "1 有但不校验"
    EXPECT_EQ(grid.barPar(), QStringLiteral("10:8:1:0::\n"));

    CSettings().setBarPar(grid.barPar());
    CBarcodeChecker checker;
    EXPECT_TRUE(checker.check(QStringLiteral("0123456789")));
    EXPECT_EQ(checker.result(), QStringLiteral("012345678"));
}

} // namespace
