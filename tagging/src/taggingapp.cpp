#include "taggingapp.h"

#include "loopbridge.h"
#include "mainframe.h"
#include "settings.h"

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
