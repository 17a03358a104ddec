// The barcode structures list of the settings dialog ("条码结构参数"): one row
// per structure, six columns of 50 pixels:
//   "总长" TotalLen, "前缀" Prefix, "有效位" ValidLen,
//   "校验码" Verify (a drop-down of the three check character modes),
//   "起始号" BegBound, "终止号" EndBound.
// A new row starts with "0 无校验码" as its check character mode.
#pragma once

#include "barcode.h"
#include "grid.h"

class CParameterGrid : public CDataGrid {
    Q_OBJECT
public:
    enum ColumnIndex { TotalLenColumn, PrefixColumn, ValidLenColumn, VerifyColumn, BegBoundColumn, EndBoundColumn };

    explicit CParameterGrid(QWidget* parent = nullptr);

    // Replaces the rows by the structures of a BarPar text.
    void fill(const QString& barPar);
    // The BarPar text of the rows in grid order, leaving out rows whose
    // TotalLen or ValidLen is 0.
    QString barPar() const;

    static QStringList structureToRow(const BarcodeStructure& s);
    static BarcodeStructure rowToStructure(const QStringList& row);
};
