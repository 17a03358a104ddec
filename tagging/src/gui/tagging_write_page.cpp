#include "tagging_write_page.h"

#include "barcode_edit.h"
#include "parameter_dlg.h"
#include "settings.h"
#include "reader_calls.h"
#include "standard_tag.h"
#include "ui.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CTaggingWritePage::CTaggingWritePage(const QString& caption, CTagList::Columns tagColumns, QWidget* parent)
    : CTaggingPage(caption, parent),
      m_list(new CTagList(this)),
      m_libraryId(new QLineEdit(this)),
      m_barcode(new CBarcodeEdit(this)),
      m_lock(new QCheckBox(QStringLiteral("锁定标签"), this)),
      m_counter(new QLabel(QStringLiteral("0"), this)),
      m_settingsButton(new QPushButton(QStringLiteral("设  置"), this)),
      m_readButton(new QPushButton(QStringLiteral("读标签数据"), this)),
      m_statisticsButton(new QPushButton(QStringLiteral("查统计日志"), this))
{
    m_list->setTagColumns(std::move(tagColumns));
    m_libraryId->setReadOnly(true);
    m_lock->setEnabled(false);
    // The barcode field keeps the focus: the buttons are clicked, not tabbed to.
    for (QPushButton* button : {m_settingsButton, m_readButton, m_statisticsButton})
        button->setFocusPolicy(Qt::NoFocus);

    connect(m_barcode, &CBarcodeEdit::barcodeEntered, this, &CTaggingWritePage::write);
    connect(m_settingsButton, &QPushButton::clicked, this, &CTaggingWritePage::openSettings);
    connect(m_readButton, &QPushButton::clicked, this, &CTaggingWritePage::readTagData);
    connect(m_statisticsButton, &QPushButton::clicked, this, &CTaggingWritePage::showStatistics);
    connect(&CSettingsAccepted::instance(), &CSettingsAccepted::accepted, this, &CTaggingWritePage::takeSettings);

    // Opening.
    const CSettings settings;
    loadLibraryAndLock();
    m_list->setMode(CTagList::TagRows);
    m_verify = settings.verifyWrite();
    setFocusProxy(m_barcode);
}

void CTaggingWritePage::setIdentity(brnItem& item, std::int32_t itemType, const QString& text) const
{
    item.blockSize = BRN_BLOCK_SIZE;
    item.itemType = itemType;
    item.validMask |= BRN_ITEM_IDENTITY;
    item.formatVersion = 1;
    item.typeCode = static_cast<std::uint32_t>(itemType);
    item.itemId = itemIdFromText(text);
    item.validMask |= BRN_ITEM_LIBRARY;
    item.libraryId = unsignedFromText(libraryIdField()->text());
}

void CTaggingWritePage::loadLibraryAndLock()
{
    const CSettings settings;
    m_libraryId->setText(settings.libraryId());
    m_lock->setChecked(settings.setLock());
}

void CTaggingWritePage::layOutPage(QLayout* fields, std::initializer_list<QPushButton*> ownButtons)
{
    styleCounter(m_counter);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_settingsButton, m_readButton, m_statisticsButton})
        buttons->addWidget(button);
    for (QPushButton* button : ownButtons) {
        button->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    buttons->addWidget(m_counter);

    auto* page = new QVBoxLayout(this);
    page->addLayout(fields);
    page->addLayout(buttons);
    page->addWidget(m_list, 1);
}

void CTaggingWritePage::activated()
{
    m_barcode->setFocus();
}

void CTaggingWritePage::setCounter(int value)
{
    m_counter->setText(QString::number(value));
}

void CTaggingWritePage::write()
{
    m_list->setMode(CTagList::TagRows);
    if (isReading())
        stopReading();
    const QString text = m_barcode->text();
    if (!text.isEmpty())
        writeBarcode(text);
    // A scanner types into whatever the field holds: a barcode left there by
    // a write that stopped is replaced by the next scan, not joined to it.
    m_barcode->selectAll();
    m_barcode->setFocus();
}

