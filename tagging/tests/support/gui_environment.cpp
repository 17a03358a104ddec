// One QApplication for the whole test program, on the offscreen platform;
// message boxes are recorded. (The temporary settings folder comes from
// core_test.cpp, which needs no particular order.)
#include "recording_ui.h"

#include <QApplication>

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
        m_previousUi = Ui::install(&recordingUi());
    }
    void TearDown() override
    {
        Ui::install(m_previousUi);
        m_app.reset();
    }

private:
    std::unique_ptr<QApplication> m_app;
    Ui* m_previousUi = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace
