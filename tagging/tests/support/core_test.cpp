#include "core_test.h"

#include "settings.h"

#include <QSettings>
#include <QTemporaryDir>

#include <memory>

namespace {

// The settings store in a temporary folder. It needs no application object,
// so it may be set up before or after the one of the test program.
class SettingsFolder : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_config = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(m_config->isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    }
    void TearDown() override { m_config.reset(); }

private:
    std::unique_ptr<QTemporaryDir> m_config;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new SettingsFolder);

} // namespace

void CoreTest::SetUp()
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, CSettings::kOrganisation, CSettings::kApplication)
        .clear();
}
