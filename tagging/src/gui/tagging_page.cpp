#include "tagging_page.h"

#include "holdings.h"
#include "reader_calls.h"
#include "work_logs.h"

#include <QLabel>

#include <utility>

CTaggingPage::CTaggingPage(const QString& caption, QWidget* parent) : QWidget(parent), m_caption(caption)
{
}

bool CTaggingPage::startReading(std::uint32_t requestMask)
{
    const int rc = ReaderLibrary::instance().startReadingItems(m_reader, requestMask, &readingCallback, this);
    if (!ReportReaderFailure(this, QStringLiteral("brnStartReadingItems()"), m_reader, rc))
        return false;
    m_reading = true;
    m_standard.reset();
    ReportReaderFailure(this, QStringLiteral("brnSetTagMemoryCallback()"), m_reader,
                        ReaderLibrary::instance().setTagMemoryCallback(m_reader, kTagMemoryBlocks, &tagMemoryRead,
                                                                       this));
    return true;
}

void CTaggingPage::stopReading()
{
    m_reading = false;
    ReportReaderFailure(this, QStringLiteral("brnStopReadingItems()"), m_reader,
                        ReaderLibrary::instance().stopReadingItems(m_reader));
}

void CTaggingPage::deactivated()
{
    if (m_reading)
        stopReading();
}

void CTaggingPage::tagRead(const brnItem&, const StandardTag*)
{
}

void CTaggingPage::tagMemoryRead(ReaderHandle, const brnTagMemory* memory, void* context)
{
    auto* page = static_cast<CTaggingPage*>(context);
    if (page->m_reading)
        page->m_standard = memory ? StandardTagIn(*memory) : std::nullopt;
}

void CTaggingPage::readingCallback(ReaderHandle handle, int event, brnItem* item, void* context)
{
    auto* page = static_cast<CTaggingPage*>(context);
    if (!page->m_reading)
        return;
    if (event == kReadingNewTag && item) {
        const std::optional<StandardTag> standard = std::exchange(page->m_standard, std::nullopt);
        page->tagRead(*item, standard ? &*standard : nullptr);
    } else if (event == kReadingReaderGone) {
        // The library has stopped reading already.
        page->m_reading = false;
        page->readingEnded();
        emit CReaderLine::instance().gone(handle, true, false);
    }
}

void CTaggingPage::styleCounter(QLabel* counter)
{
    QFont font = counter->font();
    font.setPixelSize(28);
    font.setBold(true);
    counter->setFont(font);
    counter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    counter->setMinimumWidth(90);
}

QLabel* CTaggingPage::fieldLabel(const QString& text, QWidget* field)
{
    auto* label = new QLabel(text, this);
    label->setBuddy(field);
    return label;
}

QString CTaggingPage::bracketed(const brnItem& item, std::uint32_t lockBit, const QString& text)
{
    if ((item.validMask & BRN_ITEM_LOCKS) && (item.lockMask & lockBit))
        return QLatin1Char('[') + text + QLatin1Char(']');
    return text;
}

QString CTaggingPage::typeCell(const brnItem& item, bool withShelf)
{
    switch (item.typeCode) {
    case 0:
        return QStringLiteral("图书");
    case 1:
        return QStringLiteral("读者证");
    case 2:
        if (withShelf)
            return QStringLiteral("架标");
        break;
    default:
        break;
    }
    return QStringLiteral("---");
}

QString CTaggingPage::easCell(const brnItem& item)
{
    if (!(item.validMask & BRN_ITEM_EAS))
        return QStringLiteral("---");
    return item.easState != 0 ? QStringLiteral("ON") : QStringLiteral("OFF");
}

QString CTaggingPage::numberCell(const brnItem& item, int digits)
{
    return bracketed(item, BRN_ITEM_IDENTITY, CWorkLogs::identifierText(item.itemId, digits));
}

QString CTaggingPage::libraryCell(const brnItem& item)
{
    const QString text = (item.validMask & BRN_ITEM_LIBRARY)
                             ? QString::number(item.libraryId).rightJustified(6, QLatin1Char('0'))
                             : QStringLiteral("--------");
    return bracketed(item, BRN_ITEM_LIBRARY, text);
}

QStringList CTaggingPage::holdingCells(const brnItem& item)
{
    return {bracketed(item, BRN_ITEM_BLOCK2, item.book.referenceFlag == 1 ? QStringLiteral("是") : QStringLiteral("否")),
            bracketed(item, BRN_ITEM_BLOCK2, locationText(item.book.location)),
            bracketed(item, BRN_ITEM_BLOCK2, QString::number(item.book.mediaType))};
}

QStringList CTaggingPage::unreadBlock2Cells(const brnItem& item)
{
    return {bracketed(item, BRN_ITEM_BLOCK2, QStringLiteral("----")),
            bracketed(item, BRN_ITEM_BLOCK2, QStringLiteral("---------")),
            bracketed(item, BRN_ITEM_BLOCK2, QStringLiteral("---------"))};
}

QStringList CTaggingPage::standardCells(const brnItem& item, const StandardTag& tag)
{
    return {tag.model, easCell(item), tag.itemId, tag.owner};
}
