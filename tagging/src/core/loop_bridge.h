// Drives the platform message loop of the user-interface thread from Qt's
// event loop: whenever that loop has something due (a timer tick, a readable
// descriptor it watches, a callback posted from another thread), its wake
// descriptor becomes readable and the bridge dispatches it. Continuous
// reading's timer of the tag mapping library thus ticks inside
// QApplication::exec(), and its callbacks run on the user-interface thread.
//
// Dispatching is re-entrant: a callback that opens a modal box runs a nested
// Qt loop, and the platform loop keeps being driven from there.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {
class MessageLoop;
}

class CLoopBridge : public QObject {
    Q_OBJECT
public:
    // Bridges the calling thread's platform loop into this thread's Qt loop.
    explicit CLoopBridge(QObject* parent = nullptr);
    ~CLoopBridge() override;

    // How often the bridge dispatched (for tests).
    long long dispatches() const { return m_dispatches; }

private:
    void dispatch();

    platform::MessageLoop& m_loop;
    QSocketNotifier* m_notifier;
    long long m_dispatches = 0;
};
