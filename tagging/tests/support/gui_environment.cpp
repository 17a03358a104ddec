// One QApplication for the whole test program, on the offscreen platform;
// the settings store lives in a temporary folder; message boxes are recorded.
#include "recording_ui.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tagging_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
        m_config = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(m_config->isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
        m_previousUi = Ui::install(&recordingUi());
    }
    void TearDown() override
    {
        Ui::install(m_previousUi);
        m_config.reset();
        m_app.reset();
    }

private:
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<QTemporaryDir> m_config;
    Ui* m_previousUi = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace
