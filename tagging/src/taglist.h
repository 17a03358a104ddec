// The list of a tagging page, rows newest on top, in one of two modes:
//   1: tag rows: "类型" 80, "EAS" 40, "条码号" 120, "馆标识" 120,
//      "是否参考文献" 100, "馆藏地点" 80, "文献类型" 80 (pixels);
//   2: workload lines: "工作量  [ 开始时间 ] -- [ 完成时间 ]" 500.
// Switching the mode removes every row and column and puts in the mode's own
// columns. A new list has no mode (0) and no columns.
#pragma once

#include <QTreeWidget>

class CTagList : public QTreeWidget {
    Q_OBJECT
public:
    enum Mode { NoMode = 0, TagRows = 1, WorkloadLines = 2 };

    explicit CTagList(QWidget* parent = nullptr);

    int mode() const { return m_mode; }
    void setMode(int mode);

    void deleteAllRows() { clear(); }
    int rowCount() const { return topLevelItemCount(); }
    // Inserts a row at the top; cells beyond the columns are dropped.
    void insertTopRow(const QStringList& cells);
    QString cellText(int row, int col) const;

private:
    int m_mode = NoMode;
};
