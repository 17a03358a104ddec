#include "readerconnection.h"

#include "settings.h"
#include "taggingpage.h"

#include <algorithm>

CReaderConnection::CReaderConnection(QWidget* owner) : m_owner(owner)
{
}

QString CReaderConnection::openPrefix(int port)
{
    return QString::asprintf("Open ComPort %d: ", port);
}

void CReaderConnection::note(const QString& text)
{
    if (m_showNote)
        m_showNote(text);
}

bool CReaderConnection::connect(int port)
{
    note(kSearching.arg(port));
    const bool connected = open(port);
    note(QString());
    return connected;
}

bool CReaderConnection::open(int port)
{
    ReaderLibrary& library = ReaderLibrary::instance();
    m_connected = false;
    m_port = port;

    ReaderHandle handle = nullptr;
    int family = -1;
    if (!ReportFailure(m_owner, QStringLiteral("brnOpenSerial()"), openPrefix(port),
                       library.openSerial(port, &handle, &family)))
        return false;
    m_handle = handle;
    m_family = family;

    std::uint32_t duration = 0;
    if (!ReportFailure(m_owner, QStringLiteral("brnGetReadSessionDuration()"),
                       library.getReadSessionDuration(m_handle, kSessionNumber, &duration))) {
        disconnect();
        return false;
    }
    m_connected = true;

    // Shorter sessions leave the reader too little time for an inventory.
    duration = std::max(duration, kMinReadSessionMs);
    if (!ReportFailure(m_owner, QStringLiteral("brnSetReadSessionDuration()"),
                       library.setReadSessionDuration(m_handle, kSessionNumber, duration)))
        return false;

    if (!ReportFailure(m_owner, QStringLiteral("brnSetSortingBufferDepth()"),
                       library.setSortingBufferDepth(m_handle, CSettings().sorting())))
        return false;

    for (CTaggingPage* page : m_pages)
        page->setReaderHandle(m_handle);
    return true;
}

void CReaderConnection::disconnect()
{
    for (CTaggingPage* page : m_pages)
        if (page->isReading())
            page->stopReading();
    ReportFailure(m_owner, QStringLiteral("brnClose()"), ReaderLibrary::instance().close(m_handle));
    m_connected = false;
    // The handle of a closed reader is never used again.
    m_handle = nullptr;
    for (CTaggingPage* page : m_pages)
        page->setReaderHandle(nullptr);
}

bool CReaderConnection::changePort(int port)
{
    if (m_connected)
        disconnect();
    return connect(port);
}
