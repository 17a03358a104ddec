// The barcode field of the tagging pages ("条码号", "读者证号"): a single-line
// field that takes at most 149 characters and checks the barcode against the
// library's barcode structures when Enter is pressed.
//
// Enter with one character or none passes on to the page unchecked. Otherwise
// the barcode is checked; a significant part found replaces the text. A
// rejected barcode shows the check's message under "KELDA 消息", stays
// selected so that the next scan replaces it, and the Enter ends there;
// an accepted one passes the Enter on to the page (barcodeEntered).
//
// Pasting works through the keyboard shortcut only: the context menu offers
// no Paste, and middle-button pastes and drops are refused.
#pragma once

#include "barcode.h"

#include <QLineEdit>

#include <memory>

class QMenu;

class CBarcodeEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 149;
    static inline const QString kMessageCaption = QStringLiteral("KELDA 消息");

    explicit CBarcodeEdit(QWidget* parent = nullptr);

    CBarcodeChecker& checker() { return m_checker; }

    // The field's context menu: the standard one without Paste.
    std::unique_ptr<QMenu> createFieldMenu();
    static bool isPasteAction(const QAction* action);

signals:
    // Enter passed on to the page: the text is to be written.
    void barcodeEntered();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void enter();

    CBarcodeChecker m_checker;
};
