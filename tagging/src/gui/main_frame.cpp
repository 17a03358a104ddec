#include "main_frame.h"

#include "tagging_view.h"
#include "ui.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::FramelessWindowHint),
      m_edge(new QFrame(this)),
      m_view(new CTaggingView(m_edge))
{
    setWindowTitle(kProgramCaption);
    m_edge->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    auto* layout = new QVBoxLayout(m_edge);
    layout->setContentsMargins(0, 0, 0, 0);   // the layout already keeps inside the edge
    layout->addWidget(m_view);
    setCentralWidget(m_edge);
    coverScreen();
}

void CMainFrame::coverScreen()
{
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s)
        setGeometry(s->geometry());
}
