// Every message box, beep and folder chooser of the program goes through Ui,
// so that the program shows real dialogs and tests record what would be shown.
#pragma once

#include <QString>

class QWidget;

class Ui {
public:
    enum class Icon { Information, Warning, Error };

    virtual ~Ui() = default;

    // A modal message box with an OK button, owned by owner (may be null).
    virtual void message(QWidget* owner, const QString& caption, const QString& text, Icon icon) = 0;
    // A modal question with a warning icon and the buttons Yes and No; No is
    // the default (Enter, as a barcode scanner sends it, and Escape answer
    // No). True when staff answered Yes.
    virtual bool question(QWidget* owner, const QString& caption, const QString& text) = 0;
    // The system's information beep.
    virtual void beep() = 0;
    // The folder chooser, opened in the folder start; the chosen folder's
    // path, or empty when none was chosen.
    virtual QString chooseFolder(QWidget* owner, const QString& title, const QString& start) = 0;

    // The Ui in use: the one installed last, else real dialogs.
    static Ui& instance();
    // Installs ui (nullptr: back to real dialogs) and returns the one it replaces.
    // The caller keeps ui alive while it is installed.
    static Ui* install(Ui* ui);
};

// Real dialogs.
class DialogUi final : public Ui {
public:
    void message(QWidget* owner, const QString& caption, const QString& text, Icon icon) override;
    bool question(QWidget* owner, const QString& caption, const QString& text) override;
    void beep() override;
    QString chooseFolder(QWidget* owner, const QString& title, const QString& start) override;
};

// The program's title, the caption of its own notices.
inline const QString kProgramCaption = QStringLiteral("Tagging");

// The program message: its own notices ("请指定工作目录!" and the like) under
// the caption "Tagging" with a warning icon.
void programMessage(QWidget* owner, const QString& text);
