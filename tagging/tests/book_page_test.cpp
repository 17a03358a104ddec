// The book page's behaviour against the scripted library: the item it
// writes, its guards, verification, list, counter, logs, reading, settings
// and close. What the item does to a tag is tested end to end (book_page_e2e_test).
#include "barcode_edit.h"
#include "holdings.h"
#include "parameter_dlg.h"
#include "rewrite_tag_dlg.h"
#include "settings.h"
#include "standard_tag.h"
#include "tagging_book_page.h"

#include "page_test.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>
#include <utility>

namespace {

class BookPage : public PageTest<CTaggingBookPage> {
protected:
    QStringList filesInWork() const { return QDir(work.path()).entryList(QDir::Files); }
};

TEST_F(BookPage, OpensWithTheStoredSettingsInDisabledControls)
{
    CSettings settings;
    settings.setLocation(QStringLiteral("2"));
    settings.setType(2);
    settings.setReference(true);
    settings.setSetLock(true);
    open();
    EXPECT_EQ(page->caption(), QStringLiteral("  图书标签加工  "));
    EXPECT_EQ(page->libraryIdField()->text(), QStringLiteral("123"));
    EXPECT_TRUE(page->libraryIdField()->isReadOnly());
    EXPECT_EQ(comboEntries(page->locationList()), (QStringList{"1 图书借阅室", "2 少儿图书借阅室", "3 其它"}));
    EXPECT_EQ(comboEntries(page->mediaTypeList()), (QStringList{"1 图书", "2 期刊", "3 光盘"}));
    EXPECT_EQ(page->locationList()->currentIndex(), 1);
    EXPECT_EQ(page->mediaTypeList()->currentIndex(), 2);
    EXPECT_TRUE(page->referenceBox()->isChecked());
    EXPECT_TRUE(page->easBox()->isChecked());
    EXPECT_TRUE(page->lockBox()->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{page->locationList(), page->mediaTypeList(),
                                                      page->referenceBox(), page->easBox(), page->lockBox()})
        EXPECT_FALSE(w->isEnabled());
    EXPECT_FALSE(page->referenceBox()->isVisible());
    EXPECT_TRUE(page->barcodeField()->isEnabled());
    EXPECT_EQ(page->tagList()->mode(), CTagList::TagRows);
    EXPECT_EQ(page->tagList()->columnCount(), 7);
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("0"));
    EXPECT_FALSE(page->verify());
    const QStringList buttons{page->settingsButton()->text(), page->readButton()->text(),
                              page->statisticsButton()->text(), page->rewriteButton()->text()};
    EXPECT_EQ(buttons, (QStringList{"设  置", "读标签数据", "查统计日志", "改写标签"}));
}

TEST_F(BookPage, AnEmptyStoreSelectsTheFirstEntriesAndNothingChecked)
{
    CSettings().setType(-1);
    open();
    EXPECT_EQ(page->locationList()->currentIndex(), 0);   // "2A" begins no entry
    EXPECT_EQ(page->mediaTypeList()->currentIndex(), 0);
    EXPECT_FALSE(page->referenceBox()->isChecked());
    EXPECT_FALSE(page->lockBox()->isChecked());

    // A media type past the end of the list is the first entry too.
    CSettings().setType(7);
    open();
    scan(QStringLiteral("5"));
    ASSERT_EQ(library.written.size(), 1u);
    EXPECT_EQ(library.written[0].book.mediaType, 1u);
}

