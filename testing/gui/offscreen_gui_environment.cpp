// One QApplication for the whole test program, on the offscreen platform so
// that the tests need no screen.
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class OffscreenGuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "offscreen_gui_test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new OffscreenGuiEnvironment);

} // namespace
