// The list of a tagging page, rows newest on top, in one of two modes:
//   1: tag rows, in the page's own columns; by default the book page's:
//      "类型" 80, "EAS" 40, "条码号" 120, "馆标识" 120, "是否参考文献" 100,
//      "馆藏地点" 80, "文献类型" 80 (pixels);
//   2: workload lines: "工作量  [ 开始时间 ] -- [ 完成时间 ]" 500.
// Switching the mode removes every row and column and puts in the mode's own
// columns. A new list has no mode (0) and no columns.
#pragma once

#include <QTreeWidget>

#include <utility>
#include <vector>

class CTagList : public QTreeWidget {
    Q_OBJECT
public:
    enum Mode { NoMode = 0, TagRows = 1, WorkloadLines = 2 };
    // Headings and widths in pixels.
    using Columns = std::vector<std::pair<QString, int>>;

    static const Columns& bookColumns();

    explicit CTagList(QWidget* parent = nullptr);

    // The columns of tag rows (mode 1), taken at the next switch to mode 1.
    void setTagColumns(Columns columns) { m_tagColumns = std::move(columns); }

    int mode() const { return m_mode; }
    void setMode(int mode);

    void deleteAllRows() { clear(); }
    int rowCount() const { return topLevelItemCount(); }
    // Inserts a row at the top; cells beyond the columns are dropped. In
    // tag row mode a cell wider than its column widens the column: the
    // widths are the least each column gets.
    void insertTopRow(const QStringList& cells);
    QString cellText(int row, int col) const;

    // Shows the workload file (CWorkLogs::readStatistics) in mode 2, newest
    // line on top. A failure shows its program message (owned by owner),
    // leaves the list alone and returns false.
    bool showStatistics(QWidget* owner);

private:
    const Columns& columnSet(int mode) const;

    int m_mode = NoMode;
    Columns m_tagColumns = bookColumns();
};