TEST_F(BookPage, EnterWritesTheBookListsCountsAndLogsIt)
{
    for (const bool lock : {false, true}) {
        SCOPED_TRACE(lock ? "locked" : "not locked");
        CSettings().setSetLock(lock);
        CSettings().setType(1);
        library.written.clear();
        library.calls.clear();
        open();
        scan(QStringLiteral("12345678"));

        ASSERT_EQ(library.written.size(), 1u);
        const brnItem& item = library.written[0];
        EXPECT_EQ(library.calls, (QStringList{"brnInventory #1", QStringLiteral("brnWriteItems #1 0x%1").arg(lock ? "7f" : "7d")}));
        EXPECT_EQ(item.validMask, lock ? 0x7Fu : 0x7Du);
        EXPECT_EQ(item.lockMask, lock ? 0x14u : 0u);
        EXPECT_EQ(item.blockSize, 4);
        EXPECT_EQ(item.itemType, 0);
        EXPECT_EQ(item.easState, 1);
        EXPECT_EQ(item.formatVersion, 1u);
        EXPECT_EQ(item.typeCode, 0u);
        EXPECT_EQ(item.itemId, 12345678u);
        EXPECT_EQ(item.libraryId, 123u);
        EXPECT_EQ(item.book.referenceFlag, 0u);
        EXPECT_EQ(item.book.location, 32u);   // "1 图书借阅室": 1A
        EXPECT_EQ(item.book.mediaType, 2u);   // "2 期刊"
        EXPECT_EQ(item.book.bookYear, 0u);
        EXPECT_EQ(item.extraWord, 0u);
        EXPECT_EQ(item.extraLong, 0u);

        ASSERT_EQ(page->tagList()->rowCount(), 1);
        EXPECT_EQ(row(0), (QStringList{"图书", "ON", lock ? "[00012345678]" : "00012345678",
                                                         lock ? "[000123]" : "000123", "否", "1A", "2"}));
        EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("1"));
        EXPECT_EQ(page->writtenCount(), 1);
        EXPECT_EQ(page->barcodeField()->text(), QString());
        EXPECT_EQ(page->lastBarcode(), QStringLiteral("12345678"));
        EXPECT_EQ(page->workStart(), QStringLiteral("2026-12-06 14:30:05"));
        EXPECT_TRUE(page->focusWidget() == page->barcodeField());
        EXPECT_TRUE(ui.messages.empty());
        page->closing();
    }
    // Each work period logged its line: two in the day's item log.
    EXPECT_EQ(file("20261206.log"), QByteArray("00012345678   2026-12-06 14:30:05\n"
                                               "00012345678   2026-12-06 14:30:05\n"));
}

// Each holding location entry goes to the tag as its own code, which reads
// back as the entry's code text, by which the entry is found again; the text
// stored as Location stays the entry's text.
TEST_F(BookPage, EachHoldingLocationEntryWritesItsOwnCode)
{
    const struct {
        QString stored;
        std::uint32_t code;
        QString codeText;
    } cases[] = {{"1 图书借阅室", 32, "1A"}, {"2 少儿图书借阅室", 64, "2A"}, {"3 其它", 96, "3A"}};
    for (int i = 0; i < 3; ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.codeText.toStdString());
        EXPECT_EQ(kHoldingLocations[i], c.stored);
        EXPECT_EQ(holdingLocationCode(i), c.code);
        EXPECT_EQ(locationText(c.code), c.codeText);
        EXPECT_EQ(holdingLocationOfCode(c.code), i);

        CSettings().setLocation(c.stored);
        library.written.clear();
        open();
        EXPECT_EQ(page->locationList()->currentIndex(), i);
        scan(QStringLiteral("100%1").arg(i));
        ASSERT_EQ(library.written.size(), 1u);
        EXPECT_EQ(library.written[0].book.location, c.code);
        EXPECT_EQ(page->tagList()->cellText(0, 5), c.codeText);
        page->closing();
        EXPECT_EQ(CSettings().location(), c.stored);
    }
    // The code rule itself: digit and letter; a blank after the digit (the
    // entry texts themselves) or a short text is out of range.
    EXPECT_EQ(locationCode(QStringLiteral("1B")), 33u);
    EXPECT_EQ(locationCode(QStringLiteral("7Z")), 249u);
    EXPECT_EQ(locationCode(QStringLiteral("1 图书借阅室")), 255u);
    EXPECT_EQ(locationCode(QStringLiteral("9A")), 255u);
    EXPECT_EQ(locationCode(QStringLiteral("2")), 255u);
    EXPECT_EQ(locationText(255), QStringLiteral("7`"));
    EXPECT_EQ(holdingLocationOfCode(255), -1);
}

