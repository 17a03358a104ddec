#include "work_logs.h"

#include "settings.h"

#include "core_test.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

class WorkLogs : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
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

    QTemporaryDir dir;
    QDateTime now = at(2026, 12, 6, 14, 30, 5);
    CWorkLogs logs{[this] { return now; }};
};

TEST_F(WorkLogs, ItemLogIsNamedByTheDayAndGetsIdentifierAndTime)
{
    ASSERT_EQ(logs.open(), QString());
    EXPECT_TRUE(logs.isOpen());
    EXPECT_EQ(logs.itemLogPath(), file("20261206.log"));
    logs.appendItem(123);
    now = at(2026, 12, 6, 14, 31, 0);
    logs.appendItem(4412000000123ull, 10);   // wider than the padding: kept whole
    logs.appendItem(77, 10);                 // the shelf tag page's padding
    EXPECT_EQ(contents("20261206.log"), QByteArray("00000000123   2026-12-06 14:30:05\n"
                                                   "4412000000123   2026-12-06 14:31:00\n"
                                                   "0000000077   2026-12-06 14:31:00\n"));
}

TEST_F(WorkLogs, MonthAndDayAreTwoDigitsInTheName)
{
    now = at(2027, 1, 31, 8, 0, 0);
    ASSERT_EQ(logs.open(), QString());
    EXPECT_EQ(logs.itemLogPath(), file("20270131.log"));
    EXPECT_EQ(CWorkLogs::dateNumber(QDate(2026, 12, 6)), 20261206);
}

TEST_F(WorkLogs, LinesAreAppendedToWhatTheFilesHold)
{
    write("20261206.log", "00000000001   2026-12-06 09:00:00\n");
    write("workload.txt", "3   [ 2026-12-05 09:00:00 ] -- [ 2026-12-05 10:00:00 ]\n");
    ASSERT_EQ(logs.open(), QString());
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
    ASSERT_EQ(logs.open(), QString());
    now = at(2026, 12, 7, 0, 0, 10);
    ASSERT_EQ(logs.open(), QString());   // both open: not reopened
    logs.appendItem(5);
    EXPECT_EQ(contents("20261206.log"), QByteArray("00000000005   2026-12-07 00:00:10\n"));
    EXPECT_FALSE(QFile::exists(file("20261207.log")));
}

TEST_F(WorkLogs, NothingIsWrittenWhileClosed)
{
    EXPECT_TRUE(logs.appendItem(1));   // nothing to lose
    EXPECT_TRUE(logs.appendWorkload(0, QStringLiteral("2026-12-06 14:30:05")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

TEST_F(WorkLogs, ALostLineIsToldTheFirstTimeOnly)
{
    EXPECT_TRUE(logs.lineLostFirstTime());
    EXPECT_FALSE(logs.lineLostFirstTime());
}

TEST_F(WorkLogs, EachOpeningFailureShowsItsMessageAndLeavesBothClosed)
{
    CSettings().setWorkPath(QString());
    EXPECT_EQ(logs.open(), QStringLiteral("请指定工作目录!"));

    CSettings().setWorkPath(dir.filePath("no/such/folder"));
    EXPECT_EQ(logs.open(), QStringLiteral("不能创建工作日志文件!"));

    CSettings().setWorkPath(dir.path());
    ASSERT_TRUE(QDir(dir.path()).mkdir("workload.txt"));   // in the way of the workload file
    EXPECT_EQ(logs.open(), QStringLiteral("不能创建工作量记录文件!"));
    EXPECT_FALSE(logs.isOpen());
    EXPECT_EQ(logs.itemLogPath(), QString());

    // The next attempt starts over.
    ASSERT_TRUE(QDir(dir.path()).rmdir("workload.txt"));
    EXPECT_EQ(logs.open(), QString());
}

} // namespace
