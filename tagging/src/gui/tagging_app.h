// The application object: names the settings store, drives the platform
// message loop of the user-interface thread from Qt's event loop, creates
// the main window and shows it maximised.
//
// SIGTERM (shutdown, logout), SIGINT and SIGHUP close the program as the
// exit button "退 出" does: the main window closes, the form disconnects and
// stores the chosen port, each page stores its choices and appends its
// workload line.
#pragma once

#include <QApplication>

#include <memory>

class CLoopBridge;
class CMainFrame;
class QSocketNotifier;

class CTaggingApp : public QApplication {
    Q_OBJECT
public:
    CTaggingApp(int& argc, char** argv);
    ~CTaggingApp() override;

    // Names the settings store (organisation and program) and the program's
    // version; needs no application object. No display name is set: the
    // window system would add it to every caption ("参数设置 — Tagging").
    static void nameApplication();

    // Creates and shows the main window.
    void initInstance();
    CMainFrame* mainFrame() const { return m_frame.get(); }

private:
    // The signals' handler only notes them; they are acted on here, in the
    // event loop.
    void closeOnSignals();
    void signalled();

    QSocketNotifier* m_signals = nullptr;
    std::unique_ptr<CLoopBridge> m_bridge;
    std::unique_ptr<CMainFrame> m_frame;
};
