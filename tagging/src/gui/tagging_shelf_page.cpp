#include "tagging_shelf_page.h"

#include "barcode_edit.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

const CTagList::Columns kShelfColumns{
    {QStringLiteral("类型"), 80},
    {QStringLiteral("EAS"), 40},
    {QStringLiteral("条码号"), 120},
    {QStringLiteral("馆标识"), 120},
};

} // namespace

CTaggingShelfPage::CTaggingShelfPage(QWidget* parent)
    : CTaggingWritePage(kCaption, kShelfColumns, parent),
      m_eas(new QCheckBox(QStringLiteral("标签带EAS"), this))
{
    // Shelf tags are never locked.
    lockBox()->setChecked(false);

    auto* fields = new QGridLayout;
    fields->addWidget(fieldLabel(QStringLiteral("图书馆标识"), libraryIdField()), 0, 0);
    fields->addWidget(libraryIdField(), 0, 1);
    fields->addWidget(fieldLabel(QStringLiteral("条码号"), barcodeField()), 1, 0);
    fields->addWidget(barcodeField(), 1, 1);
    fields->addWidget(m_eas, 1, 2);
    fields->addWidget(lockBox(), 1, 3);
    fields->setColumnStretch(1, 2);
    fields->setColumnStretch(4, 1);
    layOutPage(fields);
}

void CTaggingShelfPage::buildItem(const QString& text, brnItem& item) const
{
    setIdentity(item, BRN_ITEM_TYPE_SHELF_TAG, text);
    // Without the tick the tag's anti-theft bit is not touched at all.
    if (m_eas->isChecked()) {
        item.validMask |= BRN_ITEM_EAS;
        item.easState = 1;
    }
}

QStringList CTaggingShelfPage::shelfRow(const brnItem& item)
{
    return {typeCell(item, true), easCell(item), numberCell(item, kDigits), libraryCell(item)};
}
