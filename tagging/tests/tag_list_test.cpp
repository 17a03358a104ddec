// The page list: its two modes, and the workload file shown in it.
#include "tag_list.h"

#include "settings.h"

#include "recording_ui.h"

#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class Statistics : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        CSettings().setWorkPath(dir.path());
    }

    void write(const QString& name, const QByteArray& data) const
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    void expectOneMessage(const QString& text)
    {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, QStringLiteral("Tagging"));
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Warning);
        ui.messages.clear();
    }

    QTemporaryDir dir;
    CTagList list;
};

TEST_F(Statistics, ShowsTheWorkloadFileNewestLineOnTop)
{
    list.setMode(CTagList::TagRows);
    list.insertTopRow({QStringLiteral("图书"), QStringLiteral("ON")});
    const QByteArray longLine(300, 'L');
    write("workload.txt", "1   [ a ] -- [ b ]\n" + longLine + "\n2   [ c ] -- [ d ]\n");

    ASSERT_TRUE(list.showStatistics(nullptr));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(list.mode(), CTagList::WorkloadLines);
    ASSERT_EQ(list.columnCount(), 1);
    EXPECT_EQ(list.headerItem()->text(0), QStringLiteral("工作量  [ 开始时间 ] -- [ 完成时间 ]"));
    EXPECT_EQ(list.columnWidth(0), 500);
    // A line longer than 255 characters comes in two pieces; line ends stay.
    ASSERT_EQ(list.rowCount(), 4);
    EXPECT_EQ(list.cellText(0, 0), QStringLiteral("2   [ c ] -- [ d ]\n"));
    EXPECT_EQ(list.cellText(1, 0), QString(45, QLatin1Char('L')) + QLatin1Char('\n'));
    EXPECT_EQ(list.cellText(2, 0), QString(255, QLatin1Char('L')));
    EXPECT_EQ(list.cellText(3, 0), QStringLiteral("1   [ a ] -- [ b ]\n"));

    // Shown again: the list starts over.
    ASSERT_TRUE(list.showStatistics(nullptr));
    EXPECT_EQ(list.rowCount(), 4);

    // The kept line end is not drawn: a line is one text line high.
    list.insertTopRow({QStringLiteral("3   [ e ] -- [ f ]")});
    list.show();
    EXPECT_EQ(list.visualItemRect(list.topLevelItem(1)).height(),
              list.visualItemRect(list.topLevelItem(0)).height());
}

TEST_F(Statistics, FailuresShowTheirMessageAndLeaveTheListAlone)
{
    list.setMode(CTagList::TagRows);
    list.insertTopRow({QStringLiteral("图书")});

    EXPECT_FALSE(list.showStatistics(nullptr));
    expectOneMessage(QStringLiteral("不能打开工作量记录文件!"));
    CSettings().setWorkPath(QString());
    EXPECT_FALSE(list.showStatistics(nullptr));
    expectOneMessage(QStringLiteral("请指定工作目录!"));

    EXPECT_EQ(list.mode(), CTagList::TagRows);
    EXPECT_EQ(list.rowCount(), 1);
}

TEST_F(Statistics, TagRowModeHasItsSevenColumns)
{
    list.setMode(CTagList::WorkloadLines);
    list.insertTopRow({QStringLiteral("1   [ a ] -- [ b ]\n")});
    list.setMode(CTagList::TagRows);
    EXPECT_EQ(list.rowCount(), 0);
    const QStringList headings{"类型", "EAS", "条码号", "馆标识", "是否参考文献", "馆藏地点", "文献类型"};
    const int widths[] = {80, 40, 120, 120, 100, 80, 80};
    ASSERT_EQ(list.columnCount(), 7);
    for (int col = 0; col < 7; ++col) {
        EXPECT_EQ(list.headerItem()->text(col), headings[col]);
        EXPECT_EQ(list.columnWidth(col), widths[col]);
    }
    list.insertTopRow({"图书", "ON", "00000000123", "044120", "否", "2A", "1"});
    list.insertTopRow({"读者证", "OFF"});
    EXPECT_EQ(list.cellText(1, 2), QStringLiteral("00000000123"));
    EXPECT_EQ(list.cellText(0, 0), QStringLiteral("读者证"));
    for (int col = 0; col < 7; ++col)
        EXPECT_EQ(list.columnWidth(col), widths[col]) << "cells that fit leave the widths alone";

    // A cell wider than its column (another library's model and owner)
    // widens it, so that "ISO 28560-3" is not cut to "ISO 2856...".
    const QString model = QStringLiteral("ISO 28560-3 ISO 28560-3");
    list.insertTopRow({model, "ON", "1000000136", "DK-718500"});
    EXPECT_GT(list.columnWidth(0), QFontMetrics(list.font()).horizontalAdvance(model));
    EXPECT_EQ(list.columnWidth(1), widths[1]);
}

} // namespace
