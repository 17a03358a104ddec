#include "standard_tag.h"

#include <brenholt_datamodel.h>

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