void CTaggingWritePage::writeBarcode(const QString& text)
{
    // The same barcode twice in a row is one scan too many: the tag has it.
    if (!m_lastBarcode.isEmpty() && text == m_lastBarcode)
        return;
    if (!isWritableNumber(text)) {
        programMessage(this, kNotANumber.arg(text));
        return;
    }
    if (m_workStart.isEmpty())
        m_workStart = m_logs.nowText();
    if (const QString failure = m_logs.open(); !failure.isEmpty()) {
        programMessage(this, failure);
        return;
    }
    brnItem item{};
    buildItem(text, item);
    // The tag staff laid on the reader, and no other one beside it; another
    // library's tag only when staff say so.
    if (!OneTagOnReader(this, readerHandle()) || !MayWriteOverTag(this, readerHandle()))
        return;
    if (!ReportReaderFailure(this, QStringLiteral("brnWriteItems()"), readerHandle(),
                             ReaderLibrary::instance().writeItems(readerHandle(), &item)))
        return;
    switch (verifyWritten(item)) {
    case Verification::Passed:
        accept(item, text);
        break;
    case Verification::Mismatch:
        Ui::instance().message(this, kVerifyCaption, kVerifyMismatch, Ui::Icon::Information);
        break;
    case Verification::ReaderGone:
        break;
    }
}

void CTaggingWritePage::accept(const brnItem& item, const QString& text)
{
    if (clearsListByCount() && m_written % kRowsPerList == 0)
        m_list->deleteAllRows();
    // Row and log line show the number as the library left it.
    addTagRow(tagRow(item));
    m_barcode->clear();
    ++m_written;
    setCounter(m_written);
    if (!m_logs.appendItem(item.itemId, logDigits()))
        tellLineLost();
    m_lastBarcode = text;
}

CTaggingWritePage::Verification CTaggingWritePage::verifyWritten(const brnItem& written)
{
    if (!m_verify)
        return Verification::Passed;
    brnItem back{};
    back.blockSize = BRN_BLOCK_SIZE;
    const int rc = ReaderLibrary::instance().readSingleItem(readerHandle(), kVerifyRetryMs, kVerifyMask, &back);
    if (rc != 0) {
        // A failed read is a failed verification, without a message of its
        // own; unless the reader has gone, which staff are told instead.
        if (ReaderLineGone(readerHandle())) {
            ReportReaderFailure(this, QStringLiteral("brnReadSingleItem()"), readerHandle(), rc);
            return Verification::ReaderGone;
        }
        return Verification::Mismatch;
    }
    return back.itemId == written.itemId ? Verification::Passed : Verification::Mismatch;
}

void CTaggingWritePage::readTagData()
{
    if (isReading())
        stopReading();
    m_list->setMode(CTagList::TagRows);
    m_list->deleteAllRows();
    if (startReading(readRequestMask()))
        m_read = 0;
}

void CTaggingWritePage::tagRead(const brnItem& item, const StandardTag* standard)
{
    // A tag found while the workload is shown brings the tag rows back.
    m_list->setMode(CTagList::TagRows);
    addTagRow(standard ? standardCells(item, *standard) : tagRow(item));
    ++m_read;
}

void CTaggingWritePage::addTagRow(const QStringList& row)
{
    m_list->insertTopRow(row);
}

void CTaggingWritePage::openSettings()
{
    CParameterDlg::openSettings(this);
}

void CTaggingWritePage::takeSettings()
{
    m_barcode->checker().load(true);
    m_verify = CSettings().verifyWrite();
    settingsAccepted();
}

void CTaggingWritePage::showStatistics()
{
    m_list->showStatistics(this);
}

void CTaggingWritePage::tellLineLost()
{
    if (m_logs.lineLostFirstTime())
        programMessage(this, CWorkLogs::kLineLost);
}

void CTaggingWritePage::closing()
{
    storeSettings();
    if (!m_logs.appendWorkload(m_written, m_workStart))
        tellLineLost();
    if (isReading())
        stopReading();
    m_logs.close();
}
