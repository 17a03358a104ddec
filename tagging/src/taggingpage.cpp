#include "taggingpage.h"

CTaggingPage::CTaggingPage(const QString& caption, QWidget* parent) : QWidget(parent), m_caption(caption)
{
}

bool CTaggingPage::startReading(std::uint32_t requestMask)
{
    const int rc = ReaderLibrary::instance().startReadingItems(m_reader, requestMask, &readingCallback, this);
    if (!ReportFailure(this, QStringLiteral("brnStartReadingItems()"), rc))
        return false;
    m_reading = true;
    return true;
}

void CTaggingPage::stopReading()
{
    m_reading = false;
    ReportFailure(this, QStringLiteral("brnStopReadingItems()"), ReaderLibrary::instance().stopReadingItems(m_reader));
}

void CTaggingPage::deactivated()
{
    if (m_reading)
        stopReading();
}

void CTaggingPage::tagRead(const brnItem&)
{
}

void CTaggingPage::readingCallback(ReaderHandle, int event, brnItem* item, void* context)
{
    auto* page = static_cast<CTaggingPage*>(context);
    if (event == kReadingNewTag && item && page->m_reading)
        page->tagRead(*item);
}
