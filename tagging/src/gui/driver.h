// A scripted staff member for the program, for demonstrations and training
// runs without a keyboard: commands come one a line, each is carried out on
// the form as staff would do it, and its outcome is answered as one line.
// Commands act on the page in front of the sheet.
//
//   page NAME      brings a page to the front: book, card (patron cards),
//                  shelf (shelf tags) or check (tag check); answers
//                  "page CAPTION" or "no page NAME"
//   scan BARCODE   types BARCODE into the page's barcode field and presses
//                  Enter, as a scanner does: into whatever the field holds
//                  (the page leaves a barcode it did not write there,
//                  selected); answers "written N: CELLS" (N the page's
//                  counter, CELLS the top row of its list) or "not written"
//   read           presses "读标签数据" (on the tag check page "开始检查");
//                  answers "reading" or "not reading"
//   stop           stops the page's reading (on the tag check page "停止");
//                  answers "stopped"
//   tick BOX on|off  ticks or clears the page's check box BOX (its text,
//                  e.g. "标签带EAS"); answers "ticked BOX on|off" or "no box BOX"
//   set LABEL VALUE  fills the field labelled LABEL: a list takes the entry
//                  VALUE (its text or its number), a date picker a date
//                  yyyy-mm-dd; answers "set LABEL: SHOWN" or "cannot set LABEL"
//   rows           answers "rows N: CELLS | CELLS | ..." (the page's list or
//                  grid, top first)
//   wait MS        lets the program run for MS milliseconds (continuous
//                  reading ticks, the screen is drawn); answers "waited"
//   shot FILE      saves a picture of the screen; answers "saved FILE" or
//                  "not saved FILE"
//   quit           ends the program
//
// Unknown commands are answered "unknown COMMAND". Message boxes are not
// shown while driven: each comes out as a line "message CAPTION: TEXT"
// before the answer of the command that raised it (DriverUi); a question
// as "question CAPTION: TEXT -> no", answered No.
#pragma once

#include "ui.h"

#include <QObject>
#include <QString>

#include <functional>

class CTaggingPage;
class CTaggingView;
class QSocketNotifier;

class CDriver : public QObject {
    Q_OBJECT
public:
    // Lines go to out (one call per line, without the line end).
    using Output = std::function<void(const QString&)>;

    CDriver(CTaggingView& view, Output out, QObject* parent = nullptr);

    // Carries out one command line; false for "quit".
    bool run(const QString& line);

    // Reads commands from a descriptor (standard input) until it ends or
    // "quit" comes; then quits the application. First says how the first
    // connection went: "connected FAMILY" or "not connected".
    void readFrom(int fd);

    // Types text into field key by key, as a barcode scanner does, then
    // presses Enter.
    static void typeAndEnter(QWidget* field, const QString& text);

private:
    void readAvailable();
    CTaggingPage* currentPage() const;
    // The rows of the current page's list or grid.
    int rowCount() const;
    QString rowText(int row) const;

    QString switchPage(const QString& name);
    QString tick(const QString& argument);
    QString set(const QString& argument);

    CTaggingView& m_view;
    Output m_out;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_pending;
};

// The message boxes of a driven program: written out, not shown.
class DriverUi final : public Ui {
public:
    explicit DriverUi(CDriver::Output out) : m_out(std::move(out)) {}
    void message(QWidget*, const QString& caption, const QString& text, Icon) override
    {
        m_out(QStringLiteral("message %1: %2").arg(caption, text));
    }
    // Answered No, as Enter answers it.
    bool question(QWidget*, const QString& caption, const QString& text) override
    {
        m_out(QStringLiteral("question %1: %2 -> no").arg(caption, text));
        return false;
    }
    void beep() override {}
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }

private:
    CDriver::Output m_out;
};
