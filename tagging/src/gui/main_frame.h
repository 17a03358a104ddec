// The main window: no caption, no sizing frame, no menu and no status bar;
// a sunken edge around the form; placed at the top-left corner of the screen
// with the screen's full width and height.
#pragma once

#include <QMainWindow>

class CTaggingView;
class QFrame;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    CTaggingView* view() const { return m_view; }

    // Covers the screen the window is on.
    void coverScreen();

private:
    QFrame* m_edge;
    CTaggingView* m_view;
};
