#include "recording_ui.h"

void RecordingUi::message(QWidget*, const QString& caption, const QString& text, Icon icon)
{
    messages.push_back({caption, text, icon});
    if (onMessage)
        onMessage(messages.back());
}

bool RecordingUi::question(QWidget*, const QString& caption, const QString& text)
{
    questions.push_back({caption, text, Icon::Warning});
    if (onQuestion)
        onQuestion(questions.back());
    if (questionAnswers.empty())
        return false;
    const bool yes = questionAnswers.front();
    questionAnswers.pop_front();
    return yes;
}

QString RecordingUi::chooseFolder(QWidget*, const QString& title, const QString& start)
{
    folderTitles << title;
    folderStarts << start;
    if (folderAnswers.empty())
        return {};
    QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

void RecordingUi::reset()
{
    messages.clear();
    questions.clear();
    questionAnswers.clear();
    onQuestion = nullptr;
    beeps = 0;
    folderAnswers.clear();
    folderTitles.clear();
    folderStarts.clear();
    onMessage = nullptr;
}

RecordingUi& recordingUi()
{
    static RecordingUi ui;
    return ui;
}

void GuiTest::SetUp()
{
    CoreTest::SetUp();
    ui.reset();
}
