#include "check_tag_page.h"

#include "reader_calls.h"
#include "ui.h"

#include <grid.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

// The EAS cell: "ON" or "OFF" when the EAS state was read, else empty.
QString easText(const brnItem& item)
{
    if (!(item.validMask & BRN_ITEM_EAS))
        return {};
    return item.easState != 0 ? QStringLiteral("ON") : QStringLiteral("OFF");
}

std::vector<CDataGrid::Column> checkColumns()
{
    std::vector<CDataGrid::Column> columns;
    const std::pair<QString, int> headings[] = {
        {QStringLiteral("类型"), 50},         {QStringLiteral("EAS"), 50},      {QStringLiteral("条码号"), 80},
        {QStringLiteral("馆标识"), 80},       {QStringLiteral("是否参考文献"), 50},
        {QStringLiteral("馆藏地点"), 50},     {QStringLiteral("文献类型"), 50},
    };
    for (const auto& [heading, width] : headings)
        columns.push_back({heading, width, CDataGrid::CellType::Text, {}, 0});
    return columns;
}

} // namespace

CCheckTagPage::CCheckTagPage(QWidget* parent)
    : CTaggingPage(kCaption, parent),
      m_mainDataOnly(new QCheckBox(QStringLiteral("仅读主标识数据"), this)),
      m_checkEas(new QCheckBox(QStringLiteral("检查EAS"), this)),
      m_checkLocks(new QCheckBox(QStringLiteral("检查加锁状态"), this)),
      m_start(new QPushButton(QStringLiteral("开始检查&C"), this)),
      m_stop(new QPushButton(QStringLiteral("停止&S"), this)),
      m_counter(new QLabel(QStringLiteral("0"), this)),
      m_grid(new CDataGrid(this))
{
    m_mainDataOnly->setChecked(true);
    m_grid->setEditable(false);
    m_grid->setColumns(checkColumns());
    m_grid->setSelectionBehavior(CDataGrid::SelectRows);
    setButtons(false);
    connect(m_start, &QPushButton::clicked, this, &CCheckTagPage::start);
    connect(m_stop, &QPushButton::clicked, this, &CCheckTagPage::stop);

    styleCounter(m_counter);
    auto* options = new QHBoxLayout;
    for (QCheckBox* box : {m_mainDataOnly, m_checkEas, m_checkLocks})
        options->addWidget(box);
    options->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    buttons->addStretch();
    buttons->addWidget(m_counter);

    auto* page = new QVBoxLayout(this);
    page->addLayout(options);
    page->addLayout(buttons);
    page->addWidget(new QLabel(QStringLiteral("标签信息"), this));
    page->addWidget(m_grid, 1);
}

void CCheckTagPage::setButtons(bool reading)
{
    m_start->setEnabled(!reading);
    m_stop->setEnabled(reading);
}

std::uint32_t CCheckTagPage::requestMask() const
{
    std::uint32_t mask = m_mainDataOnly->isChecked() ? kMainDataMask : kAllDataMask;
    if (m_checkEas->isChecked())
        mask |= BRN_ITEM_EAS;
    if (m_checkLocks->isChecked())
        mask |= BRN_ITEM_LOCKS;
    return mask;
}

void CCheckTagPage::start()
{
    m_reported = 0;
    m_counter->setText(QStringLiteral("0"));
    if (isReading())
        stopReading();
    m_grid->deleteAllRows();
    m_grid->redraw();
    startReading(requestMask());
    // Swapped even when the start failed: Stop is how staff start over.
    setButtons(true);
}

void CCheckTagPage::stop()
{
    stopReading();
    setButtons(false);
}

void CCheckTagPage::tagRead(const brnItem& item, const StandardTag* standard)
{
    ++m_reported;
    m_counter->setText(QString::number(m_reported));
    // Room for the new row: the oldest beyond the cap goes.
    while (m_grid->rows() >= kMaxRows)
        m_grid->deleteRow(m_grid->rows() - 1);
    const QStringList cells = standard ? standardRow(item, *standard) : checkRow(item);
    m_grid->insertRowTexts(0, cells);
    widenColumnsFor(cells);
    if (standard ? standard->itemId.isEmpty() : item.itemId == 0)
        Ui::instance().beep();
    m_grid->redraw();
}

void CCheckTagPage::widenColumnsFor(const QStringList& cells)
{
    // Room for the cell's margins beside the text.
    constexpr int kCellPadding = 10;
    const QFontMetrics metrics(m_grid->font());
    for (int col = 0; col < cells.size(); ++col) {
        const int needed = metrics.horizontalAdvance(cells[col]) + kCellPadding;
        if (needed > m_grid->columnWidth(col))
            m_grid->setColumnWidth(col, needed);
    }
}

QStringList CCheckTagPage::standardRow(const brnItem& item, const StandardTag& tag)
{
    QStringList row(7);
    row[0] = tag.model;
    row[1] = easText(item);
    row[2] = tag.itemId;
    row[3] = tag.owner;
    return row;
}

QStringList CCheckTagPage::checkRow(const brnItem& item)
{
    QStringList row(7);
    row[0] = item.itemType == BRN_ITEM_TYPE_BOOK          ? QStringLiteral("图书")
             : item.itemType == BRN_ITEM_TYPE_PATRON_CARD ? QStringLiteral("读者证")
                                                          : QStringLiteral("---");
    row[1] = easText(item);
    if (item.validMask & BRN_ITEM_IDENTITY)
        row[2] = numberCell(item, 11);
    if (item.validMask & BRN_ITEM_LIBRARY)
        row[3] = libraryCell(item);
    if (item.itemType == BRN_ITEM_TYPE_BOOK && (item.validMask & BRN_ITEM_BLOCK2)) {
        const QStringList holdings = holdingCells(item);
        for (int i = 0; i < holdings.size(); ++i)
            row[4 + i] = holdings[i];
    }
    return row;
}
