// The book page and the rewrite dialog through the real libraries, against a
// simulated reader of each first-make family on a pseudo-terminal: a barcode
// scanned into the field becomes a programmed tag in the simulator's memory,
// and the page lists, counts and logs it.
#include "rewrite_tag_dlg.h"
#include "tagging_book_page.h"

#include "simulated_reader_test.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

// The real tag mapping library, with a moment before each read-back in
// which the test can act as staff do (lift the tag too early).
class LibraryWithPause final : public ReaderLibrary {
public:
    LibraryWithPause() : m_previous(ReaderLibrary::install(this)) {}
    ~LibraryWithPause() override { ReaderLibrary::install(m_previous); }

    const char* errorString(int code) override { return real().errorString(code); }
    int openSerial(int port, ReaderHandle* handle, int* family) override
    {
        return real().openSerial(port, handle, family);
    }
    int close(ReaderHandle handle) override { return real().close(handle); }
    int readerConnected(ReaderHandle handle) override { return real().readerConnected(handle); }
    int getReadSessionDuration(ReaderHandle h, std::uint32_t n, std::uint32_t* ms) override
    {
        return real().getReadSessionDuration(h, n, ms);
    }
    int setReadSessionDuration(ReaderHandle h, std::uint32_t n, std::uint32_t ms) override
    {
        return real().setReadSessionDuration(h, n, ms);
    }
    int setSortingBufferDepth(ReaderHandle h, int depth) override { return real().setSortingBufferDepth(h, depth); }
    int startReadingItems(ReaderHandle h, std::uint32_t mask, ItemCallback cb, void* context) override
    {
        return real().startReadingItems(h, mask, cb, context);
    }
    int stopReadingItems(ReaderHandle h) override { return real().stopReadingItems(h); }
    int setTagMemoryCallback(ReaderHandle h, std::uint32_t blocks, TagMemoryCallback cb, void* context) override
    {
        return real().setTagMemoryCallback(h, blocks, cb, context);
    }
    int readSingleTagMemory(ReaderHandle h, std::uint32_t delay, std::uint32_t blocks, brnTagMemory* memory) override
    {
        return real().readSingleTagMemory(h, delay, blocks, memory);
    }
    int readSingleItem(ReaderHandle h, std::uint32_t delay, std::uint32_t mask, brnItem* item) override
    {
        if (beforeRead)
            beforeRead();
        return real().readSingleItem(h, delay, mask, item);
    }
    int inventory(ReaderHandle h) override { return real().inventory(h); }
    int writeItems(ReaderHandle h, brnItem* item) override { return real().writeItems(h, item); }

    std::function<void()> beforeRead;

private:
    static ReaderLibrary& real() { return brenholtLibrary(); }
    ReaderLibrary* m_previous;
};

class BookPageOnASimulatedReader : public OnEachFamily {
protected:
    void start()
    {
        OnEachFamily::start();
        page = view->bookPage();
    }

    void scan(const QString& barcode) { SimulatedReaderTest::scan(page, barcode); }

    QStringList topRow() const
    {
        QStringList cells;
        for (int col = 0; col < page->tagList()->columnCount(); ++col)
            cells << page->tagList()->cellText(0, col);
        return cells;
    }

    CTaggingBookPage* page = nullptr;
};

TEST_P(BookPageOnASimulatedReader, AScannedBarcodeBecomesALockedVerifiedBookTag)
{
    CSettings settings;
    settings.setSetLock(true);
    settings.setVerifyWrite(true);
    settings.setLocation(QStringLiteral("2"));   // "2 少儿图书借阅室": code 2A
    settings.setType(1);                         // "2 期刊"
    placeBlank();
    start();
    scan(QStringLiteral("12345678"));
    ASSERT_TRUE(ui.messages.empty()) << messages().toStdString();

    TagImage expected;
    expected.afi = 0x91;
    expected.eas = true;
    expected.blocks = {0x10000000,   // format 1, type 0, number bits 56-32
                       12345678,     // number bits 31-0
                       0x20080000,   // not for reference, location 2A (64), media type 2
                       123456,       // library
                       0x0004E000,   // no date: year code 78
                       0, 0, 0};
    // The number and library blocks are locked.
    expected.locked = {GetParam().locksBlock0, true, false, true, false, false, false, false};
    EXPECT_EQ(image(), expected);

    EXPECT_EQ(topRow(), (QStringList{"图书", "ON", "[00012345678]", "[123456]", "否", "2A", "2"}));
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("1"));
    EXPECT_EQ(page->barcodeField()->text(), QString());
    EXPECT_EQ(itemLog(), QByteArray("00012345678   2026-12-06 14:30:05\n"));
}

