// The work logs of a tagging page, in the work directory (WorkPath):
//  - the item log "<date number>.log" (e.g. 20261206.log), one line per tag
//    written and accepted: "<identifier>   <time>";
//  - the workload file "workload.txt", one line per work period of a page:
//    "<written count>   [ <work start> ] -- [ <closing time> ]".
// Times read "%Y-%m-%d %H:%M:%S" in local time. Both files are opened for
// appending (created when missing) at a page's first write attempt, stay open
// while the page works, even past midnight, and are closed with the page.
// Every line goes to disk as soon as it is written; a line that cannot be
// written (a full disk, a lost drive) is told to staff once per work period.
// Failures come back as the program message to show; the page shows it.
#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <utility>

class CWorkLogs {
public:
    // The local date and time; tests give their own.
    using Clock = std::function<QDateTime()>;

    static inline const QString kNoWorkPath = QStringLiteral("请指定工作目录!");
    static inline const QString kCannotCreateItemLog = QStringLiteral("不能创建工作日志文件!");
    static inline const QString kCannotCreateWorkload = QStringLiteral("不能创建工作量记录文件!");
    static inline const QString kCannotOpenWorkload = QStringLiteral("不能打开工作量记录文件!");
    static inline const QString kWorkloadName = QStringLiteral("workload.txt");
    static inline const QString kLineLost =
        QStringLiteral("不能写入工作日志文件！刚写好的标签已经计数，但没有记入日志。\n"
                       "请检查工作目录所在的磁盘（是否已满或已断开），并把这些标签告诉管理员。"
                       "本次工作中不再重复这个提示。");

    explicit CWorkLogs(Clock clock = {});
    void setClock(Clock clock) { m_clock = std::move(clock); }
    ~CWorkLogs();
    CWorkLogs(const CWorkLogs&) = delete;
    CWorkLogs& operator=(const CWorkLogs&) = delete;

    // Opens both files unless both are open already. A failure leaves both
    // closed and returns its program message; empty when both are open.
    [[nodiscard]] QString open();
    bool isOpen() const { return m_itemLog.isOpen() && m_workload.isOpen(); }
    // The item log in use (empty while closed).
    QString itemLogPath() const { return m_itemLog.isOpen() ? m_itemLog.fileName() : QString(); }

    // The item line of a tag: its identifier zero-padded to digits (11 on the
    // book and patron card pages, 10 on the shelf tag page) and the time now.
    // Nothing happens while the item log is closed. False when the line
    // could not be written.
    bool appendItem(std::uint64_t itemId, int digits = 11);
    // The workload line of a work period ending now. Nothing happens while
    // the workload file is closed. False when the line could not be written.
    bool appendWorkload(int writtenCount, const QString& workStart);
    // A line was lost: true the first time only, when staff are to be told
    // kLineLost.
    [[nodiscard]] bool lineLostFirstTime();
    void close();

    // The time text of now, as a page keeps it for its work start.
    QString nowText() const;

    // The workload file in pieces of at most 255 characters, line ends
    // included, in the file's order (a page's list shows them newest on
    // top). A failure returns its program message; empty on success.
    [[nodiscard]] static QString readStatistics(QStringList& pieces);

    static QString timeText(const QDateTime& t);
    // An item identifier in decimal, zero-padded to digits.
    static QString identifierText(std::uint64_t itemId, int digits);
    // year * 10000 + month * 100 + day
    static long dateNumber(const QDate& d);

private:
    QDateTime now() const;

    Clock m_clock;
    bool m_toldLineLost = false;
    QFile m_itemLog;
    QFile m_workload;
};
