#include "loop_bridge.h"

#include <platform/loop.h>

#include <QSocketNotifier>
#include <QTimer>

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
    m_loop.dispatchPending();
}