TEST_P(BookPageOnASimulatedReader, TheSameBarcodeTwiceTalksToTheReaderOnce)
{
    placeBlank();
    start();
    scan(QStringLiteral("555"));
    ASSERT_EQ(page->writtenCount(), 1) << messages().toStdString();
    const std::uint64_t commands = reader().commandCount();
    scan(QStringLiteral("555"));
    EXPECT_EQ(reader().commandCount(), commands);
    EXPECT_EQ(page->writtenCount(), 1);
    EXPECT_TRUE(ui.messages.empty()) << messages().toStdString();
    EXPECT_EQ(page->tagList()->rowCount(), 1);
}

TEST_P(BookPageOnASimulatedReader, ATagLiftedBeforeTheReadBackFailsVerification)
{
    CSettings().setVerifyWrite(true);
    LibraryWithPause library;
    library.beforeRead = [this] { reader().remove(*sim::uidFromText(kBlankUid)); };
    placeBlank();
    start();
    scan(QStringLiteral("9876"));

    ASSERT_EQ(ui.messages.size(), 1u) << messages().toStdString();
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("VerifyWrite()"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("校验标签：数据不匹配！"));
    EXPECT_EQ(image().blocks[1], 9876u);   // written all the same
    EXPECT_EQ(page->writtenCount(), 0);
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("0"));
    EXPECT_EQ(page->tagList()->rowCount(), 0);
    EXPECT_EQ(page->barcodeField()->text(), QStringLiteral("9876"));
    EXPECT_EQ(itemLog(), QByteArray());
}

TEST_P(BookPageOnASimulatedReader, AFailingWriteLeavesTheCounterAlone)
{
    start();   // no tag on the reader
    scan(QStringLiteral("4321"));
    ASSERT_EQ(ui.messages.size(), 1u) << messages().toStdString();
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnInventory()"));
    EXPECT_EQ(ui.messages[0].icon, Ui::Icon::Error);
    EXPECT_EQ(firstLine(ui.messages[0].text), QStringLiteral("没有标签或读写标签错误."));
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("0"));
    EXPECT_EQ(page->tagList()->rowCount(), 0);
    EXPECT_EQ(page->barcodeField()->text(), QStringLiteral("4321"));
    EXPECT_EQ(itemLog(), QByteArray());

    // The tag laid on, Enter again: the same barcode is written this time.
    ui.reset();
    placeBlank();
    QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    EXPECT_TRUE(ui.messages.empty()) << messages().toStdString();
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("1"));
    EXPECT_EQ(image().blocks[1], 4321u);

    // A write that stops again; the next scan is typed into the field as a
    // scanner types, and exactly its barcode reaches the tag.
    remove(kBlankUid);
    scan(QStringLiteral("00000801"));
    ASSERT_EQ(page->writtenCount(), 1);
    placeBlank();
    ui.reset();
    scan(QStringLiteral("802"));
    EXPECT_TRUE(ui.messages.empty()) << messages().toStdString();
    EXPECT_EQ(image().blocks[1], 802u);
    EXPECT_EQ(page->tagList()->cellText(0, 2), QStringLiteral("00000000802"));
}

TEST_P(BookPageOnASimulatedReader, TwoTagsOnTheReaderAreNeitherWritten)
{
    placeBlank();
    const char kSecond[] = "E004010000000002";
    placeBlank(kSecond);
    start();
    const TagImage before = image();
    scan(QStringLiteral("1234"));
    ASSERT_EQ(ui.messages.size(), 1u) << messages().toStdString();
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnInventory()"));
    EXPECT_EQ(firstLine(ui.messages[0].text), QStringLiteral("存在多个标签. "));
    EXPECT_EQ(image(), before);
    EXPECT_EQ(image(kSecond), before);
    EXPECT_EQ(page->writtenCount(), 0);
}

