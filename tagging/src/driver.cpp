#include "driver.h"

#include "barcodeedit.h"
#include "taggingbookpage.h"
#include "taggingview.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

CDriver::CDriver(CTaggingView& view, Output out, QObject* parent)
    : QObject(parent), m_view(view), m_out(std::move(out))
{
}

void CDriver::typeAndEnter(QWidget* field, const QString& text)
{
    for (const QChar c : text) {
        const int key = c.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(field, &release);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(field, &enter);
}

QString CDriver::listRow(int row) const
{
    const CTagList* list = m_view.bookPage()->tagList();
    QStringList cells;
    for (int col = 0; col < list->columnCount(); ++col)
        cells << list->cellText(row, col).trimmed();
    return cells.join(QLatin1Char(' '));
}

bool CDriver::run(const QString& line)
{
    const QString command = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    const QString argument = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
    CTaggingBookPage* page = m_view.bookPage();
    if (command.isEmpty())
        return true;
    if (command == QLatin1String("quit"))
        return false;
    if (command == QLatin1String("scan")) {
        const int before = page->writtenCount();
        page->barcodeField()->clear();
        typeAndEnter(page->barcodeField(), argument);
        if (page->writtenCount() > before)
            m_out(QStringLiteral("written %1: %2").arg(page->writtenCount()).arg(listRow(0)));
        else
            m_out(QStringLiteral("not written"));
    } else if (command == QLatin1String("read")) {
        page->readButton()->click();
        m_out(page->isReading() ? QStringLiteral("reading") : QStringLiteral("not reading"));
    } else if (command == QLatin1String("rows")) {
        QStringList rows;
        for (int row = 0; row < page->tagList()->rowCount(); ++row)
            rows << listRow(row);
        m_out(QStringLiteral("rows %1: %2").arg(rows.size()).arg(rows.join(QStringLiteral(" | "))));
    } else if (command == QLatin1String("wait")) {
        QEventLoop loop;
        QTimer::singleShot(argument.toInt(), &loop, &QEventLoop::quit);
        loop.exec();
        m_out(QStringLiteral("waited"));
    } else if (command == QLatin1String("shot")) {
        QPixmap shot;
        if (QScreen* screen = QGuiApplication::primaryScreen())
            shot = screen->grabWindow(0);
        if (shot.isNull())
            shot = m_view.window()->grab();
        m_out(QStringLiteral("%1 %2").arg(!shot.isNull() && shot.save(argument) ? "saved" : "not saved", argument));
    } else {
        m_out(QStringLiteral("unknown ") + command);
    }
    return true;
}

void CDriver::readFrom(int fd)
{
    m_out(m_view.connection().isConnected() ? QStringLiteral("connected %1").arg(m_view.connection().family())
                                            : QStringLiteral("not connected"));
    m_fd = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CDriver::readAvailable);
}

void CDriver::readAvailable()
{
    // One command at a time: commands that let the program run (wait) do not
    // take the next line before they have answered.
    m_notifier->setEnabled(false);
    char buffer[4096];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n <= 0) {   // the commands have ended
        QCoreApplication::quit();
        return;
    }
    m_pending.append(buffer, n);
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(end)).trimmed();
        m_pending.remove(0, end + 1);
        if (!run(line)) {
            QCoreApplication::quit();
            return;
        }
    }
    m_notifier->setEnabled(true);
}
