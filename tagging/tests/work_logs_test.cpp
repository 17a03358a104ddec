#include "work_logs.h"

#include "settings.h"
#include "tag_list.h"

#include "recording_ui.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

class WorkLogs : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        CSettings().setWorkPath(dir.path());
    }

    QString file(const QString& name) const { return dir.filePath(name); }
    QByteArray contents(const QString& name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void write(const QString& name, const QByteArray& data) const
    {
        QFile f(file(name));
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
    QDateTime now = at(2026, 12, 6, 14, 30, 5);
    CWorkLogs logs{[this] { return now; }};
};

TEST_F(WorkLogs, ItemLogIsNamedByTheDayAndGetsIdentifierAndTime)
{
    ASSERT_TRUE(logs.open(nullptr));
    EXPECT_TRUE(logs.isOpen());
    EXPECT_EQ(logs.itemLogPath(), file("20261206.log"));
    logs.appendItem(123);
    now = at(2026, 12, 6, 14, 31, 0);
    logs.appendItem(4412000000123ull, 10);   // wider than the padding: kept whole
    logs.appendItem(77, 10);                 // the shelf tag page's padding
    EXPECT_EQ(contents("20261206.log"), QByteArray("00000000123   2026-12-06 14:30:05\n"
                                                   "4412000000123   2026-12-06 14:31:00\n"
                                                   "0000000077   2026-12-06 14:31:00\n"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WorkLogs, MonthAndDayAreTwoDigitsInTheName)
{
    now = at(2027, 1, 31, 8, 0, 0);
    ASSERT_TRUE(logs.open(nullptr));
    EXPECT_EQ(logs.itemLogPath(), file("20270131.log"));
    EXPECT_EQ(CWorkLogs::dateNumber(QDate(2026, 12, 6)), 20261206);
}

TEST_F(WorkLogs, LinesAreAppendedToWhatTheFilesHold)
{
    write("20261206.log", "00000000001   2026-12-06 09:00:00\n");
    write("workload.txt", "3   [ 2026-12-05 09:00:00 ] -- [ 2026-12-05 10:00:00 ]\n");
    ASSERT_TRUE(logs.open(nullptr));
    const QString workStart = logs.nowText();
    logs.appendItem(2);
    now = at(2026, 12, 6, 17, 45, 0);
    logs.appendWorkload(57, workStart);
    logs.close();
    EXPECT_FALSE(logs.isOpen());
    EXPECT_EQ(contents("20261206.log"), QByteArray("00000000001   2026-12-06 09:00:00\n"
                                                   "00000000002   2026-12-06 14:30:05\n"));
    EXPECT_EQ(contents("workload.txt"), QByteArray("3   [ 2026-12-05 09:00:00 ] -- [ 2026-12-05 10:00:00 ]\n"
                                                   "57   [ 2026-12-06 14:30:05 ] -- [ 2026-12-06 17:45:00 ]\n"));
}

TEST_F(WorkLogs, AWorkPeriodPastMidnightStaysInTheDayItStarted)
{
    now = at(2026, 12, 6, 23, 59, 59);
    ASSERT_TRUE(logs.open(nullptr));
    now = at(2026, 12, 7, 0, 0, 10);
    ASSERT_TRUE(logs.open(nullptr));   // both open: not reopened
    logs.appendItem(5);
    EXPECT_EQ(contents("20261206.log"), QByteArray("00000000005   2026-12-07 00:00:10\n"));
    EXPECT_FALSE(QFile::exists(file("20261207.log")));
}

TEST_F(WorkLogs, NothingIsWrittenWhileClosed)
{
    logs.appendItem(1);
    logs.appendWorkload(0, QStringLiteral("2026-12-06 14:30:05"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WorkLogs, EachOpeningFailureShowsItsMessageAndLeavesBothClosed)
{
    CSettings().setWorkPath(QString());
    EXPECT_FALSE(logs.open(nullptr));
    expectOneMessage(QStringLiteral("请指定工作目录!"));

    CSettings().setWorkPath(dir.filePath("no/such/folder"));
    EXPECT_FALSE(logs.open(nullptr));
    expectOneMessage(QStringLiteral("不能创建工作日志文件!"));

    CSettings().setWorkPath(dir.path());
    ASSERT_TRUE(QDir(dir.path()).mkdir("workload.txt"));   // in the way of the workload file
    EXPECT_FALSE(logs.open(nullptr));
    expectOneMessage(QStringLiteral("不能创建工作量记录文件!"));
    EXPECT_FALSE(logs.isOpen());
    EXPECT_EQ(logs.itemLogPath(), QString());

    // The next attempt starts over.
    ASSERT_TRUE(QDir(dir.path()).rmdir("workload.txt"));
    EXPECT_TRUE(logs.open(nullptr));
    EXPECT_TRUE(ui.messages.empty());
}

class Statistics : public WorkLogs {
protected:
    CTagList list;
};

TEST_F(Statistics, ShowsTheWorkloadFileNewestLineOnTop)
{
    list.setMode(CTagList::TagRows);
    list.insertTopRow({QStringLiteral("图书"), QStringLiteral("ON")});
    const QByteArray longLine(300, 'L');
    write("workload.txt", "1   [ a ] -- [ b ]\n" + longLine + "\n2   [ c ] -- [ d ]\n");

    ASSERT_TRUE(CWorkLogs::showStatistics(nullptr, list));
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
    ASSERT_TRUE(CWorkLogs::showStatistics(nullptr, list));
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

    EXPECT_FALSE(CWorkLogs::showStatistics(nullptr, list));
    expectOneMessage(QStringLiteral("不能打开工作量记录文件!"));
    CSettings().setWorkPath(QString());
    EXPECT_FALSE(CWorkLogs::showStatistics(nullptr, list));
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
}

} // namespace
