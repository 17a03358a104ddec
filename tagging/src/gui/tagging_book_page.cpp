#include "tagging_book_page.h"

#include "barcode_edit.h"
#include "holdings.h"
#include "rewrite_tag_dlg.h"
#include "settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CTaggingBookPage::CTaggingBookPage(QWidget* parent)
    : CTaggingWritePage(kCaption, CTagList::bookColumns(), parent),
      m_location(new QComboBox(this)),
      m_mediaType(new QComboBox(this)),
      m_reference(new QCheckBox(QStringLiteral("是否参考文献（非外借文献）"), this)),
      m_eas(new QCheckBox(QStringLiteral("写 EAS防盗标识"), this)),
      m_rewriteButton(new QPushButton(QStringLiteral("改写标签"), this))
{
    m_location->addItems(kHoldingLocations);
    m_mediaType->addItems(kMediaTypes);
    // Books always get the anti-theft bit.
    m_eas->setChecked(true);
    m_eas->setEnabled(false);
    loadHoldings();
    // Holdings are chosen in the settings dialog only.
    m_location->setEnabled(false);
    m_mediaType->setEnabled(false);
    m_reference->setEnabled(false);
    m_reference->setVisible(false);
    connect(m_rewriteButton, &QPushButton::clicked, this, &CTaggingBookPage::rewrite);
    layOut();
}

void CTaggingBookPage::layOut()
{
    auto* fields = new QGridLayout;
    fields->addWidget(fieldLabel(QStringLiteral("图书馆标识"), libraryIdField()), 0, 0);
    fields->addWidget(libraryIdField(), 0, 1);
    fields->addWidget(fieldLabel(QStringLiteral("馆藏地点"), m_location), 0, 2);
    fields->addWidget(m_location, 0, 3);
    fields->addWidget(fieldLabel(QStringLiteral("文献类型"), m_mediaType), 0, 4);
    fields->addWidget(m_mediaType, 0, 5);
    fields->addWidget(fieldLabel(QStringLiteral("条码号"), barcodeField()), 1, 0);
    fields->addWidget(barcodeField(), 1, 1, 1, 3);
    fields->addWidget(m_eas, 1, 4);
    fields->addWidget(lockBox(), 1, 5);
    fields->addWidget(m_reference, 2, 1, 1, 3);
    fields->setColumnStretch(1, 2);
    fields->setColumnStretch(3, 1);
    fields->setColumnStretch(5, 1);

    layOutPage(fields, {m_rewriteButton});
}

void CTaggingBookPage::loadHoldings()
{
    const CSettings settings;
    m_location->setCurrentIndex(holdingLocationIndex(settings.location()));
    m_reference->setChecked(settings.reference());
    m_mediaType->setCurrentIndex(settings.type());
}

void CTaggingBookPage::buildItem(const QString& text, brnItem& item) const
{
    setIdentity(item, BRN_ITEM_TYPE_BOOK, text);
    if (lockBox()->isChecked()) {
        // The number and library blocks are locked; holdings stay changeable.
        item.validMask |= BRN_ITEM_LOCKS;
        item.lockMask = BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY;
    }
    item.validMask |= BRN_ITEM_EAS;
    item.easState = m_eas->isChecked() ? 1 : 0;
    item.validMask |= BRN_ITEM_BLOCK4 | BRN_ITEM_BLOCK2;
    item.book.referenceFlag = m_reference->isChecked() ? 1 : 0;
    item.book.mediaType = mediaTypeCode(m_mediaType->currentText());
    item.book.location = holdingLocationCode(m_location->currentIndex());
    // The book's dates and the extra blocks are written as zeros.
    item.validMask |= BRN_ITEM_EXTRA;
}

QStringList CTaggingBookPage::bookRow(const brnItem& item)
{
    QStringList row{typeCell(item, false), easCell(item), numberCell(item, 11), libraryCell(item)};
    if (item.itemType != BRN_ITEM_TYPE_BOOK)
        return row;
    row << (item.validMask & BRN_ITEM_BLOCK2 ? holdingCells(item) : unreadBlock2Cells(item));
    return row;
}

void CTaggingBookPage::settingsAccepted()
{
    loadLibraryAndLock();
    loadHoldings();
}

void CTaggingBookPage::storeSettings()
{
    CSettings settings;
    settings.setLocation(m_location->currentText());
    settings.setReference(m_reference->isChecked());
    settings.setType(m_mediaType->currentIndex());
}

void CTaggingBookPage::rewrite()
{
    if (isReading())
        stopReading();
    CRewriteTagDlg dialog([this] { return readerHandle(); }, this);
    dialog.exec();
}
