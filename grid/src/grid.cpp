#include "grid.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QStyledItemDelegate>

#include <algorithm>
#include <memory>

const QString CDataGrid::kAddRowText = QStringLiteral("新增参数");
const QString CDataGrid::kDeleteRowText = QStringLiteral("删除当前行");

namespace {

bool checkedByText(const QString& text)
{
    return !text.isEmpty() && text != QLatin1String("0");
}

} // namespace

// Creates the editor of a cell by its column's type and remembers the one open.
class CDataGrid::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(CDataGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* editor() const { return m_editor.data(); }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        const Column& column = m_grid->column(index.column());
        QWidget* editor = nullptr;
        if (column.type == CellType::DropDown) {
            auto* box = new QComboBox(parent);
            box->addItems(column.choices);
            // Choosing an entry (by the list, the arrow keys or its first
            // character) settles the cell at once.
            auto* self = const_cast<Delegate*>(this);
            connect(box, &QComboBox::activated, self, [self, box] {
                emit self->commitData(box);
                emit self->closeEditor(box);
            });
            editor = box;
        } else {
            editor = QStyledItemDelegate::createEditor(parent, option, index);
            if (auto* line = qobject_cast<QLineEdit*>(editor); line && column.maxLength > 0)
                line->setMaxLength(column.maxLength);
        }
        m_editor = editor;
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            box->setCurrentIndex(box->findText(index.data(Qt::EditRole).toString()));
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override
    {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            if (box->currentIndex() >= 0)
                model->setData(index, box->currentText(), Qt::EditRole);
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override
    {
        if (m_editor == editor)
            m_editor = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

private:
    CDataGrid* m_grid;
    mutable QPointer<QWidget> m_editor;
};

CDataGrid::CDataGrid(QWidget* parent)
    : QTableWidget(parent), m_delegate(new Delegate(this))
{
    setItemDelegate(m_delegate);
    setFont(cellFont());
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    setEditTriggers(DoubleClicked | AnyKeyPressed);
    setTabKeyNavigation(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
}

CDataGrid::~CDataGrid() = default;

QFont CDataGrid::cellFont()
{
    QStringList families{QStringLiteral("宋体"), QStringLiteral("SimSun")};
    const QStringList installed = QFontDatabase::families();
    const bool haveSong = std::any_of(families.cbegin(), families.cend(), [&](const QString& f) {
        return installed.contains(f, Qt::CaseInsensitive);
    });
    if (!haveSong) {
        const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
        if (!chinese.isEmpty())
            families << chinese.front();
    }
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(12);
    return font;
}

void CDataGrid::setColumns(std::vector<Column> columns)
{
    m_columns = std::move(columns);
    clear();
    setRowCount(0);
    setColumnCount(static_cast<int>(m_columns.size()));
    QStringList headings;
    for (const Column& c : m_columns)
        headings << c.heading;
    setHorizontalHeaderLabels(headings);
    // A column is at least as wide as its heading needs, so that no heading is cut.
    for (int col = 0; col < columnCount(); ++col)
        setColumnWidth(col, std::max(column(col).width, horizontalHeader()->sectionSizeHint(col)));
}

void CDataGrid::setEditable(bool editable)
{
    m_editable = editable;
    setEditTriggers(editable ? (DoubleClicked | AnyKeyPressed) : NoEditTriggers);
    for (int row = 0; row < rowCount(); ++row)
        for (int col = 0; col < columnCount(); ++col)
            if (QTableWidgetItem* cell = item(row, col))
                applyCellFlags(cell, col);
}

void CDataGrid::applyCellFlags(QTableWidgetItem* cell, int col) const
{
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_editable)
        flags |= column(col).type == CellType::CheckBox ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable;
    cell->setFlags(flags);
}

QTableWidgetItem* CDataGrid::makeCell(int col, const QString& text) const
{
    auto cell = std::make_unique<QTableWidgetItem>();
    if (column(col).type == CellType::CheckBox)
        cell->setCheckState(checkedByText(text) ? Qt::Checked : Qt::Unchecked);
    else
        cell->setText(text);
    applyCellFlags(cell.get(), col);
    return cell.release();  // the table takes it
}

int CDataGrid::newRow(int at)
{
    return insertRowTexts(at, m_newRowValues);
}

int CDataGrid::insertRowTexts(int at, const QStringList& texts)
{
    at = std::clamp(at, 0, rowCount());
    insertRow(at);
    for (int col = 0; col < columnCount(); ++col)
        setItem(at, col, makeCell(col, texts.value(col)));
    return at;
}

void CDataGrid::deleteRow(int row)
{
    if (row >= 0 && row < rowCount())
        removeRow(row);
}

void CDataGrid::deleteAllRows()
{
    setRowCount(0);
}

QString CDataGrid::cellText(int row, int col) const
{
    const QTableWidgetItem* cell = item(row, col);
    if (!cell)
        return {};
    if (column(col).type == CellType::CheckBox)
        return cell->checkState() == Qt::Checked ? QStringLiteral("1") : QStringLiteral("0");
    return cell->text();
}

void CDataGrid::setCellText(int row, int col, const QString& text)
{
    if (row < 0 || row >= rowCount() || col < 0 || col >= columnCount())
        return;
    QTableWidgetItem* cell = item(row, col);
    if (!cell) {
        setItem(row, col, makeCell(col, text));
    } else if (column(col).type == CellType::CheckBox) {
        cell->setCheckState(checkedByText(text) ? Qt::Checked : Qt::Unchecked);
    } else {
        cell->setText(text);
    }
}

QStringList CDataGrid::rowTexts(int row) const
{
    QStringList texts;
    for (int col = 0; col < columnCount(); ++col)
        texts << cellText(row, col);
    return texts;
}

void CDataGrid::setRowTexts(int row, const QStringList& texts)
{
    for (int col = 0; col < columnCount(); ++col)
        setCellText(row, col, texts.value(col));
}

void CDataGrid::redraw()
{
    viewport()->update();
}

QWidget* CDataGrid::activeEditor() const
{
    return m_delegate->editor();
}

void CDataGrid::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_editable) {
        event->ignore();
        return;
    }
    int row = -1;
    if (event->reason() == QContextMenuEvent::Keyboard)
        row = currentIndex().isValid() ? currentIndex().row() : -1;
    else
        row = rowAt(event->pos().y());

    QMenu menu(this);
    QAction* add = menu.addAction(kAddRowText);
    QAction* remove = nullptr;
    if (row >= 0) {
        menu.addSeparator();
        remove = menu.addAction(kDeleteRowText);
    }
    QAction* chosen = m_menuRunner ? m_menuRunner(menu, event->globalPos())
                                   : menu.exec(event->globalPos());
    if (!chosen)
        return;
    if (chosen == add) {
        const int at = newRow(row >= 0 ? row + 1 : 0);
        setCurrentCell(at, 0);
    } else if (chosen == remove) {
        deleteRow(row);
    }
}

void CDataGrid::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    if (!m_editable || state() == EditingState || !current.isValid()) {
        QTableWidget::keyPressEvent(event);
        return;
    }
    const CellType type = column(current.column()).type;
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (type == CellType::Text)
            edit(current);
        else
            moveToNextCell();
        event->accept();
        return;
    case Qt::Key_Space:
        if (type == CellType::Text && plain) {
            // A blank opens the cell as it is, without typing the blank.
            edit(current);
            if (auto* line = qobject_cast<QLineEdit*>(activeEditor())) {
                line->deselect();
                line->end(false);
            }
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    // Any other character opens the cell's editor and goes into it; a check
    // box toggles on the blank.
    QTableWidget::keyPressEvent(event);
}

void CDataGrid::moveToNextCell()
{
    m_entryMove = true;
    const QModelIndex next = moveCursor(MoveNext, Qt::NoModifier);
    m_entryMove = false;
    if (next.isValid())
        setCurrentIndex(next);
}

void CDataGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    m_entryMove = hint == QAbstractItemDelegate::EditNextItem;
    QTableWidget::closeEditor(editor, hint);
    m_entryMove = false;
}

QModelIndex CDataGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    if (m_entryMove && m_editable && action == MoveNext && current.isValid()
        && current.column() == columnCount() - 1) {
        // Wrap to the first column of the same row, where a fresh row goes.
        const int row = newRow(current.row());
        return model()->index(row, 0);
    }
    return QTableWidget::moveCursor(action, modifiers);
}
