// The application object: names the settings store, drives the platform
// message loop of the user-interface thread from Qt's event loop, creates
// the main window and shows it maximised.
#pragma once

#include <QApplication>

#include <memory>

class CLoopBridge;
class CMainFrame;

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
    std::unique_ptr<CLoopBridge> m_bridge;
    std::unique_ptr<CMainFrame> m_frame;
};
