// The page sheet of the form: a row of tabs over a framed area that shows the
// page in front. Each page is placed 10 pixels from the sheet's left edge and
// 20 pixels from its top, reaching to 5 pixels from its right and bottom
// edges. The page coming to the front is told (activated), and so is the one
// leaving it (deactivated).
#pragma once

#include <QWidget>

#include <vector>

class CTaggingPage;
class QTabBar;

class CPageSheet : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPageLeft = 10;
    static constexpr int kPageTop = 20;
    static constexpr int kPageRight = 5;
    static constexpr int kPageBottom = 5;

    explicit CPageSheet(QWidget* parent = nullptr);

    // Puts page on the sheet (behind the pages already there; the first page
    // added comes to the front). The sheet becomes the page's parent.
    void addPage(CTaggingPage* page);
    int pageCount() const { return static_cast<int>(m_pages.size()); }
    CTaggingPage* page(int index) const { return m_pages.at(static_cast<std::size_t>(index)); }

    CTaggingPage* currentPage() const;
    void setCurrentPage(int index);

    // The rectangle a page covers.
    QRect pageRect() const;
    QTabBar* tabBar() const { return m_tabs; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void switchTo(int index);

    QTabBar* m_tabs;
    std::vector<CTaggingPage*> m_pages;
    int m_current = -1;
};
