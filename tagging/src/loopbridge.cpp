#include "loopbridge.h"

#include <platform/loop.h>

#include <QSocketNotifier>
#include <QTimer>

#include <poll.h>

namespace {

// How long the bridge rests when the loop stays due without anything to run.
constexpr int kRestMs = 5;

bool readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

} // namespace

CLoopBridge::CLoopBridge(QObject* parent)
    : QObject(parent),
      m_loop(platform::MessageLoop::current()),
      m_notifier(new QSocketNotifier(m_loop.wakeFd(), QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &CLoopBridge::dispatch);
    // Whatever fell due before the bridge existed.
    QTimer::singleShot(0, this, &CLoopBridge::dispatch);
}

CLoopBridge::~CLoopBridge() = default;

void CLoopBridge::dispatch()
{
    ++m_dispatches;
    if (m_loop.dispatchPending() > 0 || !readable(m_loop.wakeFd()))
        return;
    // Due, yet nothing could run: a watcher whose descriptor is readable is
    // still inside its own callback, further up this thread's stack (which
    // runs a nested Qt loop). Rest instead of spinning until it returns.
    m_notifier->setEnabled(false);
    QTimer::singleShot(kRestMs, this, [this] { m_notifier->setEnabled(true); });
}
