// One QCoreApplication for a test program of the program's core: no widgets,
// no platform plugin. (The GUI test programs have their QApplication from
// OffscreenGuiTest instead.)
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class CoreApplication : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "tagging_core_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QCoreApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new CoreApplication);

} // namespace
