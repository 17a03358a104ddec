// The one reader connection of the program, owned by the form.
//
// Connect opens the reader on a serial port, raises the read session
// duration to at least 50 ms, sets the sorting buffer depth from the
// settings ("Reader" / Sorting, default 80) and hands the reader handle to
// every page. Disconnect stops each page's reading first, then closes the
// reader and takes the handle back from the pages. Every failed library call
// is reported (ReportFailure, reader_calls.h) and ends the step it is in.
//
// A reader whose line goes (unplugged, switched off with its adapter) is
// closed and the pages lose its handle; staff are told once (the failure
// that found it says so, or a message when continuous reading found it), and
// a note on the form says what to do. While the reader is lost, a cheap look
// every second tells whether the port's device is back; only then is the
// reader opened again, quietly, and a failed attempt waits longer before the
// next one (5 s, doubling to a minute), so that the window does not freeze
// over and over while nothing answers. Choosing a port ends the waiting.
//
// The form shows the connection's notes: while a reader is looked for (the
// speed scan takes seconds when nothing answers), while it is lost, and for a
// moment after it came back.
#pragma once

#include "reader_calls.h"

#include <QDeadlineTimer>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class CTaggingPage;
class QWidget;

class CReaderConnection {
public:
    static constexpr std::uint32_t kMinReadSessionMs = 50;
    static constexpr std::uint32_t kSessionNumber = 4;
    // While lost: how often the port's device is looked for, and how long
    // after a failed attempt the next one comes (doubling up to the last).
    static constexpr int kWatchMs = 1000;
    static constexpr int kFirstRetryMs = 5000;
    static constexpr int kLastRetryMs = 60000;
    static constexpr int kBackNoteMs = 5000;

    // The notes (%1: the port number).
    static inline const QString kSearching = QStringLiteral("正在 COM%1 上查找阅读器，请稍候……");
    static inline const QString kLost =
        QStringLiteral("阅读器（COM%1）的连接断开了：请重新接好阅读器，阅读器应答后程序会自动重新连接。");
    static inline const QString kReconnecting = QStringLiteral("正在重新连接 COM%1 上的阅读器，请稍候……");
    static inline const QString kBack = QStringLiteral("阅读器（COM%1）已重新连接。");
    // The message when continuous reading found the reader gone.
    static inline const QString kReadingEnded = QStringLiteral("阅读器的连接断开了，连续读标签已停止。");

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
    // The reader's line went and it has not come back yet.
    bool isLost() const { return m_lostPort != 0; }
    // The port of the last connection attempt.
    int port() const { return m_port; }
    ReaderHandle handle() const { return m_handle; }
    int family() const { return m_family; }

    // The prefix of a failed open's message: "Open ComPort 3: ".
    static QString openPrefix(int port);

    // While lost, every kWatchMs: when the port's device is there and the
    // wait after the last attempt is over, the reader is opened again.
    void lookForLostReader();

private:
    // Connect; quietly: without failure messages, closing again whatever
    // opened when a later step fails.
    bool open(int port, bool quiet);
    bool report(const QString& caption, const QString& prefix, int code) const;
    // The line of handle has gone (CReaderLine).
    void lose(ReaderHandle handle, bool reading, bool told);
    void stopWatching();
    void note(const QString& text);

    QWidget* m_owner;
    std::vector<CTaggingPage*> m_pages;
    int m_port = 0;
    ReaderHandle m_handle = nullptr;
    int m_family = -1;
    bool m_connected = false;
    bool m_quiet = false;
    bool m_busy = false;   // opening or closing: a gone line is being dealt with there
    NoteShower m_showNote;

    int m_lostPort = 0;
    int m_retryMs = kFirstRetryMs;
    QDeadlineTimer m_nextAttempt;
    QTimer m_watch;
    QTimer m_noteEnd;
};
