// The scripted staff member of --drive: each command acts on the form and
// is answered in one line; message boxes come out as lines.
#include "driver.h"
#include "settings.h"
#include "taggingbookpage.h"
#include "taggingview.h"

#include "recording_ui.h"
#include "scripted_library.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

namespace {

class Driver : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        ASSERT_TRUE(work.isValid());
        CSettings().setWorkPath(work.path());
        CSettings().setLibraryId(QStringLiteral("7"));
        view = std::make_unique<CTaggingView>();   // after the settings of the test
        driver = std::make_unique<CDriver>(*view, [this](const QString& line) { out << line; });
        view->resize(1024, 768);
        view->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->connection().isConnected(); }, 5000));
    }
    void TearDown() override { Ui::install(&ui); }

    QStringList out;
    ScriptedLibrary library;
    QTemporaryDir work;
    std::unique_ptr<CTaggingView> view;
    std::unique_ptr<CDriver> driver;
};

TEST_F(Driver, ScansReadsAndListsAsStaffWould)
{
    EXPECT_TRUE(driver->run(QStringLiteral("scan 12345")));
    EXPECT_TRUE(driver->run(QStringLiteral("scan  678")));
    EXPECT_TRUE(driver->run(QStringLiteral("rows")));
    EXPECT_TRUE(driver->run(QStringLiteral("read")));
    EXPECT_TRUE(driver->run(QStringLiteral("wait 1")));
    EXPECT_TRUE(driver->run(QStringLiteral("frobnicate")));
    EXPECT_TRUE(driver->run(QString()));
    EXPECT_FALSE(driver->run(QStringLiteral("quit")));
    EXPECT_EQ(out, (QStringList{"written 1: 图书 ON 00000012345 000007 否 1A 1",
                                "written 2: 图书 ON 00000000678 000007 否 1A 1",
                                "rows 2: 图书 ON 00000000678 000007 否 1A 1 | 图书 ON 00000012345 000007 否 1A 1",
                                "reading", "waited", "unknown frobnicate"}));
    EXPECT_EQ(library.written.size(), 2u);
}

TEST_F(Driver, MessagesComeOutAsLinesBeforeTheAnswer)
{
    DriverUi printing([this](const QString& line) { out << line; });
    Ui::install(&printing);
    library.results["brnWriteItems"] = -14;
    library.errorTexts[-14] = "\xCE\xDE\xB1\xEA\xC7\xA9";   // 无标签
    driver->run(QStringLiteral("scan 1"));
    EXPECT_EQ(out, (QStringList{"message brnWriteItems(): 无标签", "not written"}));
}

TEST_F(Driver, CommandsComeFromADescriptorUntilItEnds)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    driver->readFrom(fds[0]);
    const char commands[] = "scan 55\nro";
    ASSERT_EQ(::write(fds[1], commands, sizeof commands - 1), static_cast<ssize_t>(sizeof commands - 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return out.size() == 2; }, 5000));
    ASSERT_EQ(::write(fds[1], "ws\n", 3), 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return out.size() == 3; }, 5000));
    EXPECT_EQ(out, (QStringList{"connected 5", "written 1: 图书 ON 00000000055 000007 否 1A 1",
                                "rows 1: 图书 ON 00000000055 000007 否 1A 1"}));
    ::close(fds[1]);
    ::close(fds[0]);
}

} // namespace
