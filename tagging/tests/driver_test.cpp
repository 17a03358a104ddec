// The scripted staff member of --drive: each command acts on the form and
// is answered in one line; message boxes come out as lines.
#include "driver.h"
#include "reader_library.h"
#include "settings.h"
#include "tagging_book_page.h"
#include "tagging_view.h"

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

TEST_F(Driver, ReachesEveryPageAndFillsItsFields)
{
    const char* const script[][2] = {
        {"page card", "page 读者证加工"},
        {"set 读者类型 3", "set 读者类型: 3  一般读者"},
        {"set 读者证状态 2  验证", "set 读者证状态: 2  验证"},
        {"set 登记日期 2026-12-06", "set 登记日期: 2026-12-06"},
        {"set 有效日期 2027-12-06", "set 有效日期: 2027-12-06"},
        {"set 有效日期 1969-12-31", "cannot set 有效日期"},
        {"set 读者类型 9", "cannot set 读者类型"},
        {"set 图书馆标识 1", "cannot set 图书馆标识"},   // read-only fields are not filled
        {"scan 123", "written 1: 读者证 OFF 0000000000123 000007 3 2 6/12/2026 6/12/2027"},
        {"page shelf", "page 层架标加工"},
        {"tick 标签带EAS on", "ticked 标签带EAS on"},
        {"tick 锁定标签 on", "no box 锁定标签"},   // disabled
        {"scan 42", "written 1: 架标 ON 0000000042 000007"},
        {"page check", "page 标签检查"},
        {"scan 1", "not written"},
        {"tick 仅读主标识数据 off", "ticked 仅读主标识数据 off"},
        {"read", "reading"},
        {"rows", "rows 0: "},
        {"stop", "stopped"},
        {"page nowhere", "no page nowhere"},
        {"page book", "page 图书标签加工"},
        {"rows", "rows 0: "},
    };
    for (const auto& [command, answer] : script) {
        out.clear();
        EXPECT_TRUE(driver->run(QString::fromUtf8(command)));
        EXPECT_EQ(out, QStringList{QString::fromUtf8(answer)}) << command;
    }
    EXPECT_EQ(library.calls.filter("brnStartReadingItems"), QStringList{"brnStartReadingItems #1 28"});
    EXPECT_EQ(library.calls.filter("brnStopReadingItems"), QStringList{"brnStopReadingItems #1"});

    // The check page's rows, empty cells shown as "-".
    driver->run(QStringLiteral("page check"));
    driver->run(QStringLiteral("read"));
    brnItem tag{};
    tag.validMask = 0x14;
    tag.itemId = 5;
    library.raise(kReadingNewTag, &tag);
    out.clear();
    driver->run(QStringLiteral("rows"));
    EXPECT_EQ(out, QStringList{"rows 1: 图书 - 00000000005 000000 - - -"});
}

TEST_F(Driver, MessagesComeOutAsLinesBeforeTheAnswer)
{
    DriverUi printing([this](const QString& line) { out << line; });
    Ui::install(&printing);
    library.results["brnWriteItems"] = -14;
    library.errorTexts[-14] = "\xCE\xDE\xB1\xEA\xC7\xA9";   // 无标签
    driver->run(QStringLiteral("scan 1"));
    EXPECT_EQ(out, (QStringList{"message brnWriteItems(): 无标签\n" + failureAdvice(-14), "not written"}));

    // The next scan is typed into the field that still holds the barcode,
    // and exactly it is written.
    library.results.clear();
    out.clear();
    driver->run(QStringLiteral("scan 2"));
    EXPECT_EQ(out, QStringList{"written 1: 图书 ON 00000000002 000007 否 1A 1"});
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
