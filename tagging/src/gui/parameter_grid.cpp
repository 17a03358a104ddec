#include "parameter_grid.h"

CParameterGrid::CParameterGrid(QWidget* parent) : CDataGrid(parent)
{
    using T = CellType;
    setColumns({
        {QStringLiteral("总长"), 50, T::Text, {}, 5},
        {QStringLiteral("前缀"), 50, T::Text, {}, BarcodeStructure::kPrefixWidth},
        {QStringLiteral("有效位"), 50, T::Text, {}, 5},
        {QStringLiteral("校验码"), 50, T::DropDown, {kVerifyNone, kVerifyUnchecked, kVerifyCode39}, 0},
        {QStringLiteral("起始号"), 50, T::Text, {}, BarcodeStructure::kBoundWidth},
        {QStringLiteral("终止号"), 50, T::Text, {}, BarcodeStructure::kBoundWidth},
    });
    setNewRowValues({QString(), QString(), QString(), kVerifyNone});
}

QStringList CParameterGrid::structureToRow(const BarcodeStructure& s)
{
    QString verify;
    if (!s.Verify.isNull() && s.Verify != QLatin1Char(' ')) {
        verify = s.Verify;
        const QString entryStart = verify + QLatin1Char(' ');
        for (const QString& entry : {kVerifyNone, kVerifyUnchecked, kVerifyCode39}) {
            if (entry.startsWith(entryStart)) {
                verify = entry;
                break;
            }
        }
    }
    return {QString::number(s.TotalLen), s.Prefix, QString::number(s.ValidLen), verify, s.BegBound, s.EndBound};
}

BarcodeStructure CParameterGrid::rowToStructure(const QStringList& row)
{
    BarcodeStructure s;
    s.TotalLen = leadingShort(row.value(TotalLenColumn), false);
    s.Prefix = row.value(PrefixColumn).left(BarcodeStructure::kPrefixWidth);
    s.ValidLen = leadingShort(row.value(ValidLenColumn), false);
    const QString verify = row.value(VerifyColumn);
    s.Verify = verify.isEmpty() ? QLatin1Char('0') : verify.front();
    s.BegBound = row.value(BegBoundColumn).left(BarcodeStructure::kBoundWidth);
    s.EndBound = row.value(EndBoundColumn).left(BarcodeStructure::kBoundWidth);
    return s;
}

void CParameterGrid::fill(const QString& barPar)
{
    deleteAllRows();
    for (const BarcodeStructure& s : parseBarPar(barPar))
        insertRowTexts(rows(), structureToRow(s));
}

QString CParameterGrid::barPar() const
{
    QString text;
    for (int row = 0; row < rows(); ++row) {
        const BarcodeStructure s = rowToStructure(rowTexts(row));
        if (s.TotalLen != 0 && s.ValidLen != 0)
            text += formatBarParLine(s);
    }
    return text;
}
