#include "reader_connection.h"
#include "settings.h"
#include "tagging_page.h"

#include "recording_ui.h"
#include "scripted_library.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Waits on the event loop; generous for a loaded machine.
constexpr int kTimeoutMs = 20000;

const char kCannotOpenPort[] = "\xB2\xBB\xC4\xDC\xB4\xF2\xBF\xAA\xD6\xB8\xB6\xA8\xB4\xAE\xBF\xDA\x2E";   // 不能打开指定串口.
const char kInvalidHandle[] = "\xCE\xDE\xD0\xA7\xBE\xE4\xB1\xFA\xA3\xAC\xD4\xC4\xB6\xC1\xC6\xF7"
                              "\xCE\xB4\xB3\xF5\xCA\xBC\xBB\xAF\x2E";                                  // 无效句柄，阅读器未初始化.
const char kReaderError[] = "\xD4\xC4\xB6\xC1\xC6\xF7\xB4\xED\xCE\xF3\x2E";                             // 阅读器错误.

// A page that counts the tags it hears of.
class CountingPage : public CTaggingPage {
public:
    using CTaggingPage::CTaggingPage;
    int tags = 0;
    std::uint32_t lastId = 0;

protected:
    void tagRead(const brnItem& item, const StandardTag*) override
    {
        ++tags;
        lastId = static_cast<std::uint32_t>(item.itemId);
    }
};

class ReaderConnection : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        library.errorTexts = {{-1, kCannotOpenPort}, {-5, kInvalidHandle}, {-3, kReaderError}};
        connection.addPage(&book);
        connection.addPage(&card);
    }

    // The calls since the last look.
    QStringList newCalls()
    {
        QStringList calls = library.calls.mid(seen);
        seen = library.calls.size();
        return calls;
    }

    ScriptedLibrary library;
    QWidget owner;
    CReaderConnection connection{&owner};
    CountingPage book{QStringLiteral("book")};
    CountingPage card{QStringLiteral("card")};
    qsizetype seen = 0;
};

TEST_F(ReaderConnection, ConnectsInOrderAndHandsTheHandleToEveryPage)
{
    EXPECT_TRUE(connection.connect(3));
    EXPECT_EQ(newCalls(), (QStringList{"brnOpenSerial 3", "brnGetReadSessionDuration #1 4",
                                       "brnSetReadSessionDuration #1 4 200", "brnSetSortingBufferDepth #1 80"}));
    EXPECT_TRUE(connection.isConnected());
    EXPECT_EQ(connection.port(), 3);
    EXPECT_EQ(connection.family(), 5);
    ASSERT_NE(connection.handle(), nullptr);
    EXPECT_EQ(book.readerHandle(), connection.handle());
    EXPECT_EQ(card.readerHandle(), connection.handle());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ReaderConnection, ReadSessionDurationIsRaisedTo50Milliseconds)
{
    const struct {
        std::uint32_t answered, set;
    } cases[] = {{0, 50}, {30, 50}, {49, 50}, {50, 50}, {51, 51}, {200, 200}};
    for (const auto& c : cases) {
        library.readerDuration = c.answered;
        ASSERT_TRUE(connection.changePort(1));
        const QStringList sets = newCalls().filter(QStringLiteral("brnSetReadSessionDuration"));
        ASSERT_EQ(sets.size(), 1);
        EXPECT_TRUE(sets[0].endsWith(QStringLiteral(" 4 %1").arg(c.set))) << sets[0].toStdString();
    }
}

TEST_F(ReaderConnection, SortingBufferDepthComesFromTheStore)
{
    CSettings().setInteger(CSettings::kReader, QStringLiteral("Sorting"), 120);
    ASSERT_TRUE(connection.connect(2));
    EXPECT_EQ(newCalls().last(), QStringLiteral("brnSetSortingBufferDepth #1 120"));
    // A depth below 1, which the library refuses, is the default.
    CSettings().setInteger(CSettings::kReader, QStringLiteral("Sorting"), -7);
    ASSERT_TRUE(connection.changePort(2));
    EXPECT_EQ(newCalls().last(), QStringLiteral("brnSetSortingBufferDepth #2 80"));
}

TEST_F(ReaderConnection, AFailingOpenShowsThePortAndTheLibrarysText)
{
    library.results["brnOpenSerial"] = -1;
    EXPECT_FALSE(connection.connect(3));
    EXPECT_EQ(newCalls(), QStringList{"brnOpenSerial 3"});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnOpenSerial()"));
    EXPECT_EQ(firstLine(ui.messages[0].text), QStringLiteral("Open ComPort 3: 不能打开指定串口."));
    EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Error);
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(connection.handle(), nullptr);
    EXPECT_EQ(book.readerHandle(), nullptr);
}

