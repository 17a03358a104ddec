#include "barcode_edit.h"

#include "ui.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>

CBarcodeEdit::CBarcodeEdit(QWidget* parent) : QLineEdit(parent)
{
    setMaxLength(kMaxLength);
    setAcceptDrops(false);
}

bool CBarcodeEdit::isPasteAction(const QAction* action)
{
    // Known by its name where the toolkit gives one, else by the shortcut
    // shown after the tab in its text.
    static const QString shortcut =
        QLatin1Char('\t') + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
    return action->objectName() == QLatin1String("edit-paste") || action->text().endsWith(shortcut);
}

std::unique_ptr<QMenu> CBarcodeEdit::createFieldMenu()
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu());
    for (QAction* action : menu->actions()) {
        if (isPasteAction(action))
            menu->removeAction(action);
    }
    return menu;
}

void CBarcodeEdit::contextMenuEvent(QContextMenuEvent* event)
{
    createFieldMenu()->exec(event->globalPos());
}

void CBarcodeEdit::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {   // the window system's selection paste
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CBarcodeEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        enter();
        return;
    }
    if (!event->text().isEmpty() && event->text().front().isPrint())
        m_checker.load(false);   // the structures come in with the first character typed
    QLineEdit::keyPressEvent(event);
}

void CBarcodeEdit::enter()
{
    if (text().size() <= 1) {
        emit barcodeEntered();
        return;
    }
    m_checker.check(text().left(kMaxLength));
    if (!m_checker.result().isEmpty())
        setText(m_checker.result());
    if (!m_checker.message().isEmpty()) {
        Ui::instance().message(this, kMessageCaption, m_checker.message(), Ui::Icon::Information);
        selectAll();
        return;
    }
    emit barcodeEntered();
}
