#include "recording_ui.h"

#include <QSettings>

#include "settings.h"

void RecordingUi::message(QWidget*, const QString& caption, const QString& text, Icon icon)
{
    messages.push_back({caption, text, icon});
    if (onMessage)
        onMessage(messages.back());
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
    ui.reset();
    QSettings(QSettings::IniFormat, QSettings::UserScope, CSettings::kOrganisation, CSettings::kApplication)
        .clear();
}
