// The one reader connection of the program, owned by the form.
//
// Connect opens the reader on a serial port, raises the read session
// duration to at least 50 ms, sets the sorting buffer depth from the
// settings ("Reader" / Sorting, default 80) and hands the reader handle to
// every page. Disconnect stops each page's reading first, then closes the
// reader and takes the handle back from the pages. Every failed library call
// is reported (ReportFailure) and ends the step it is in.
//
// The form shows the connection's note while a reader is looked for: the
// speed scan takes seconds when nothing answers.
#pragma once

#include "readerlibrary.h"

#include <QString>

#include <functional>
#include <vector>

class CTaggingPage;
class QWidget;

class CReaderConnection {
public:
    static constexpr std::uint32_t kMinReadSessionMs = 50;
    static constexpr std::uint32_t kSessionNumber = 4;

    // The note while a reader is looked for (%1: the port number).
    static inline const QString kSearching = QStringLiteral("正在 COM%1 上查找阅读器，请稍候……");

    // Shows a note on the form at once (before a blocking open starts); an
    // empty note takes it away.
    using NoteShower = std::function<void(const QString& note)>;

    // owner: the window that owns the failure messages.
    explicit CReaderConnection(QWidget* owner);
    CReaderConnection(const CReaderConnection&) = delete;
    CReaderConnection& operator=(const CReaderConnection&) = delete;

    // The pages that take part, in the order they hear of it.
    void addPage(CTaggingPage* page) { m_pages.push_back(page); }
    void setNoteShower(NoteShower shower) { m_showNote = std::move(shower); }

    // Opens the reader on serial port COMport. Returns whether the pages
    // received the handle.
    bool connect(int port);
    void disconnect();
    // Another port was chosen: disconnect if connected, then connect.
    bool changePort(int port);

    bool isConnected() const { return m_connected; }
    // The port of the last connection attempt.
    int port() const { return m_port; }
    ReaderHandle handle() const { return m_handle; }
    int family() const { return m_family; }

    // The prefix of a failed open's message: "Open ComPort 3: ".
    static QString openPrefix(int port);

private:
    bool open(int port);
    void note(const QString& text);

    QWidget* m_owner;
    std::vector<CTaggingPage*> m_pages;
    int m_port = 0;
    ReaderHandle m_handle = nullptr;
    int m_family = -1;
    bool m_connected = false;
    NoteShower m_showNote;
};
