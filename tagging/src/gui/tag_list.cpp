#include "tag_list.h"

#include "ui.h"
#include "work_logs.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyledItemDelegate>

#include <utility>
#include <vector>

namespace {

// Workload lines keep their line end in the row; it is not drawn.
class LineEndHidingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        if (value.typeId() != QMetaType::QString)
            return QStyledItemDelegate::displayText(value, locale);
        QString text = value.toString();
        while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        return QStyledItemDelegate::displayText(text, locale);
    }
};

} // namespace

const CTagList::Columns& CTagList::bookColumns()
{
    static const Columns columns{
        {QStringLiteral("类型"), 80},          {QStringLiteral("EAS"), 40},
        {QStringLiteral("条码号"), 120},       {QStringLiteral("馆标识"), 120},
        {QStringLiteral("是否参考文献"), 100}, {QStringLiteral("馆藏地点"), 80},
        {QStringLiteral("文献类型"), 80},
    };
    return columns;
}

const CTagList::Columns& CTagList::columnSet(int mode) const
{
    static const Columns none;
    static const Columns workloadLines{{QStringLiteral("工作量  [ 开始时间 ] -- [ 完成时间 ]"), 500}};
    return mode == TagRows ? m_tagColumns : mode == WorkloadLines ? workloadLines : none;
}

CTagList::CTagList(QWidget* parent) : QTreeWidget(parent)
{
    setItemDelegate(new LineEndHidingDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    setColumnCount(0);
    setHeaderLabels({});
}

void CTagList::setMode(int mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    clear();
    const Columns& set = columnSet(mode);
    QStringList headings;
    for (const auto& column : set)
        headings << column.first;
    setColumnCount(static_cast<int>(set.size()));
    setHeaderLabels(headings);
    for (int col = 0; col < static_cast<int>(set.size()); ++col)
        setColumnWidth(col, set[static_cast<std::size_t>(col)].second);
}

void CTagList::insertTopRow(const QStringList& cells)
{
    auto* row = new QTreeWidgetItem(cells.mid(0, columnCount()));
    insertTopLevelItem(0, row);   // the list owns the row
    if (m_mode != TagRows)
        return;
    // Room for the cell's margins beside the text.
    constexpr int kCellPadding = 12;
    const QFontMetrics metrics(font());
    for (int col = 0; col < row->columnCount(); ++col) {
        const int needed = metrics.horizontalAdvance(row->text(col)) + kCellPadding;
        if (needed > columnWidth(col))
            setColumnWidth(col, needed);
    }
}

QString CTagList::cellText(int row, int col) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(col) : QString();
}

bool CTagList::showStatistics(QWidget* owner)
{
    QStringList pieces;
    if (const QString failure = CWorkLogs::readStatistics(pieces); !failure.isEmpty()) {
        programMessage(owner, failure);
        return false;
    }
    deleteAllRows();
    setMode(WorkloadLines);
    for (const QString& piece : pieces)
        insertTopRow({piece});
    return true;
}
