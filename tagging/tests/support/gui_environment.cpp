// The tagging part of the GUI test programs' environment: message boxes are
// recorded for the whole program. (The QApplication on the offscreen platform
// comes from OffscreenGuiTest, the temporary settings folder from
// core_test.cpp; neither depends on this one's order.)
#include "recording_ui.h"

#include <gtest/gtest.h>

namespace {

class RecordingUiEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_previousUi = Ui::install(&recordingUi()); }
    void TearDown() override { Ui::install(m_previousUi); }

private:
    Ui* m_previousUi = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new RecordingUiEnvironment);

} // namespace
