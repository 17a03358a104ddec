#include "reader_connection.h"

#include "settings.h"
#include "tagging_page.h"
#include "ui.h"

#include <platform/serial.h>

#include <algorithm>

#include <unistd.h>

namespace {

// Whether the port's device is there for us to open: cheap, no open.
bool portPresent(int port)
{
    return ::access(platform::serialPortPath(port).c_str(), R_OK | W_OK) == 0;
}

} // namespace

CReaderConnection::CReaderConnection(QWidget* owner) : m_owner(owner)
{
    m_watch.setInterval(kWatchMs);
    QObject::connect(&m_watch, &QTimer::timeout, [this] { lookForLostReader(); });
    m_noteEnd.setSingleShot(true);
    QObject::connect(&m_noteEnd, &QTimer::timeout, [this] { note(QString()); });
    // Dealt with from the event loop: the news may come from inside a
    // continuous-reading tick or a library call.
    QObject::connect(
        &CReaderLine::instance(), &CReaderLine::gone, &m_watch,
        [this](void* handle, bool reading, bool told) { lose(handle, reading, told); }, Qt::QueuedConnection);
}

QString CReaderConnection::openPrefix(int port)
{
    return QString::asprintf("Open ComPort %d: ", port);
}

bool CReaderConnection::report(const QString& caption, const QString& prefix, int code) const
{
    return m_quiet ? code == 0 : ReportFailure(m_owner, caption, prefix, code);
}

void CReaderConnection::note(const QString& text)
{
    m_noteEnd.stop();
    if (m_showNote)
        m_showNote(text);
}

bool CReaderConnection::connect(int port)
{
    stopWatching();
    note(kSearching.arg(port));
    return open(port, false);
}

bool CReaderConnection::open(int port, bool quiet)
{
    ReaderLibrary& library = ReaderLibrary::instance();
    m_quiet = quiet;
    m_busy = true;
    m_connected = false;
    m_port = port;

    const auto done = [this](bool handedOver) {
        if (!handedOver && m_quiet && m_connected)
            disconnect();
        m_busy = false;
        m_quiet = false;
        return handedOver;
    };

    ReaderHandle handle = nullptr;
    int family = -1;
    const int opened = library.openSerial(port, &handle, &family);
    // The search is over: its note goes before any message.
    if (!quiet)
        note(QString());
    if (!report(QStringLiteral("brnOpenSerial()"), openPrefix(port), opened))
        return done(false);
    m_handle = handle;
    m_family = family;

    std::uint32_t duration = 0;
    if (!report(QStringLiteral("brnGetReadSessionDuration()"), QString(),
                library.getReadSessionDuration(m_handle, kSessionNumber, &duration))) {
        disconnect();
        return done(false);
    }
    m_connected = true;

    // Shorter sessions leave the reader too little time for an inventory.
    duration = std::max(duration, kMinReadSessionMs);
    if (!report(QStringLiteral("brnSetReadSessionDuration()"), QString(),
                library.setReadSessionDuration(m_handle, kSessionNumber, duration)))
        return done(false);

    if (!report(QStringLiteral("brnSetSortingBufferDepth()"), QString(),
                library.setSortingBufferDepth(m_handle, CSettings().sorting())))
        return done(false);

    for (CTaggingPage* page : m_pages)
        page->setReaderHandle(m_handle);
    return done(true);
}

void CReaderConnection::disconnect()
{
    const bool busy = m_busy;
    m_busy = true;
    for (CTaggingPage* page : m_pages)
        if (page->isReading())
            page->stopReading();
    report(QStringLiteral("brnClose()"), QString(), ReaderLibrary::instance().close(m_handle));
    m_connected = false;
    // The handle of a closed reader is never used again.
    m_handle = nullptr;
    for (CTaggingPage* page : m_pages)
        page->setReaderHandle(nullptr);
    m_busy = busy;
}

bool CReaderConnection::changePort(int port)
{
    stopWatching();
    if (m_connected)
        disconnect();
    return connect(port);
}

void CReaderConnection::lose(ReaderHandle handle, bool reading, bool told)
{
    // News of a reader closed since, or being opened or closed right now.
    if (m_busy || !m_connected || handle != m_handle)
        return;
    const int port = m_port;
    // A gone reader's close has nothing to tell staff.
    m_quiet = true;
    disconnect();
    m_quiet = false;
    m_lostPort = port;
    m_retryMs = kFirstRetryMs;
    m_nextAttempt = QDeadlineTimer(0);
    m_watch.start();
    note(kLost.arg(port));
    if (!told)
        programMessage(m_owner, (reading ? kReadingEnded + QLatin1Char('\n') : QString()) + kReaderGoneAdvice);
}

void CReaderConnection::stopWatching()
{
    m_watch.stop();
    m_lostPort = 0;
}

void CReaderConnection::lookForLostReader()
{
    if (!isLost() || m_busy || !portPresent(m_lostPort) || !m_nextAttempt.hasExpired())
        return;
    const int port = m_lostPort;
    note(kReconnecting.arg(port));
    if (open(port, true)) {
        stopWatching();
        note(kBack.arg(port));
        m_noteEnd.start(kBackNoteMs);
        return;
    }
    // Nothing answered (yet): wait longer before the next full open.
    m_nextAttempt = QDeadlineTimer(m_retryMs);
    m_retryMs = std::min(2 * m_retryMs, kLastRetryMs);
    note(kLost.arg(port));
}