TEST_P(BookPageOnASimulatedReader, Library44120KeepsTheShortNumberOnTheTagAndReadsItBackWhole)
{
    CSettings().setLibraryId(QStringLiteral("44120"));
    CSettings().setVerifyWrite(true);
    placeBlank();
    start();
    scan(QStringLiteral("4412000000123"));
    ASSERT_TRUE(ui.messages.empty()) << messages().toStdString();
    const TagImage tag = image();
    EXPECT_EQ(tag.blocks[0], 0x10000000u);
    EXPECT_EQ(tag.blocks[1], 123u);
    EXPECT_EQ(tag.blocks[3], 44120u);
    EXPECT_EQ(topRow().mid(0, 4), (QStringList{"图书", "ON", "00000000123", "044120"}));
    EXPECT_EQ(itemLog(), QByteArray("00000000123   2026-12-06 14:30:05\n"));

    // Read tag data: the tag's number comes back whole, beside a book of
    // another library laid next to it.
    place("E004010000000002 afi=91 eas=0 locked=0-1 10000000 00003039 90940000 0001E240");
    page->readButton()->click();
    ASSERT_TRUE(page->isReading()) << messages().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->tagList()->rowCount() == 2; }, kSimTimeoutMs));
    QStringList numbers{page->tagList()->cellText(0, 2), page->tagList()->cellText(1, 2)};
    numbers.sort();
    EXPECT_EQ(numbers, (QStringList{"4412000000123", "[00000012345]"}));
    EXPECT_EQ(page->readCount(), 2);
    const int other = page->tagList()->cellText(0, 2) == "[00000012345]" ? 0 : 1;
    EXPECT_EQ(page->tagList()->cellText(other, 3), QStringLiteral("123456"));
    EXPECT_EQ(page->tagList()->cellText(other, 4), QStringLiteral("是"));
    EXPECT_EQ(page->tagList()->cellText(other, 5), QStringLiteral("1B"));
    EXPECT_EQ(page->tagList()->cellText(other, 6), QStringLiteral("5"));
    EXPECT_TRUE(ui.messages.empty()) << messages().toStdString();
}

TEST_P(BookPageOnASimulatedReader, TheRewriteDialogChangesOnlyTheTickedParts)
{
    placeBlank();
    start();
    scan(QStringLiteral("24680"));
    ASSERT_EQ(page->writtenCount(), 1) << messages().toStdString();
    TagImage expected = image();
    ASSERT_TRUE(expected.eas);

    CRewriteTagDlg dlg(page->readerHandle());
    struct Step {
        const char* name;
        std::function<void()> tick;
        std::function<void(TagImage&)> change;
    };
    const Step steps[] = {
        {"EAS off",
         [&] {
             dlg.writeEasBox()->setChecked(true);
             dlg.easList()->setCurrentIndex(1);
         },
         [](TagImage& t) { t.eas = false; }},
        {"holdings",
         [&] {
             dlg.writeHoldingsBox()->setChecked(true);
             dlg.mediaTypeList()->setCurrentIndex(2);   // "3 光盘"
             dlg.locationList()->setCurrentIndex(2);    // "3 其它": 3A
         },
         [](TagImage& t) { t.blocks[2] = 0x300C0000; }},
        {"library",
         [&] {
             dlg.writeLibraryBox()->setChecked(true);
             dlg.libraryIdField()->setText(QStringLiteral("654321"));
         },
         [](TagImage& t) { t.blocks[3] = 654321; }},
        {"lock of the library block", [&] { dlg.lockLibraryBox()->setChecked(true); },
         [](TagImage& t) { t.locked[3] = true; }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        for (QCheckBox* box :
             {dlg.writeLibraryBox(), dlg.lockLibraryBox(), dlg.writeHoldingsBox(), dlg.writeEasBox()})
            box->setChecked(false);
        step.tick();
        ui.reset();
        dlg.startButton()->click();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, QStringLiteral("改写标签成功！")) << messages().toStdString();
        step.change(expected);
        EXPECT_EQ(image(), expected);
    }
    EXPECT_EQ(page->writtenCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Families, BookPageOnASimulatedReader, ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.sim); });

} // namespace
