#include "ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

Ui* g_installed = nullptr;

} // namespace

Ui& Ui::instance()
{
    static DialogUi dialogs;
    return g_installed ? *g_installed : dialogs;
}

Ui* Ui::install(Ui* ui)
{
    Ui* previous = g_installed;
    g_installed = ui;
    return previous;
}

void DialogUi::message(QWidget* owner, const QString& caption, const QString& text, Icon icon)
{
    const QMessageBox::Icon boxIcon = icon == Icon::Information ? QMessageBox::Information
                                    : icon == Icon::Warning     ? QMessageBox::Warning
                                                                : QMessageBox::Critical;
    QMessageBox box(boxIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool DialogUi::question(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void DialogUi::beep()
{
    QApplication::beep();
}

QString DialogUi::chooseFolder(QWidget* owner, const QString& title, const QString& start)
{
    return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
}

void programMessage(QWidget* owner, const QString& text)
{
    Ui::instance().message(owner, kProgramCaption, text, Ui::Icon::Warning);
}
