#include "page_sheet.h"

#include "tagging_page.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include <algorithm>

CPageSheet::CPageSheet(QWidget* parent) : QWidget(parent), m_tabs(new QTabBar(this))
{
    // The tabs fit in the strip above the pages.
    QFont tabFont = m_tabs->font();
    tabFont.setPixelSize(12);
    m_tabs->setFont(tabFont);
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_tabs->setUsesScrollButtons(true);
    connect(m_tabs, &QTabBar::currentChanged, this, &CPageSheet::switchTo);
}

void CPageSheet::addPage(CTaggingPage* page)
{
    page->setParent(this);
    page->setGeometry(pageRect());
    page->hide();
    m_pages.push_back(page);
    // Adding the first tab makes it current, which brings the page to the front.
    m_tabs->addTab(page->caption());
}

CTaggingPage* CPageSheet::currentPage() const
{
    return m_current < 0 ? nullptr : m_pages[static_cast<std::size_t>(m_current)];
}

void CPageSheet::setCurrentPage(int index)
{
    m_tabs->setCurrentIndex(index);
}

QRect CPageSheet::pageRect() const
{
    return rect().adjusted(kPageLeft, kPageTop, -kPageRight, -kPageBottom);
}

void CPageSheet::switchTo(int index)
{
    if (index == m_current || index < 0 || index >= pageCount())
        return;
    CTaggingPage* leaving = currentPage();
    m_current = index;
    if (leaving) {
        leaving->hide();
        leaving->deactivated();
    }
    CTaggingPage* coming = currentPage();
    coming->setGeometry(pageRect());
    coming->show();
    coming->activated();
}

void CPageSheet::resizeEvent(QResizeEvent*)
{
    m_tabs->setGeometry(2, 0, std::max(0, width() - 4), kPageTop);
    for (CTaggingPage* page : m_pages)
        page->setGeometry(pageRect());
}

void CPageSheet::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(0, kPageTop - 1, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_tabs->sizeHint();
    frame.tabBarRect = m_tabs->geometry();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}
