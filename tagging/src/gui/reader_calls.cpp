#include "reader_calls.h"

#include "standard_tag.h"
#include "ui.h"

#include <cstring>
#include <optional>

bool ReportFailure(QWidget* owner, const QString& caption, const QString& prefix, int code)
{
    if (code == 0)
        return true;
    Ui::instance().message(owner, caption, FailureText(prefix, code), Ui::Icon::Error);
    return false;
}

bool ReportReaderFailure(QWidget* owner, const QString& caption, ReaderHandle handle, int code)
{
    if (code == 0)
        return true;
    const ReaderFailure failure = ReaderFailureOf(handle, code);
    Ui::instance().message(owner, caption, failure.text, Ui::Icon::Error);
    if (failure.lineGone)
        emit CReaderLine::instance().gone(handle, false, true);
    return false;
}

bool OneTagOnReader(QWidget* owner, ReaderHandle handle)
{
    const int code = OneTagCode(handle);
    if (code == 0)
        return true;
    ReportReaderFailure(owner, QStringLiteral("brnInventory()"), handle, code);
    return false;
}

namespace {

bool readTag(QWidget* owner, ReaderHandle handle, std::uint32_t maxBlocks, brnTagMemory& tag)
{
    const int rc = ReaderLibrary::instance().readSingleTagMemory(handle, kTagMemoryRetryMs, maxBlocks, &tag);
    return ReportReaderFailure(owner, QStringLiteral("brnReadSingleTagMemory()"), handle, rc);
}

QString orNotOnTag(const QString& text)
{
    return text.isEmpty() ? kNotOnTag : text;
}

} // namespace

bool MayWriteOverTag(QWidget* owner, ReaderHandle handle)
{
    brnTagMemory tag{};
    if (!readTag(owner, handle, kTagMemoryBlocks, tag))
        return false;
    const std::optional<StandardTag> standard = StandardTagIn(tag);
    if (!standard)
        return true;
    const QString question =
        kWriteOverQuestion.arg(standard->model, orNotOnTag(standard->itemId), orNotOnTag(standard->owner));
    if (!Ui::instance().question(owner, kProgramCaption, question))
        return false;
    // Staff may have changed the tags on the reader meanwhile.
    brnTagMemory now{};
    if (!OneTagOnReader(owner, handle) || !readTag(owner, handle, 0, now))
        return false;
    if (std::memcmp(now.uid, tag.uid, sizeof tag.uid) != 0) {
        programMessage(owner, kTagChanged);
        return false;
    }
    return true;
}
