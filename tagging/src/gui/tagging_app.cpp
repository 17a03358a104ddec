#include "tagging_app.h"

#include "loop_bridge.h"
#include "main_frame.h"
#include "settings.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe from the signal handler to the event loop.
int g_signalPipe[2] = {-1, -1};

void noteSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void CTaggingApp::nameApplication()
{
    setOrganizationName(CSettings::kOrganisation);
    setApplicationName(CSettings::kApplication);
    setApplicationVersion(QStringLiteral(TAGGING_VERSION));
}

CTaggingApp::CTaggingApp(int& argc, char** argv) : QApplication(argc, argv)
{
    nameApplication();
    m_bridge = std::make_unique<CLoopBridge>();
    closeOnSignals();
}

void CTaggingApp::closeOnSignals()
{
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_signals = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signals, &QSocketNotifier::activated, this, &CTaggingApp::signalled);
    struct sigaction action = {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void CTaggingApp::signalled()
{
    char bytes[16];
    while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    // As the exit button: the main window closes. The event loop ends even
    // where a message box is up, so that nothing waits for staff.
    if (m_frame)
        m_frame->close();
    quit();
}

// The window (and with it the form and the reader connection) goes before
// the bridge, so that closing the reader still finds its loop driven.
CTaggingApp::~CTaggingApp()
{
    m_frame.reset();
    m_bridge.reset();
}

void CTaggingApp::initInstance()
{
    m_frame = std::make_unique<CMainFrame>();
    m_frame->showMaximized();
}
