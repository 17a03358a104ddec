// The form of the main window: the reader port list "COM1" to "COM9" with
// its label "阅读器连接口", the exit button "退 出", the page sheet, and the
// background picture drawn centred on white.
//
// The form owns the reader connection and the pages: the book, patron card,
// shelf tag and tag check pages, created with the form and offered to staff
// on the sheet in this order. A page kept off the sheet would be served all
// the same: each page receives the reader handle on every successful
// connection, has its reading stopped on every disconnection, and is
// destroyed with the form.
//
// When first shown, the form selects the stored port (Com Port, default 2:
// "COM3") and connects once it is on the screen, showing a note meanwhile:
// looking for the reader can take seconds in which the window does not
// answer. Choosing a port reconnects on it. When destroyed, the form
// disconnects, stores the chosen port and then destroys the pages, so each
// page's own closing behaviour runs last.
//
// The connection's notes (looking for the reader, reader lost, reader back)
// show in a bar below the sheet, where the background picture is plain at
// every screen size.
#pragma once

#include "reader_connection.h"

#include <QPixmap>
#include <QWidget>

#include <memory>
#include <vector>

class CCheckTagPage;
class CPageSheet;
class CTaggingBookPage;
class CTaggingCardPage;
class CTaggingPage;
class CTaggingShelfPage;
class QComboBox;
class QLabel;
class QPushButton;

class CTaggingView : public QWidget {
    Q_OBJECT
public:
    // The sheet's margins within the form's client rectangle.
    static constexpr int kEdge = 4;
    static constexpr int kSheetLeft = 100;
    static constexpr int kSheetTop = 165;
    static constexpr int kSheetRight = 100;
    static constexpr int kSheetBottom = 35;

    static inline const QString kPortLabel = QStringLiteral("阅读器连接口");
    static inline const QString kExitText = QStringLiteral("退 出");
    static inline const QString kBackground = QStringLiteral(":/tagging/background.png");

    enum class Place { Sheet, Aside };

    explicit CTaggingView(QWidget* parent = nullptr);
    ~CTaggingView() override;

    CReaderConnection& connection() { return m_connection; }
    CPageSheet* sheet() const { return m_sheet; }
    const std::vector<CTaggingPage*>& pages() const { return m_pages; }
    CTaggingBookPage* bookPage() const { return m_bookPage; }
    CTaggingCardPage* cardPage() const { return m_cardPage; }
    CTaggingShelfPage* shelfPage() const { return m_shelfPage; }
    CCheckTagPage* checkPage() const { return m_checkPage; }
    QComboBox* portList() const { return m_portList; }
    QPushButton* exitButton() const { return m_exit; }
    QLabel* portLabel() const { return m_portLabel; }
    // The connection's note; hidden while there is none.
    QLabel* noteLabel() const { return m_note; }
    const QPixmap& background() const { return m_background; }

    // The rectangle the sheet covers.
    QRect sheetArea() const;
    // Where the background picture is drawn from: centred, or from the
    // form's edge in a direction where the form is smaller than the picture.
    QPoint backgroundOrigin() const;

signals:
    // The first connection attempt, at start, is over.
    void started();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Takes page into the form: onto the sheet or aside, and into the connection.
    template <class Page>
    Page* addPage(std::unique_ptr<Page> page, Place place);
    void createPages();
    void start();
    void portChosen(int index);
    void showNote(const QString& note);

    QLabel* m_portLabel;
    QLabel* m_note;
    QComboBox* m_portList;
    QPushButton* m_exit;
    CPageSheet* m_sheet;
    QPixmap m_background;
    CReaderConnection m_connection;
    std::vector<CTaggingPage*> m_pages;
    CTaggingBookPage* m_bookPage = nullptr;
    CTaggingCardPage* m_cardPage = nullptr;
    CTaggingShelfPage* m_shelfPage = nullptr;
    CCheckTagPage* m_checkPage = nullptr;
    bool m_shown = false;
    bool m_startDue = false;   // connect after the first painting
};