TEST_F(ReaderConnection, AFailingDurationQueryClosesTheReaderAgain)
{
    library.results["brnGetReadSessionDuration"] = -3;
    EXPECT_FALSE(connection.connect(4));
    EXPECT_EQ(newCalls(), (QStringList{"brnOpenSerial 4", "brnGetReadSessionDuration #1 4", "brnClose #1"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnGetReadSessionDuration()"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("阅读器错误."));
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(book.readerHandle(), nullptr);
}

TEST_F(ReaderConnection, LaterFailuresLeaveItConnectedButThePagesWithoutTheHandle)
{
    const struct {
        const char* failing;
        qsizetype calls;
    } cases[] = {{"brnSetReadSessionDuration", 3}, {"brnSetSortingBufferDepth", 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        library.results = {{c.failing, -3}};
        ui.reset();
        CReaderConnection later(&owner);
        later.addPage(&book);
        EXPECT_FALSE(later.connect(2));
        const QStringList calls = newCalls();
        EXPECT_EQ(calls.size(), c.calls);
        EXPECT_TRUE(calls.last().startsWith(c.failing));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, QString::fromLatin1(c.failing) + "()");
        EXPECT_TRUE(later.isConnected());
        EXPECT_EQ(book.readerHandle(), nullptr);

        // The next port change closes that reader.
        library.results.clear();
        EXPECT_TRUE(later.changePort(3));
        const QString handle = calls[1].section(QLatin1Char(' '), 1, 1);   // of "brnGetReadSessionDuration #n 4"
        EXPECT_EQ(newCalls().first(), QStringLiteral("brnClose ") + handle);
        later.disconnect();
        newCalls();
    }
}

TEST_F(ReaderConnection, PortChangeStopsReadingBeforeTheReaderCloses)
{
    ASSERT_TRUE(connection.connect(3));
    ASSERT_TRUE(book.startReading(127));
    EXPECT_TRUE(book.isReading());
    newCalls();

    EXPECT_TRUE(connection.changePort(5));
    EXPECT_EQ(newCalls(), (QStringList{"brnStopReadingItems #1", "brnClose #1", "brnOpenSerial 5",
                                       "brnGetReadSessionDuration #2 4", "brnSetReadSessionDuration #2 4 200",
                                       "brnSetSortingBufferDepth #2 80"}));
    EXPECT_FALSE(book.isReading());
    EXPECT_EQ(book.readerHandle(), connection.handle());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ReaderConnection, PortChangeWithoutAConnectionOnlyConnects)
{
    library.results["brnOpenSerial"] = -1;
    connection.connect(3);
    library.results.clear();
    newCalls();
    EXPECT_TRUE(connection.changePort(1));
    EXPECT_EQ(newCalls().first(), QStringLiteral("brnOpenSerial 1"));
}

TEST_F(ReaderConnection, FailuresOfStopAndCloseAreShownAndDisconnectingGoesOn)
{
    ASSERT_TRUE(connection.connect(3));
    ASSERT_TRUE(card.startReading(21));
    library.results = {{"brnStopReadingItems", -3}, {"brnClose", -3}};
    newCalls();
    connection.disconnect();
    EXPECT_EQ(newCalls(), (QStringList{"brnStopReadingItems #1", "brnClose #1"}));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnStopReadingItems()"));
    EXPECT_EQ(ui.messages[1].caption, QStringLiteral("brnClose()"));
    EXPECT_FALSE(connection.isConnected());
    EXPECT_FALSE(card.isReading());
}

TEST_F(ReaderConnection, PagesNeverUseTheHandleOfAClosedReader)
{
    ASSERT_TRUE(connection.connect(3));
    connection.disconnect();
    EXPECT_EQ(book.readerHandle(), nullptr);
    newCalls();
    EXPECT_FALSE(book.startReading(127));
    EXPECT_EQ(newCalls(), QStringList{"brnStartReadingItems #0 127"});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnStartReadingItems()"));
    EXPECT_EQ(firstLine(ui.messages[0].text), QStringLiteral("无效句柄，阅读器未初始化."));
    EXPECT_FALSE(book.isReading());
}

TEST_F(ReaderConnection, APageHearsOnlyOfNewTagsWhileItReads)
{
    ASSERT_TRUE(connection.connect(3));
    ASSERT_TRUE(book.startReading(127));
    brnItem item{};
    item.itemId = 12345678;
    library.raise(kReadingNewTag, &item);
    library.raise(kReadingFieldEmpty, nullptr);
    library.raise(kReadingManyTags, nullptr);
    EXPECT_EQ(book.tags, 1);
    EXPECT_EQ(book.lastId, 12345678u);

    book.stopReading();
    library.raise(kReadingNewTag, &item);   // a tick that was already under way
    EXPECT_EQ(book.tags, 1);
    EXPECT_EQ(card.tags, 0);
}

// A reader whose line goes is closed at once and waited for: opened again
// only once its port's device is back, quietly, and not again straight after
// an attempt that failed; choosing a port ends the waiting. (Coming back:
// pages_e2e_test.)
TEST_F(ReaderConnection, ALostReaderIsClosedAndOpenedAgainWhenItsDeviceIsBack)
{
    QTemporaryDir ports;
    const QByteArray portDir = qgetenv("TAGGING_PORT_DIR");
    qputenv("TAGGING_PORT_DIR", ports.path().toLocal8Bit());
    QStringList notes;
    connection.setNoteShower([&](const QString& note) { notes << note; });
    ASSERT_TRUE(connection.connect(3));
    EXPECT_EQ(notes, (QStringList{CReaderConnection::kSearching.arg(3), QString()}));
    const ReaderHandle lost = connection.handle();
    ASSERT_TRUE(book.startReading(127));
    newCalls();

    library.raise(kReadingReaderGone, nullptr);
    EXPECT_FALSE(book.isReading());
    ASSERT_TRUE(QTest::qWaitFor([&] { return connection.isLost(); }, kTimeoutMs));
    EXPECT_EQ(newCalls(), QStringList{"brnClose #1"});
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(book.readerHandle(), nullptr);
    EXPECT_EQ(notes.last(), CReaderConnection::kLost.arg(3));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("Tagging"));
    EXPECT_EQ(ui.messages[0].text, CReaderConnection::kReadingEnded + QLatin1Char('\n') + kReaderGoneAdvice);

    // News of the same reader again changes nothing; nothing is opened while
    // the port's device is missing.
    emit CReaderLine::instance().gone(lost, true, false);
    QCoreApplication::processEvents();
    connection.lookForLostReader();
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(newCalls().isEmpty());

    // The device is back but nothing answers yet: one quiet attempt, and none
    // straight after it.
    QFile device(ports.filePath("COM3"));
    ASSERT_TRUE(device.open(QIODevice::WriteOnly));
    library.results["brnOpenSerial"] = -8;
    connection.lookForLostReader();
    connection.lookForLostReader();
    EXPECT_EQ(newCalls(), QStringList{"brnOpenSerial 3"});
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(connection.isLost());
    EXPECT_EQ(notes.mid(notes.size() - 2),
              (QStringList{CReaderConnection::kReconnecting.arg(3), CReaderConnection::kLost.arg(3)}));

    // Choosing a port ends the waiting.
    library.results.clear();
    ASSERT_TRUE(connection.changePort(3));
    EXPECT_FALSE(connection.isLost());
    qputenv("TAGGING_PORT_DIR", portDir);
}

// A failure that finds the reader's line gone says so on its second line
// and needs no other message; a reader that does not answer is a time-out.
TEST_F(ReaderConnection, AFailureTellsAGoneReaderFromASilentOne)
{
    ASSERT_TRUE(connection.connect(3));
    library.errorTexts[-4] = "\xD4\xC4\xB6\xC1\xC6\xF7\xB0\xE6\xB1\xBE\xB4\xED\xCE\xF3\x2E\x20";   // 阅读器版本错误.
    for (const bool up : {true, false}) {
        library.lineUp = up;
        ui.reset();
        EXPECT_FALSE(ReportReaderFailure(&owner, QStringLiteral("brnWriteItems()"), connection.handle(), -4));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text,
                  QStringLiteral("阅读器版本错误. \n") + (up ? failureAdvice(-4) : kReaderGoneAdvice));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return connection.isLost(); }, kTimeoutMs));
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(ReaderConnection, ReportFailure)
{
    EXPECT_TRUE(ReportFailure(&owner, QStringLiteral("brnClose()"), QStringLiteral("x"), 0));
    EXPECT_TRUE(ui.messages.empty());
    // A code the library has no text for: the prefix alone.
    EXPECT_FALSE(ReportFailure(&owner, QStringLiteral("brnWriteItems()"), QStringLiteral("p: "), -99));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnWriteItems()"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("p: "));
    EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Error);
}

} // namespace
