#include "driver.h"

#include "barcode_edit.h"
#include "check_tag_page.h"
#include "page_sheet.h"
#include "tagging_book_page.h"
#include "tagging_card_page.h"
#include "tagging_shelf_page.h"
#include "tagging_view.h"

#include <grid.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
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

CTaggingPage* CDriver::currentPage() const
{
    return m_view.sheet()->currentPage();
}

int CDriver::rowCount() const
{
    if (auto* page = qobject_cast<CTaggingWritePage*>(currentPage()))
        return page->tagList()->rowCount();
    if (auto* page = qobject_cast<CCheckTagPage*>(currentPage()))
        return page->grid()->rows();
    return 0;
}

QString CDriver::rowText(int row) const
{
    QStringList cells;
    if (auto* page = qobject_cast<CTaggingWritePage*>(currentPage())) {
        const CTagList* list = page->tagList();
        for (int col = 0; col < list->columnCount(); ++col)
            cells << list->cellText(row, col).trimmed();
    } else if (auto* page = qobject_cast<CCheckTagPage*>(currentPage())) {
        // The grid leaves cells empty where nothing was read.
        for (const QString& text : page->grid()->rowTexts(row))
            cells << (text.isEmpty() ? QStringLiteral("-") : text);
    }
    return cells.join(QLatin1Char(' '));
}

QString CDriver::switchPage(const QString& name)
{
    static const QStringList names{QStringLiteral("book"), QStringLiteral("card"), QStringLiteral("shelf"),
                                   QStringLiteral("check")};
    const CTaggingPage* const pages[] = {m_view.bookPage(), m_view.cardPage(), m_view.shelfPage(),
                                         m_view.checkPage()};
    const int wanted = names.indexOf(name);
    if (wanted < 0)
        return QStringLiteral("no page ") + name;
    CPageSheet* sheet = m_view.sheet();
    for (int i = 0; i < sheet->pageCount(); ++i)
        if (sheet->page(i) == pages[wanted])
            sheet->setCurrentPage(i);
    return QStringLiteral("page ") + currentPage()->caption().trimmed();
}

QString CDriver::tick(const QString& argument)
{
    const QString box = argument.section(QLatin1Char(' '), 0, -2);
    const QString state = argument.section(QLatin1Char(' '), -1);
    if (state == QLatin1String("on") || state == QLatin1String("off")) {
        for (QCheckBox* candidate : currentPage()->findChildren<QCheckBox*>()) {
            if (candidate->text().remove(QLatin1Char('&')) == box && candidate->isEnabled()) {
                candidate->setChecked(state == QLatin1String("on"));
                return QStringLiteral("ticked %1 %2").arg(box, state);
            }
        }
    }
    return QStringLiteral("no box ") + box;
}

QString CDriver::set(const QString& argument)
{
    const QString label = argument.section(QLatin1Char(' '), 0, 0);
    const QString value = argument.section(QLatin1Char(' '), 1).simplified();
    QWidget* field = nullptr;
    for (const QLabel* candidate : currentPage()->findChildren<QLabel*>())
        if (candidate->text() == label && candidate->buddy() && candidate->buddy()->isEnabled())
            field = candidate->buddy();
    if (auto* list = qobject_cast<QComboBox*>(field)) {
        for (int i = 0; i < list->count(); ++i) {
            const QString entry = list->itemText(i).simplified();
            if (entry == value || entry.startsWith(value + QLatin1Char(' '))) {
                list->setCurrentIndex(i);
                return QStringLiteral("set %1: %2").arg(label, list->currentText());
            }
        }
    } else if (auto* picker = qobject_cast<QDateEdit*>(field)) {
        const QDate date = QDate::fromString(value, Qt::ISODate);
        if (date.isValid() && date >= picker->minimumDate() && date <= picker->maximumDate()) {
            picker->setDate(date);
            return QStringLiteral("set %1: %2").arg(label, picker->text());
        }
    }
    return QStringLiteral("cannot set ") + label;
}

bool CDriver::run(const QString& line)
{
    const QString command = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    const QString argument = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
    CTaggingPage* page = currentPage();
    auto* writing = qobject_cast<CTaggingWritePage*>(page);
    auto* checking = qobject_cast<CCheckTagPage*>(page);
    if (command.isEmpty())
        return true;
    if (command == QLatin1String("quit"))
        return false;
    if (command == QLatin1String("page")) {
        m_out(switchPage(argument));
    } else if (command == QLatin1String("scan")) {
        const int before = writing ? writing->writtenCount() : 0;
        if (writing)
            typeAndEnter(writing->barcodeField(), argument);
        if (writing && writing->writtenCount() > before)
            m_out(QStringLiteral("written %1: %2").arg(writing->writtenCount()).arg(rowText(0)));
        else
            m_out(QStringLiteral("not written"));
    } else if (command == QLatin1String("read")) {
        if (writing)
            writing->readButton()->click();
        else if (checking)
            checking->startButton()->click();
        m_out(page->isReading() ? QStringLiteral("reading") : QStringLiteral("not reading"));
    } else if (command == QLatin1String("stop")) {
        if (checking)
            checking->stopButton()->click();
        else if (page->isReading())
            page->stopReading();
        m_out(QStringLiteral("stopped"));
    } else if (command == QLatin1String("tick")) {
        m_out(tick(argument));
    } else if (command == QLatin1String("set")) {
        m_out(set(argument));
    } else if (command == QLatin1String("rows")) {
        QStringList rows;
        for (int row = 0; row < rowCount(); ++row)
            rows << rowText(row);
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
