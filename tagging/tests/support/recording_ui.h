// Test stand-ins for the program's dialogs, and the shared test environment.
#pragma once

#include "core_test.h"
#include "ui.h"

#include <QComboBox>
#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

// The texts of a drop-down list's entries, in order.
inline QStringList comboEntries(const QComboBox* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

// The text of a box up to its first line end: a failure's own words, before
// the line that tells staff what to do.
inline QString firstLine(const QString& text)
{
    return text.section(QLatin1Char('\n'), 0, 0);
}

struct RecordedMessage {
    QString caption;
    QString text;
    Ui::Icon icon;
};

// Records every message box, question and beep; answers questions and
// folder choosers from queues (No, and empty answers, when they run out:
// the default button, the chooser cancelled).
class RecordingUi final : public Ui {
public:
    void message(QWidget* owner, const QString& caption, const QString& text, Icon icon) override;
    bool question(QWidget* owner, const QString& caption, const QString& text) override;
    void beep() override { ++beeps; }
    QString chooseFolder(QWidget* owner, const QString& title, const QString& start) override;

    void reset();

    std::vector<RecordedMessage> messages;
    std::vector<RecordedMessage> questions;
    std::deque<bool> questionAnswers;
    // Runs while a question is up, before it is answered.
    std::function<void(const RecordedMessage&)> onQuestion;
    int beeps = 0;
    std::deque<QString> folderAnswers;
    QStringList folderTitles;
    QStringList folderStarts;
    // Runs while a "box" is up, as a modal box would let the test look around.
    std::function<void(const RecordedMessage&)> onMessage;
};

// The recorder installed for the whole test program; reset before each test
// by GuiTest.
RecordingUi& recordingUi();

// Base of the GUI tests: a fresh recorder and an empty settings store.
class GuiTest : public CoreTest {
protected:
    void SetUp() override;
    RecordingUi& ui = recordingUi();
};