TEST_F(BookPage, TheSameBarcodeTwiceIsWrittenOnce)
{
    open();
    scan(QStringLiteral("111"));
    scan(QStringLiteral("111"));
    EXPECT_EQ(library.written.size(), 1u);
    EXPECT_EQ(page->writtenCount(), 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(page->barcodeField()->text(), QStringLiteral("111"));
    EXPECT_TRUE(page->focusWidget() == page->barcodeField());

    scan(QStringLiteral("222"));
    scan(QStringLiteral("111"));
    EXPECT_EQ(library.written.size(), 3u);
    EXPECT_EQ(page->writtenCount(), 3);
}

TEST_F(BookPage, AnEmptyFieldWritesNothingAndOpensNoLog)
{
    open();
    QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    EXPECT_TRUE(library.calls.isEmpty());
    EXPECT_TRUE(filesInWork().isEmpty());
    EXPECT_EQ(page->workStart(), QString());
    page->closing();
    EXPECT_TRUE(filesInWork().isEmpty());   // no write attempt: no workload line
}

// Whatever stops a write leaves the barcode in the field, selected: the next
// scan, typed into the field as a scanner types, replaces it instead of
// being joined to it.
TEST_F(BookPage, AStoppedWriteLeavesTheBarcodeSelectedForTheNextScan)
{
    struct Cause {
        const char* name;
        const char* first;   // the barcode whose write stops
        std::function<void()> arrange, clear;
    };
    const Cause causes[] = {
        {"library failure", "00000801", [&] { library.results["brnWriteItems"] = -14; },
         [&] { library.results.clear(); }},
        {"two tags", "00000801", [&] { library.tagsInField = 2; }, [&] { library.tagsInField = 1; }},
        {"verification mismatch", "00000801",
         [&] {
             CSettings().setVerifyWrite(true);
             page->takeSettings();
             library.results["brnReadSingleItem"] = -14;
         },
         [&] { library.results.clear(); }},
        {"no work directory", "00000801", [&] { CSettings().setWorkPath({}); },
         [&] { CSettings().setWorkPath(work.path()); }},
        {"not a number", "X12345", [] {}, [] {}},
        {"the same barcode again", "801", [&] { scan(QStringLiteral("801")); }, [] {}},
    };
    for (const Cause& c : causes) {
        SCOPED_TRACE(c.name);
        CSettings().setVerifyWrite(false);
        open();
        c.arrange();
        const int written = page->writtenCount();
        scan(QString::fromLatin1(c.first));
        EXPECT_EQ(page->writtenCount(), written);
        EXPECT_EQ(page->barcodeField()->text(), QString::fromLatin1(c.first));
        EXPECT_EQ(page->barcodeField()->selectedText(), QString::fromLatin1(c.first));
        c.clear();
        scan(QStringLiteral("802"));
        EXPECT_EQ(page->writtenCount(), written + 1);
        ASSERT_FALSE(library.written.empty());
        EXPECT_EQ(library.written.back().itemId, 802u);
        page->closing();
    }
}

// Only a decimal number that a tag can hold as an identifier other than an
// empty tag's 0 is written; any other text is refused with a message, before
// a work period starts.
TEST_F(BookPage, TextsThatAreNoNumberATagCanHoldAreRefused)
{
    const QString refused[] = {"0ABCDEFGHI", "X12345", "a", "4412000O00901", "12 34", "0", "00000",
                               "144115188075855872", QString(200, QLatin1Char('9'))};
    open();
    for (const QString& text : refused) {
        SCOPED_TRACE(text.left(20).toStdString());
        ui.reset();
        scan(text);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, QStringLiteral("Tagging"));
        EXPECT_EQ(ui.messages[0].text, CTaggingWritePage::kNotANumber.arg(text.left(CBarcodeEdit::kMaxLength)));
        EXPECT_EQ(page->barcodeField()->selectedText(), text.left(CBarcodeEdit::kMaxLength));
    }
    EXPECT_TRUE(library.calls.isEmpty());
    EXPECT_EQ(page->workStart(), QString());
    EXPECT_TRUE(filesInWork().isEmpty());

    // Blanks around a number, leading zeros and the largest identifier are fine.
    for (const auto& [text, id] : {std::pair{" 123 ", 123ull}, {"00000801802", 801802ull},
                                   {"144115188075855871", 144115188075855871ull}}) {
        scan(QString::fromLatin1(text));
        ASSERT_FALSE(library.written.empty());
        EXPECT_EQ(library.written.back().itemId, id) << text;
    }
    EXPECT_EQ(page->writtenCount(), 3);
}

// Exactly one tag on the reader, or nothing is written.
TEST_F(BookPage, OnlyATagLyingAloneOnTheReaderIsWritten)
{
    library.errorTexts = {{-13, "\xB6\xE0\xB1\xEA\xC7\xA9"}, {-14, "\xCE\xDE\xB1\xEA\xC7\xA9"}};   // 多标签, 无标签
    open();
    for (const auto& [tags, code, text] : {std::tuple{2, -13, "多标签"}, {0, -14, "无标签"}}) {
        library.tagsInField = tags;
        ui.reset();
        scan(QStringLiteral("4711"));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnInventory()"));
        EXPECT_EQ(ui.messages[0].text, QString::fromUtf8(text) + QLatin1Char('\n') + failureAdvice(code));
        EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Error);
    }
    EXPECT_TRUE(library.written.empty());
    EXPECT_EQ(page->writtenCount(), 0);
    EXPECT_EQ(file("20261206.log"), QByteArray());
}

// A log line that cannot be written (a full disk) leaves the tag written and
// counted, and staff are told once per work period.
TEST_F(BookPage, ALostLogLineIsToldOnce)
{
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), QDir(work.path()).filePath("20261206.log")));
    open();
    scan(QStringLiteral("1001"));
    scan(QStringLiteral("1002"));
    EXPECT_EQ(page->writtenCount(), 2);
    EXPECT_EQ(page->tagList()->rowCount(), 2);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("Tagging"));
    EXPECT_EQ(ui.messages[0].text, CWorkLogs::kLineLost);
    page->closing();
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(file("workload.txt"), QByteArray("2   [ 2026-12-06 14:30:05 ] -- [ 2026-12-06 14:30:05 ]\n"));
}

TEST_F(BookPage, WithoutAWorkDirectoryNothingIsWritten)
{
    CSettings().setWorkPath(QString());
    open();
    scan(QStringLiteral("123"));
    EXPECT_TRUE(library.written.empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("Tagging"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("请指定工作目录!"));
    EXPECT_EQ(page->writtenCount(), 0);
    // The next Enter tries again.
    CSettings().setWorkPath(work.path());
    QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    EXPECT_EQ(library.written.size(), 1u);
}

TEST_F(BookPage, AFailingWriteLeavesCounterLogsAndBarcodeAlone)
{
    library.results["brnWriteItems"] = -14;
    library.errorTexts[-14] = "\xCE\xDE\xB1\xEA\xC7\xA9";   // 无标签
    open();
    scan(QStringLiteral("4567"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnWriteItems()"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("无标签\n") + failureAdvice(-14));
    EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Error);
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("0"));
    EXPECT_EQ(page->tagList()->rowCount(), 0);
    EXPECT_EQ(page->barcodeField()->text(), QStringLiteral("4567"));
    EXPECT_EQ(page->lastBarcode(), QString());
    EXPECT_TRUE(page->focusWidget() == page->barcodeField());
    EXPECT_EQ(file("20261206.log"), QByteArray());

    // Pressing Enter again tries the same barcode again.
    library.results.clear();
    QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    EXPECT_EQ(library.written.size(), 2u);
    EXPECT_EQ(page->writtenCount(), 1);
    page->closing();
    EXPECT_EQ(file("workload.txt"), QByteArray("1   [ 2026-12-06 14:30:05 ] -- [ 2026-12-06 14:30:05 ]\n"));
}

TEST_F(BookPage, VerificationReadsTheNumberBack)
{
    CSettings().setVerifyWrite(true);
    open();
    ASSERT_TRUE(page->verify());

    scan(QStringLiteral("777"));
    EXPECT_EQ(library.calls, (QStringList{"brnInventory #1", "brnWriteItems #1 0x7d", "brnReadSingleItem #1 10 4 4"}));
    EXPECT_EQ(page->writtenCount(), 1);
    EXPECT_TRUE(ui.messages.empty());

    // Another number on the tag, or no tag at all: the mismatch message,
    // nothing counted, listed or logged, the barcode stays.
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    brnItem other{};
    other.validMask = 0x04;
    other.itemId = 999;
    const Case cases[] = {{"other number", [&] { library.tagOnReader = other; }},
                          {"no tag", [&] { library.results["brnReadSingleItem"] = -14; }}};
    int barcode = 800;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        ui.reset();
        scan(QString::number(++barcode));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, QStringLiteral("VerifyWrite()"));
        EXPECT_EQ(ui.messages[0].text, QStringLiteral("校验标签：数据不匹配！"));
        EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Information);
        EXPECT_EQ(page->writtenCount(), 1);
        EXPECT_EQ(page->tagList()->rowCount(), 1);
        EXPECT_EQ(page->barcodeField()->text(), QString::number(barcode));
        EXPECT_EQ(page->lastBarcode(), QStringLiteral("777"));
    }
    EXPECT_EQ(file("20261206.log"), QByteArray("00000000777   2026-12-06 14:30:05\n"));
}

TEST_F(BookPage, VerificationOffMakesNoReadBack)
{
    open();
    scan(QStringLiteral("777"));
    EXPECT_EQ(library.calls, (QStringList{"brnInventory #1", "brnWriteItems #1 0x7d"}));
}

TEST_F(BookPage, AnotherLibrarysTagIsWrittenOnlyWhileTheConfirmedTagLiesAlone)
{
    library.tagMemory = ScriptedLibrary::standardTagMemory();
    open();
    // Yes; while the question is up, staff swap the tag.
    ui.questionAnswers = {true};
    ui.onQuestion = [&](const RecordedMessage&) { library.tagMemory.uid[7] = 0x04; };
    scan(QStringLiteral("777"));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, kWriteOverQuestion.arg("ISO 28560-3", "1000000056", "DK-718500"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("Tagging"));
    EXPECT_EQ(ui.messages[0].text, kTagChanged);
    EXPECT_EQ(library.calls, (QStringList{"brnInventory #1", "brnInventory #1"}));
    EXPECT_EQ(library.memoryCalls,
              (QStringList{"brnReadSingleTagMemory #1 10 256", "brnReadSingleTagMemory #1 10 0"}));
    EXPECT_TRUE(library.written.empty());

    // Yes, and a second tag laid beside it meanwhile.
    library.tagMemory = ScriptedLibrary::standardTagMemory();
    ui.reset();
    ui.questionAnswers = {true};
    ui.onQuestion = [&](const RecordedMessage&) { library.tagsInField = 2; };
    QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnInventory()"));
    EXPECT_TRUE(library.written.empty());

    // A tag that cannot be read is not written.
    library.tagsInField = 1;
    library.results["brnReadSingleTagMemory"] = BRN_ERR_READ;
    ui.reset();
    QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnReadSingleTagMemory()"));
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_TRUE(library.written.empty());
    EXPECT_EQ(page->writtenCount(), 0);
}

TEST_F(BookPage, TheNumberIsShownAsTheLibraryLeftIt)
{
    CSettings().setLibraryId(QStringLiteral("44120"));
    CSettings().setVerifyWrite(true);
    library.onWrite = [](brnItem& item) { item.itemId -= 4412000000000ull; };
    open();
    scan(QStringLiteral("4412000000123"));
    ASSERT_EQ(library.written.size(), 1u);
    EXPECT_EQ(library.written[0].itemId, 4412000000123ull);
    EXPECT_EQ(page->tagList()->cellText(0, 2), QStringLiteral("00000000123"));
    EXPECT_EQ(page->tagList()->cellText(0, 3), QStringLiteral("044120"));
    EXPECT_TRUE(ui.messages.empty());   // verified against the reduced number
    EXPECT_EQ(file("20261206.log"), QByteArray("00000000123   2026-12-06 14:30:05\n"));
}

TEST_F(BookPage, TheListStartsOverEveryHundredWrittenTags)
{
    open();
    const struct {
        int written, rows;
    } checkpoints[] = {{1, 1}, {100, 100}, {101, 1}, {200, 100}, {201, 1}};
    int written = 0;
    for (const auto& c : checkpoints) {
        while (written < c.written)
            scan(QString::number(1000 + ++written));
        EXPECT_EQ(page->tagList()->rowCount(), c.rows) << c.written;
        EXPECT_EQ(page->counterLabel()->text(), QString::number(c.written));
        EXPECT_EQ(page->tagList()->cellText(0, 2), QStringLiteral("%1").arg(1000 + c.written, 11, 10, QLatin1Char('0')));
    }
}

