// The form against simulated readers on pseudo-terminals, through the real
// tag mapping library: it finds the reader on the stored port, tunes
// continuous reading, and a port change closes that reader and opens the
// one on the new port.
#include "settings.h"
#include "tagging_book_page.h"
#include "tagging_view.h"

#include "recording_ui.h"

#include <brenholt.h>
#include <sim/tag_file.h>
#include <sim/testing.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include <csignal>

namespace {

constexpr int kTimeoutMs = 10000;

class FormOnSimulatedReaders : public GuiTest {
protected:
    sim::ServedReader serve(const char* family, int port)
    {
        std::string error;
        auto served = sim::serveReader(family, ports.portPath(port), 0, {}, &error);
        EXPECT_TRUE(served) << error;
        return served;
    }

    sim::PortFolder ports;
};

TEST_F(FormOnSimulatedReaders, ConnectsOnTheStoredPortAndReconnectsOnAPortChange)
{
    auto feno = serve("feno", 4);
    auto orba = serve("orba", 5);
    ASSERT_TRUE(feno && orba);
    CSettings().setComPort(3);   // COM4
    CSettings().setInteger(CSettings::kReader, QStringLiteral("Sorting"), 24);

    auto view = std::make_unique<CTaggingView>();
    view->resize(1024, 768);
    view->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->connection().isConnected(); }, kTimeoutMs))
        << (ui.messages.empty() ? std::string("no message") : ui.messages[0].text.toStdString());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(view->portList()->currentText(), QStringLiteral("COM4"));
    EXPECT_EQ(view->connection().port(), 4);
    EXPECT_EQ(view->connection().family(), BRN_FAMILY_FENO);
    ASSERT_NE(view->connection().handle(), nullptr);
    EXPECT_EQ(view->bookPage()->readerHandle(), view->connection().handle());
    EXPECT_GT(feno.reader->commandCount(), 0u);
    // The library holds what the form set: the reader's 200 ms (above the
    // 50 ms floor) and the stored depth.
    std::uint32_t duration = 0;
    ASSERT_EQ(brnGetReadSessionDuration(view->connection().handle(), 4, &duration), BRN_OK);
    EXPECT_EQ(duration, 200u);
    std::int32_t depth = 0;
    ASSERT_EQ(brnGetSortingBufferDepth(view->connection().handle(), &depth), BRN_OK);
    EXPECT_EQ(depth, 24);

    // COM5: the FENO reader's line is let go, the ORBA reader is found.
    const std::uint64_t departures = feno.server->hostDepartures();
    view->portList()->setCurrentIndex(4);
    emit view->portList()->activated(4);
    EXPECT_TRUE(feno.server->waitHostDepartures(departures + 1, kTimeoutMs));
    EXPECT_TRUE(view->connection().isConnected());
    EXPECT_EQ(view->connection().port(), 5);
    EXPECT_EQ(view->connection().family(), BRN_FAMILY_ORBA);
    EXPECT_EQ(view->bookPage()->readerHandle(), view->connection().handle());
    EXPECT_GT(orba.reader->commandCount(), 0u);
    EXPECT_TRUE(ui.messages.empty());

    // A port without a reader: the open fails with the port in the message.
    view->portList()->setCurrentIndex(6);
    emit view->portList()->activated(6);
    EXPECT_FALSE(view->connection().isConnected());
    EXPECT_EQ(view->bookPage()->readerHandle(), nullptr);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnOpenSerial()"));
    EXPECT_TRUE(ui.messages[0].text.startsWith(QStringLiteral("Open ComPort 7: "))) << ui.messages[0].text.toStdString();

    view.reset();
    EXPECT_EQ(CSettings().comPort(), 6);
}

// The program itself, driven (--drive) against a FENO reader on COM4 with
// settings of its own, ends by a signal as shutdown or logout end it: as the
// exit button ends it, with the port and the page choices stored and the
// workload line appended.
TEST_F(FormOnSimulatedReaders, ASignalClosesTheProgramAsTheExitButtonDoes)
{
    auto feno = serve("feno", 4);
    ASSERT_TRUE(feno);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QTemporaryDir config, work;
        const QString ini = config.filePath(CSettings::kOrganisation + "/Tagging.ini");
        {
            QSettings settings(ini, QSettings::IniFormat);
            settings.setValue("LastEnv/Com Port", 3);
            settings.setValue("LastEnv/WorkPath", work.path());
        }
        ASSERT_TRUE(feno.reader->place(*sim::parseTagLine("E004010000000001 eas=0")));

        QProcess tagging;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        tagging.setProcessEnvironment(env);
        tagging.start(QStringLiteral(TAGGING_PROGRAM), {QStringLiteral("--drive")});
        auto answer = [&](const char* command) {
            if (command)
                tagging.write(QByteArray(command) + '\n');
            while (!tagging.canReadLine())
                if (!tagging.waitForReadyRead(kTimeoutMs))
                    return QString();
            return QString::fromUtf8(tagging.readLine()).trimmed();
        };
        ASSERT_EQ(answer(nullptr), QStringLiteral("connected 5"));
        ASSERT_EQ(answer("page card"), QStringLiteral("page 读者证加工"));
        ASSERT_EQ(answer("set 读者类型 3"), QStringLiteral("set 读者类型: 3  一般读者"));
        ASSERT_TRUE(answer("scan 123").startsWith(QStringLiteral("written 1:")));

        ::kill(static_cast<pid_t>(tagging.processId()), signal);
        ASSERT_TRUE(tagging.waitForFinished(kTimeoutMs));
        EXPECT_EQ(tagging.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(tagging.exitCode(), 0);
        const QSettings stored(ini, QSettings::IniFormat);
        EXPECT_EQ(stored.value("LastEnv/Com Port").toInt(), 3);
        EXPECT_EQ(stored.value("LastEnv/PatronType").toInt(), 2);
        QFile workload(QDir(work.path()).filePath("workload.txt"));
        ASSERT_TRUE(workload.open(QIODevice::ReadOnly));
        EXPECT_TRUE(workload.readAll().startsWith("1   [ "));
        feno.reader->remove(*sim::uidFromText("E004010000000001"));
    }
}

} // namespace
