// The grid control: rows of cells under a heading row, for the places where
// the program shows or edits records row by row (the barcode structures of
// the settings dialog, the tags passing over the reader on the tag check page).
//
// Each column has a heading, a width (the least it gets: a heading wider than
// that widens its column) and a cell type: text typed by staff, a
// check box, or a drop-down with a fixed list of entries. An editable grid
// behaves like a small spreadsheet:
//  - double-click, or Enter on a text column, starts editing the cell;
//  - Enter on a drop-down (or check box) column moves to the next cell to
//    the right;
//  - typing a character on a column starts editing with that character; a
//    blank starts editing without being typed;
//  - when editing moves on (Tab) from the last column, the grid wraps to the
//    first column of the same row: a new row with the new-row values is
//    inserted at that position and editing goes on in it;
//  - the right button in the body opens a menu with "新增参数" (add a row
//    below the clicked one, or at the top when no row was clicked) and, on a
//    row, "删除当前行" (delete the clicked row). The heading row has no menu.
// A read-only grid has none of this; the program fills it through cell texts.
//
// Cells use the font "宋体" at 12 pixels, or a Chinese font of the system
// when that one is not installed.
#pragma once

#include <QStringList>
#include <QTableWidget>

#include <functional>
#include <vector>

class QMenu;

class CDataGrid : public QTableWidget {
    Q_OBJECT
public:
    enum class CellType { Text, CheckBox, DropDown };

    struct Column {
        QString heading;
        int width = 50;
        CellType type = CellType::Text;
        QStringList choices;    // the entries of a drop-down column, in order
        int maxLength = 0;      // characters a text cell takes when typed; 0: no cap
    };

    // The body menu's entries.
    static const QString kAddRowText;    // "新增参数"
    static const QString kDeleteRowText; // "删除当前行"

    explicit CDataGrid(QWidget* parent = nullptr);
    ~CDataGrid() override;

    // Replaces every column (and removes every row).
    void setColumns(std::vector<Column> columns);
    int columns() const { return static_cast<int>(m_columns.size()); }
    const Column& column(int col) const { return m_columns.at(static_cast<std::size_t>(col)); }

    // Whether staff may edit cells and use the body menu (default: yes).
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }

    // Texts a new row starts with, by column; missing ones are empty.
    void setNewRowValues(QStringList values) { m_newRowValues = std::move(values); }
    const QStringList& newRowValues() const { return m_newRowValues; }

    // Inserts a row with the new-row values at index at (clamped to 0..rows)
    // and returns its index.
    int newRow(int at);
    // Inserts a row whose cells hold the given texts (missing ones empty).
    int insertRowTexts(int at, const QStringList& texts);
    void deleteRow(int row);
    void deleteAllRows();
    int rows() const { return rowCount(); }

    // Cell text; a check box cell reads "1" when checked, else "0", and is
    // checked by any text but "" and "0". Out-of-range cells read empty and
    // ignore writes.
    QString cellText(int row, int col) const;
    void setCellText(int row, int col, const QString& text);
    QStringList rowTexts(int row) const;
    void setRowTexts(int row, const QStringList& texts);

    void redraw();

    // The cell font: "宋体" at 12 pixels, then "SimSun", then a Chinese font
    // that the system has.
    static QFont cellFont();

    // The editor of the cell being edited, if any.
    QWidget* activeEditor() const;

    // Runs the body menu and returns the chosen action (nullptr: none).
    // By default the menu pops up at the pointer; tests choose for it.
    using MenuRunner = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;
    void setMenuRunner(MenuRunner runner) { m_menuRunner = std::move(runner); }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    class Delegate;
    friend class Delegate;

    QTableWidgetItem* makeCell(int col, const QString& text) const;
    void applyCellFlags(QTableWidgetItem* cell, int col) const;
    void moveToNextCell();

    std::vector<Column> m_columns;
    QStringList m_newRowValues;
    bool m_editable = true;
    bool m_entryMove = false;   // the cursor moves on as part of entering a row
    MenuRunner m_menuRunner;
    Delegate* m_delegate = nullptr;
};