TEST_F(BookPage, RowRules)
{
    auto book = [](std::uint32_t valid, std::uint32_t locks) {
        brnItem item{};
        item.validMask = valid;
        item.lockMask = locks;
        item.easState = 0;
        item.itemId = 12345678;
        item.libraryId = 1234567;
        item.book.referenceFlag = 1;
        item.book.location = 33;
        item.book.mediaType = 3;
        return item;
    };
    brnItem card{};
    card.validMask = 0x7D;
    card.typeCode = 1;
    card.itemType = 1;
    card.itemId = 5;
    card.libraryId = 123;
    brnItem strange = card;
    strange.typeCode = 5;
    strange.itemType = 5;
    strange.validMask = 0x04;
    const struct {
        const char* name;
        brnItem item;
        QStringList row;
    } cases[] = {
        {"book, all read", book(0x7D, 0), {"图书", "OFF", "00012345678", "1234567", "是", "1B", "3"}},
        {"book, locks known", book(0x7F, 0x08),
         {"图书", "OFF", "00012345678", "1234567", "[是]", "[1B]", "[3]"}},
        {"book, number and library locked", book(0x7F, 0x14),
         {"图书", "OFF", "[00012345678]", "[1234567]", "是", "1B", "3"}},
        {"locks not known", book(0x7D, 0x1C), {"图书", "OFF", "00012345678", "1234567", "是", "1B", "3"}},
        {"book without block 2 or EAS", book(0x14, 0),
         {"图书", "---", "00012345678", "1234567", "----", "---------", "---------"}},
        {"without library", book(0x04, 0), {"图书", "---", "00012345678", "--------", "----", "---------", "---------"}},
        {"patron card", card, {"读者证", "OFF", "00000000005", "000123", "", "", ""}},
        {"another type", strange, {"---", "---", "00000000005", "--------", "", "", ""}},
    };
    open();
    for (const auto& c : cases) {
        page->tagList()->deleteAllRows();
        page->setReaderHandle(kScriptedReader);
        ASSERT_TRUE(page->startReading(CTaggingBookPage::kReadMask));
        brnItem item = c.item;
        library.raise(kReadingNewTag, &item);
        EXPECT_EQ(row(0), c.row) << c.name;
    }
}

TEST_F(BookPage, ReadTagDataListsWhatReadingFinds)
{
    open();
    scan(QStringLiteral("42"));
    library.calls.clear();
    page->readButton()->click();
    EXPECT_EQ(library.calls, QStringList{"brnStartReadingItems #1 127"});
    EXPECT_TRUE(page->isReading());
    EXPECT_EQ(page->tagList()->rowCount(), 0);

    brnItem item{};
    item.validMask = 0x04;
    item.itemId = 1;
    library.raise(kReadingNewTag, &item);
    item.itemId = 2;
    library.raise(kReadingNewTag, &item);
    library.raise(kReadingFieldEmpty, nullptr);
    library.raise(kReadingManyTags, nullptr);
    EXPECT_EQ(page->readCount(), 2);
    ASSERT_EQ(page->tagList()->rowCount(), 2);
    EXPECT_EQ(page->tagList()->cellText(0, 2), QStringLiteral("00000000002"));

    // Reading again starts over; the statistics view does not stop reading
    // and the next tag brings the tag rows back.
    page->readButton()->click();
    EXPECT_EQ(library.calls.mid(1),
              (QStringList{"brnStopReadingItems #1", "brnStartReadingItems #1 127"}));
    EXPECT_EQ(page->readCount(), 0);
    EXPECT_EQ(page->tagList()->rowCount(), 0);
    QFile(QDir(work.path()).filePath("workload.txt")).open(QIODevice::Append);
    page->statisticsButton()->click();
    EXPECT_EQ(page->tagList()->mode(), CTagList::WorkloadLines);
    EXPECT_TRUE(page->isReading());
    library.raise(kReadingNewTag, &item);
    EXPECT_EQ(page->tagList()->mode(), CTagList::TagRows);
    EXPECT_EQ(page->tagList()->rowCount(), 1);

    // A write stops reading first.
    library.calls.clear();
    scan(QStringLiteral("43"));
    EXPECT_EQ(library.calls, (QStringList{"brnStopReadingItems #1", "brnInventory #1", "brnWriteItems #1 0x7d"}));
    EXPECT_FALSE(page->isReading());
}

TEST_F(BookPage, AFailedStartIsReportedAndNothingReads)
{
    open();
    page->setReaderHandle(nullptr);
    page->readButton()->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnStartReadingItems()"));
    EXPECT_FALSE(page->isReading());
}

