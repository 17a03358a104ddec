#include "work_logs.h"

#include "settings.h"

#include <QDir>

namespace {

QString inWorkPath(const QString& workPath, const QString& name)
{
    return QDir(workPath).filePath(name);
}

// The files are unbuffered: a line is on its way to the disk when this
// returns, or lost, and a lost line is not written later with the next one.
bool writeLine(QFile& file, const QString& line)
{
    const QByteArray bytes = line.toLatin1();
    return file.write(bytes) == bytes.size();
}

constexpr QIODevice::OpenMode kAppend = QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered;

} // namespace

CWorkLogs::CWorkLogs(Clock clock) : m_clock(std::move(clock))
{
}

CWorkLogs::~CWorkLogs() = default;

QDateTime CWorkLogs::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

QString CWorkLogs::timeText(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString CWorkLogs::identifierText(std::uint64_t itemId, int digits)
{
    return QString::number(itemId).rightJustified(digits, QLatin1Char('0'));
}

long CWorkLogs::dateNumber(const QDate& d)
{
    return d.year() * 10000L + d.month() * 100L + d.day();
}

QString CWorkLogs::nowText() const
{
    return timeText(now());
}

QString CWorkLogs::open()
{
    if (isOpen())
        return {};
    close();
    const QString workPath = CSettings().workPath();
    if (workPath.isEmpty())
        return kNoWorkPath;
    m_itemLog.setFileName(inWorkPath(workPath, QStringLiteral("%1.log").arg(dateNumber(now().date()))));
    if (!m_itemLog.open(kAppend))
        return kCannotCreateItemLog;
    m_workload.setFileName(inWorkPath(workPath, kWorkloadName));
    if (!m_workload.open(kAppend)) {
        m_itemLog.close();
        return kCannotCreateWorkload;
    }
    return {};
}

bool CWorkLogs::appendItem(std::uint64_t itemId, int digits)
{
    if (!m_itemLog.isOpen())
        return true;
    return writeLine(m_itemLog, QStringLiteral("%1   %2\n").arg(identifierText(itemId, digits), nowText()));
}

bool CWorkLogs::appendWorkload(int writtenCount, const QString& workStart)
{
    if (!m_workload.isOpen())
        return true;
    return writeLine(m_workload, QStringLiteral("%1   [ %2 ] -- [ %3 ]\n").arg(writtenCount).arg(workStart, nowText()));
}

bool CWorkLogs::lineLostFirstTime()
{
    return !std::exchange(m_toldLineLost, true);
}

void CWorkLogs::close()
{
    m_itemLog.close();
    m_workload.close();
}

QString CWorkLogs::readStatistics(QStringList& pieces)
{
    const QString workPath = CSettings().workPath();
    if (workPath.isEmpty())
        return kNoWorkPath;
    QFile workload(inWorkPath(workPath, kWorkloadName));
    if (!workload.open(QIODevice::ReadOnly | QIODevice::Text))
        return kCannotOpenWorkload;
    pieces.clear();
    char piece[256];   // 255 characters and the terminator
    while (workload.readLine(piece, sizeof piece) > 0)
        pieces.append(QString::fromLatin1(piece));
    return {};
}
