#include "rewrite_tag_dlg.h"

#include "barcode.h"
#include "holdings.h"
#include "reader_calls.h"
#include "standard_tag.h"
#include "ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

CRewriteTagDlg::CRewriteTagDlg(CurrentReader reader, QWidget* parent)
    : QDialog(parent),
      m_reader(std::move(reader)),
      m_writeLibrary(new QCheckBox(QStringLiteral("写"), this)),
      m_lockLibrary(new QCheckBox(QStringLiteral("锁"), this)),
      m_libraryId(new QLineEdit(this)),
      m_writeHoldings(new QCheckBox(QStringLiteral("写"), this)),
      m_reference(new QCheckBox(QStringLiteral("是否参考文献"), this)),
      m_mediaType(new QComboBox(this)),
      m_location(new QComboBox(this)),
      m_writeEas(new QCheckBox(QStringLiteral("写"), this)),
      m_eas(new QComboBox(this)),
      m_start(new QPushButton(QStringLiteral("开始写&B"), this)),
      m_exit(new QPushButton(QStringLiteral("退出&X"), this))
{
    setWindowTitle(kTitle);

    auto* library = new QGroupBox(QStringLiteral("馆标识"), this);
    auto* libraryLayout = new QGridLayout(library);
    libraryLayout->addWidget(m_writeLibrary, 0, 0);
    libraryLayout->addWidget(m_lockLibrary, 0, 1);
    libraryLayout->addWidget(new QLabel(QStringLiteral("馆标识"), library), 1, 0);
    libraryLayout->addWidget(m_libraryId, 1, 1);

    auto* holdings = new QGroupBox(QStringLiteral("馆藏项"), this);
    auto* holdingsLayout = new QGridLayout(holdings);
    holdingsLayout->addWidget(m_writeHoldings, 0, 0);
    holdingsLayout->addWidget(m_reference, 0, 1);
    holdingsLayout->addWidget(new QLabel(QStringLiteral("文献类型"), holdings), 1, 0);
    holdingsLayout->addWidget(m_mediaType, 1, 1);
    holdingsLayout->addWidget(new QLabel(QStringLiteral("馆藏地点"), holdings), 2, 0);
    holdingsLayout->addWidget(m_location, 2, 1);

    auto* eas = new QGroupBox(QStringLiteral("EAS"), this);
    auto* easLayout = new QHBoxLayout(eas);
    easLayout->addWidget(m_writeEas);
    easLayout->addWidget(m_eas, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_start);
    buttons->addWidget(m_exit);
    m_start->setDefault(true);
    m_exit->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(library);
    layout->addWidget(holdings);
    layout->addWidget(eas);
    layout->addLayout(buttons);

    // Opening: first entries, value controls off until their group is ticked.
    m_mediaType->addItems(kMediaTypes);
    m_location->addItems(kHoldingLocations);
    m_eas->addItems({QStringLiteral("ON"), QStringLiteral("OFF")});
    m_mediaType->setCurrentIndex(0);
    m_location->setCurrentIndex(0);
    m_eas->setCurrentIndex(0);
    m_reference->setVisible(false);
    enableGroups();

    for (QCheckBox* box : {m_writeLibrary, m_writeHoldings, m_writeEas})
        connect(box, &QCheckBox::toggled, this, &CRewriteTagDlg::enableGroups);
    connect(m_start, &QPushButton::clicked, this, &CRewriteTagDlg::startWriting);
    connect(m_exit, &QPushButton::clicked, this, &CRewriteTagDlg::accept);
}

void CRewriteTagDlg::enableGroups()
{
    m_libraryId->setEnabled(m_writeLibrary->isChecked());
    for (QWidget* control : {static_cast<QWidget*>(m_reference), static_cast<QWidget*>(m_mediaType),
                             static_cast<QWidget*>(m_location)})
        control->setEnabled(m_writeHoldings->isChecked());
    m_eas->setEnabled(m_writeEas->isChecked());
}

bool CRewriteTagDlg::buildItem(brnItem& item) const
{
    if (!m_writeLibrary->isChecked() && !m_lockLibrary->isChecked() && !m_writeHoldings->isChecked()
        && !m_writeEas->isChecked())
        return false;
    item = brnItem{};
    item.blockSize = BRN_BLOCK_SIZE;
    item.itemType = BRN_ITEM_TYPE_BOOK;
    // The number (blocks 0 and 1) is never part of a rewrite.
    if (m_writeEas->isChecked()) {
        item.validMask |= BRN_ITEM_EAS;
        item.easState = m_eas->currentIndex() < 1 ? 1 : 0;
    }
    if (m_lockLibrary->isChecked()) {
        item.validMask |= BRN_ITEM_LOCKS;
        item.lockMask = BRN_ITEM_LIBRARY;
    }
    if (m_writeLibrary->isChecked()) {
        item.validMask |= BRN_ITEM_LIBRARY;
        item.libraryId = unsignedFromText(m_libraryId->text());
    }
    if (m_writeHoldings->isChecked()) {
        item.validMask |= BRN_ITEM_BLOCK2;
        item.book.referenceFlag = m_reference->isChecked() ? 1 : 0;
        item.book.mediaType = mediaTypeCode(m_mediaType->currentText());
        item.book.location = holdingLocationCode(m_location->currentIndex());
    }
    return true;
}

void CRewriteTagDlg::startWriting()
{
    brnItem item{};
    if (!buildItem(item)) {
        programMessage(this, kNothingChosen);
        return;
    }
    // The tag staff laid on the reader, and no other one beside it. Blocks
    // or locks written to another library's tag spoil it: only when staff
    // say so (the EAS bit alone leaves its data as it is).
    const ReaderHandle reader = m_reader();
    if (!OneTagOnReader(this, reader))
        return;
    if ((item.validMask & ~BRN_ITEM_EAS) && !MayWriteOverTag(this, reader))
        return;
    if (ReportReaderFailure(this, QStringLiteral("brnWriteItems()"), reader,
                            ReaderLibrary::instance().writeItems(reader, &item)))
        programMessage(this, kRewritten);
}