TEST_F(BookPage, SettingsOkTakesTheNewSettingsAndReadingGoesOn)
{
    open();
    ASSERT_TRUE(page->startReading(CTaggingBookPage::kReadMask));
    answerSettingsDialog([](CParameterDlg& dlg) {
        dlg.libraryIdField()->setText(QStringLiteral("44120"));
        dlg.setLockBox()->setChecked(true);
        dlg.locationList()->setCurrentIndex(2);
        dlg.mediaTypeList()->setCurrentIndex(1);
    });
    CSettings().setVerifyWrite(true);   // changed in the store meanwhile
    CSettings().setBarPar(QStringLiteral("10:8:1:0::\n"));
    page->settingsButton()->click();
    EXPECT_EQ(page->libraryIdField()->text(), QStringLiteral("44120"));
    EXPECT_TRUE(page->lockBox()->isChecked());
    EXPECT_EQ(page->locationList()->currentIndex(), 2);
    EXPECT_EQ(page->mediaTypeList()->currentIndex(), 1);
    EXPECT_TRUE(page->verify());
    EXPECT_TRUE(page->barcodeField()->checker().isLoaded());
    EXPECT_EQ(page->barcodeField()->checker().structures().size(), 1u);
    EXPECT_TRUE(page->isReading());

    // Cancel changes nothing.
    answerSettingsDialog([](CParameterDlg& dlg) { dlg.libraryIdField()->setText(QStringLiteral("1")); }, false);
    CSettings().setVerifyWrite(false);
    page->settingsButton()->click();
    EXPECT_EQ(page->libraryIdField()->text(), QStringLiteral("44120"));
    EXPECT_TRUE(page->verify());
}

TEST_F(BookPage, CloseStoresTheHoldingsAppendsTheWorkloadAndStopsReading)
{
    CSettings settings;
    settings.setLocation(QStringLiteral("3"));
    settings.setType(1);
    settings.setReference(true);
    open();
    scan(QStringLiteral("1"));   // one character: passes unchecked
    scan(QStringLiteral("2"));
    ASSERT_EQ(page->writtenCount(), 2);
    ASSERT_TRUE(page->startReading(CTaggingBookPage::kReadMask));
    CSettings().setLocation(QStringLiteral("x"));
    CSettings().setType(-1);
    CSettings().setReference(false);
    now = now.addSecs(3600);
    library.calls.clear();

    page->closing();
    EXPECT_EQ(CSettings().location(), QStringLiteral("3 其它"));
    EXPECT_EQ(CSettings().type(), 1);
    EXPECT_TRUE(CSettings().reference());
    EXPECT_EQ(file("workload.txt"), QByteArray("2   [ 2026-12-06 14:30:05 ] -- [ 2026-12-06 15:30:05 ]\n"));
    EXPECT_EQ(library.calls, QStringList{"brnStopReadingItems #1"});
    EXPECT_FALSE(page->isReading());
    EXPECT_FALSE(page->workLogs().isOpen());
}

TEST_F(BookPage, RewriteStopsReadingAndOpensTheDialogForThisReaderAsItIsNow)
{
    open();
    ASSERT_TRUE(page->startReading(CTaggingBookPage::kReadMask));
    library.calls.clear();
    QStringList callsWhenShown;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<CRewriteTagDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        callsWhenShown = library.calls;
        dlg->writeEasBox()->setChecked(true);
        dlg->startButton()->click();
        // The reader is reconnected while the dialog is open: the next
        // write goes to the reader as it is now.
        page->setReaderHandle(reinterpret_cast<ReaderHandle>(2));
        dlg->startButton()->click();
        QTest::mouseClick(dlg->exitButton(), Qt::LeftButton);
    });
    page->rewriteButton()->click();
    EXPECT_EQ(callsWhenShown, QStringList{"brnStopReadingItems #1"});
    EXPECT_TRUE(library.calls.contains(QStringLiteral("brnWriteItems #1 0x01")));
    EXPECT_EQ(library.calls.last(), QStringLiteral("brnWriteItems #2 0x01"));
    EXPECT_FALSE(page->isReading());
    // The dialog counts and logs nothing.
    EXPECT_EQ(page->writtenCount(), 0);
    EXPECT_TRUE(filesInWork().isEmpty());
}

} // namespace
