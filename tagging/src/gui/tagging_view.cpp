#include "tagging_view.h"

#include "check_tag_page.h"
#include "page_sheet.h"
#include "settings.h"
#include "tagging_book_page.h"
#include "tagging_card_page.h"
#include "tagging_shelf_page.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kControlHeight = 26;
constexpr int kControlGap = 10;   // between the controls and the sheet, and beside each other
constexpr int kNoteHeight = 26;

} // namespace

CTaggingView::CTaggingView(QWidget* parent)
    : QWidget(parent),
      m_portLabel(new QLabel(kPortLabel, this)),
      m_note(new QLabel(this)),
      m_portList(new QComboBox(this)),
      m_exit(new QPushButton(kExitText, this)),
      m_sheet(new CPageSheet(this)),
      m_connection(this)
{
    for (int port = 1; port <= CSettings::kPorts; ++port)
        m_portList->addItem(QStringLiteral("COM%1").arg(port));
    m_portList->setCurrentIndex(CSettings().comPort());
    connect(m_portList, &QComboBox::activated, this, &CTaggingView::portChosen);
    connect(m_exit, &QPushButton::clicked, this, [this] { window()->close(); });
    m_note->setAlignment(Qt::AlignCenter);
    m_note->setStyleSheet(QStringLiteral("QLabel { background: #fff3b0; color: #3a2c00; border: 1px solid #c9a227;"
                                         " font-weight: bold; padding: 0 8px; }"));
    m_note->hide();
    m_connection.setNoteShower([this](const QString& note) { showNote(note); });
    createPages();
}

CTaggingView::~CTaggingView()
{
    if (m_connection.isConnected())
        m_connection.disconnect();
    CSettings().setComPort(m_portList->currentIndex());
    // Each page closes now, in the order the pages were made.
    for (CTaggingPage* page : m_pages) {
        page->closing();
        delete page;
    }
}

void CTaggingView::createPages()
{
    // One line per page, in the order they hear of connections. Every page
    // is offered to staff on the sheet, the book page in front.
    m_bookPage = addPage(std::make_unique<CTaggingBookPage>(), Place::Sheet);
    m_cardPage = addPage(std::make_unique<CTaggingCardPage>(), Place::Sheet);
    m_shelfPage = addPage(std::make_unique<CTaggingShelfPage>(), Place::Sheet);
    m_checkPage = addPage(std::make_unique<CCheckTagPage>(), Place::Sheet);
}

template <class Page>
Page* CTaggingView::addPage(std::unique_ptr<Page> page, Place place)
{
    Page* p = page.release();   // owned by the form from here, deleted in its destructor
    if (place == Place::Sheet) {
        m_sheet->addPage(p);
    } else {
        p->setParent(this);
        p->hide();
    }
    m_pages.push_back(p);
    m_connection.addPage(p);
    return p;
}

void CTaggingView::showEvent(QShowEvent*)
{
    if (m_shown)
        return;
    m_shown = true;
    m_background.load(kBackground);
    // Connect once the form is drawn on the screen with its note, so that
    // staff see what the program is doing and a failure's message box comes
    // up over it.
    m_note->setText(CReaderConnection::kSearching.arg(m_portList->currentIndex() + 1));
    m_note->show();
    m_startDue = true;
}

void CTaggingView::start()
{
    m_connection.connect(m_portList->currentIndex() + 1);
    emit started();
}

void CTaggingView::showNote(const QString& note)
{
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
    if (note.isEmpty() || !isVisible())
        return;
    // Drawn and sent to the screen now: a blocking open may follow.
    m_note->repaint();
}

void CTaggingView::portChosen(int index)
{
    m_connection.changePort(index + 1);
}

QRect CTaggingView::sheetArea() const
{
    return rect()
        .adjusted(kEdge, kEdge, -kEdge, -kEdge)
        .adjusted(kSheetLeft, kSheetTop, -kSheetRight, -kSheetBottom);
}

QPoint CTaggingView::backgroundOrigin() const
{
    return {std::max(0, (width() - m_background.width()) / 2), std::max(0, (height() - m_background.height()) / 2)};
}

void CTaggingView::resizeEvent(QResizeEvent*)
{
    const QRect area = sheetArea();
    m_sheet->setGeometry(area);

    // The port choice above the sheet's left end, the exit button above its right end.
    const int top = area.top() - kControlGap - kControlHeight;
    const int labelWidth = m_portLabel->sizeHint().width();
    m_portLabel->setGeometry(area.left(), top, labelWidth, kControlHeight);
    m_portList->setGeometry(area.left() + labelWidth + kControlGap, top, 100, kControlHeight);
    const int exitWidth = std::max(90, m_exit->sizeHint().width());
    m_exit->setGeometry(area.right() + 1 - exitWidth, top, exitWidth, kControlHeight);

    // The note in the margin below the sheet.
    m_note->setGeometry(area.left(), area.bottom() + 1 + (kSheetBottom - kNoteHeight) / 2, area.width(), kNoteHeight);
}

void CTaggingView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_background.isNull())
        painter.drawPixmap(backgroundOrigin(), m_background);
    if (m_startDue) {
        m_startDue = false;
        QTimer::singleShot(0, this, &CTaggingView::start);
    }
}
