#include "standard_tag.h"

#include "ui.h"

#include <brenholt_datamodel.h>

#include <cstring>

std::optional<StandardTag> StandardTagIn(const brnTagMemory& memory)
{
    brnDataModelInfo info{};
    if (brnClassifyTagMemory(&memory, &info) != BRN_OK)
        return std::nullopt;
    QString model;
    switch (info.model) {
    case BRN_DM_MODEL_ISO28560_3:
        model = QStringLiteral("ISO 28560-3");
        break;
    case BRN_DM_MODEL_ISO28560_2:
        model = QStringLiteral("ISO 28560-2");
        break;
    default:
        return std::nullopt;
    }
    return StandardTag{model, QString::fromUtf8(info.itemId), QString::fromUtf8(info.owner)};
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
