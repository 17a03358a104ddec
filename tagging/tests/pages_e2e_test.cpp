// The patron card, shelf tag and tag check pages through the real libraries
// against simulated readers on pseudo-terminals, reached as staff reach
// them, on the form's page sheet: a card and a shelf tag programmed and read
// back, tags passing the reader listed on the check page, the check page's
// row cap, and a page that leaves the front of the sheet stops its reading.
#include "check_tag_page.h"
#include "page_sheet.h"
#include "reader_connection.h"
#include "standard_tag.h"
#include "tagging_book_page.h"
#include "tagging_card_page.h"
#include "tagging_shelf_page.h"

#include "simulated_reader_test.h"

#include <grid.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <set>

namespace {

// The pages' places on the sheet.
enum SheetPage { BookTab = 0, CardTab = 1, ShelfTab = 2, CheckTab = 3 };

// A book of library 123456, number 12345 (blocks 0 and 1 locked): not for
// loan, location 1B, media type 5.
const std::string kBookLine = "E004010000000B01 afi=91 eas=1 locked=0-1 10000000 00003039 90940000 0001E240";
// A patron card of library 123456, number 123: registered 6/12/2026, type 2,
// status 1; valid until 6/12/2027.
const std::string kCardLine =
    "E004010000000C01 afi=92 eas=0 12000000 0000007B C3070041 0001E240 C3072000";
const char kEmptyUid[] = "E004010000000E01";

QStringList listRow(const CTagList& list, int row)
{
    QStringList cells;
    for (int col = 0; col < list.columnCount(); ++col)
        cells << list.cellText(row, col);
    return cells;
}

QStringList gridRow(const CDataGrid& grid, int row)
{
    QStringList cells;
    for (int col = 0; col < grid.columnCount(); ++col)
        cells << grid.cellText(row, col);
    return cells;
}

class PagesOnASimulatedReader : public OnEachFamily {
protected:
    // An EAS bit that is off, as a page learns it: a FENO reader's alarm
    // query goes unanswered by such a tag, so the state stays unknown there.
    QString easOff(const QString& unknown) const
    {
        return GetParam().number == BRN_FAMILY_FENO ? unknown : QStringLiteral("OFF");
    }

    // The form connected, with the page of the tab in front.
    void startOn(SheetPage tab)
    {
        start();
        view->sheet()->setCurrentPage(tab);
        ASSERT_EQ(view->sheet()->currentPage(), view->pages()[static_cast<std::size_t>(tab)]);
    }
};

// Tests with one tag in the field at a time: these run on the second make's
// reader as well, whose inventory finds one tag only.
class OneTagAtATime : public PagesOnASimulatedReader {};

TEST_P(OneTagAtATime, APatronCardIsWrittenWithTypeStatusAndDatesAndReadsBack)
{
    CSettings settings;
    settings.setSetLock(true);
    settings.setVerifyWrite(true);
    place(std::string(kBlankUid) + " eas=1");   // the card's EAS bit goes off
    startOn(CardTab);
    CTaggingCardPage* page = view->cardPage();
    page->patronTypeList()->setCurrentIndex(1);   // "2  VIP"
    page->cardStatusList()->setCurrentIndex(2);   // "3  挂失"
    page->registerDateEdit()->setDate(QDate(2026, 12, 6));
    page->validDateEdit()->setDate(QDate(2027, 12, 6));
    scan(page, QStringLiteral("123"));
    ASSERT_TRUE(ui.messages.empty()) << messages().toStdString();

    const TagImage tag = image();
    EXPECT_EQ(tag.afi, 0x92);
    EXPECT_FALSE(tag.eas);
    EXPECT_EQ(tag.blocks[0], 0x12000000u);   // format 1, type 1
    EXPECT_EQ(tag.blocks[1], 123u);
    EXPECT_EQ(tag.blocks[3], 123456u);
    EXPECT_EQ(tag.locked, (std::array<bool, 8>{GetParam().locksBlock0, true, false, true, false, false, false, false}));
    EXPECT_EQ(listRow(*page->tagList(), 0),
              (QStringList{"读者证", "OFF", "[0000000000123]", "[123456]", "2", "3", "6/12/2026", "6/12/2027"}));
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("1"));
    EXPECT_EQ(itemLog(), QByteArray("00000000123   2026-12-06 14:30:05\n"));

    // The tag mapping library reads the card back as it was written.
    brnItem card{};
    card.blockSize = BRN_BLOCK_SIZE;
    ASSERT_EQ(brnReadSingleItem(page->readerHandle(), 10, BRN_ITEM_ALL, &card), BRN_OK);
    EXPECT_EQ(card.itemType, BRN_ITEM_TYPE_PATRON_CARD);
    EXPECT_EQ(card.typeCode, 1u);
    EXPECT_EQ(card.formatVersion, 1u);
    EXPECT_EQ(card.itemId, 123u);
    EXPECT_EQ(card.libraryId, 123456u);
    EXPECT_EQ(card.easState, 0);
    EXPECT_EQ(card.lockMask & (BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY | BRN_ITEM_BLOCK2),
              BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY);
    EXPECT_EQ(card.patron.patronType, 2u);
    EXPECT_EQ(card.patron.cardStatus, 3u);
    EXPECT_EQ((std::array{card.patron.registerDay, card.patron.registerMonth, card.patron.registerYear}),
              (std::array{6u, 12u, 2026u}));
    EXPECT_EQ((std::array{card.patron.validDay, card.patron.validMonth, card.patron.validYear}),
              (std::array{6u, 12u, 2027u}));

    // And so does the page's own reading, which counts what it finds.
    page->readButton()->click();
    ASSERT_TRUE(page->isReading()) << messages().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->tagList()->rowCount() == 1; }, kSimTimeoutMs));
    EXPECT_EQ(listRow(*page->tagList(), 0),
              (QStringList{"读者证", easOff("---"), "0000000000123", "123456", "2", "3", "6/12/2026", "6/12/2027"}));
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("1"));
    EXPECT_TRUE(ui.messages.empty()) << messages().toStdString();
}

TEST_P(PagesOnASimulatedReader, AShelfTagKeepsItsEasBitUnlessAskedAndIsNeverLocked)
{
    const char kSecondUid[] = "E004010000000002";
    CSettings().setSetLock(true);
    CSettings().setVerifyWrite(true);
    place(std::string(kBlankUid) + " eas=1");
    startOn(ShelfTab);
    CTaggingShelfPage* page = view->shelfPage();
    scan(page, QStringLiteral("42"));
    ASSERT_TRUE(ui.messages.empty()) << messages().toStdString();

    TagImage expected;
    expected.afi = 0x93;
    expected.eas = true;   // as it was
    expected.blocks = {0x14000000, 42, 0, 123456, 0, 0, 0, 0};
    EXPECT_EQ(image(), expected);
    EXPECT_EQ(listRow(*page->tagList(), 0), (QStringList{"架标", "---", "0000000042", "123456"}));

    // The next shelf, its tag's EAS bit asked for.
    remove(kBlankUid);
    placeBlank(kSecondUid);
    page->easBox()->setChecked(true);
    scan(page, QStringLiteral("43"));
    ASSERT_TRUE(ui.messages.empty()) << messages().toStdString();
    expected.blocks[1] = 43;
    EXPECT_EQ(image(kSecondUid), expected);
    EXPECT_EQ(listRow(*page->tagList(), 0), (QStringList{"架标", "ON", "0000000043", "123456"}));
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(itemLog(), QByteArray("0000000042   2026-12-06 14:30:05\n"
                                    "0000000043   2026-12-06 14:30:05\n"));

    // Both shelves' tags and a book on the reader: read tag data.
    ASSERT_TRUE(reader().putBack(*sim::uidFromText(kBlankUid)));
    place(kBookLine);
    page->readButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->tagList()->rowCount() == 3; }, kSimTimeoutMs))
        << messages().toStdString();
    std::set<QStringList> rows;
    for (int row = 0; row < 3; ++row)
        rows.insert(listRow(*page->tagList(), row));
    EXPECT_EQ(rows, (std::set<QStringList>{{"架标", "ON", "0000000042", "123456"},
                                           {"架标", "ON", "0000000043", "123456"},
                                           {"图书", "ON", "0000012345", "123456"}}));
}

// A reader that goes (its line closed: unplugged) is closed and waited for;
// when it answers again the form opens it by itself. A second-make reader
// takes a few seconds to be found again.
constexpr int kReconnectMs = 4 * kSimTimeoutMs;

TEST_P(OneTagAtATime, AWriteOnALostReaderSaysSoAndTheReaderIsReconnectedWhenItAnswersAgain)
{
    placeBlank();
    startOn(BookTab);
    CTaggingBookPage* page = view->bookPage();
    served.server->closeLine();
    scan(page, QStringLiteral("1357"));
    ASSERT_EQ(ui.messages.size(), 1u) << messages().toStdString();
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnInventory()"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("阅读器版本错误. \n") + kReaderGoneAdvice);
    EXPECT_EQ(page->writtenCount(), 0);
    // The one message was enough; the form says what goes on meanwhile.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->connection().isLost(); }, kSimTimeoutMs));
    EXPECT_EQ(page->readerHandle(), nullptr);
    EXPECT_TRUE(view->noteLabel()->isVisible());
    EXPECT_EQ(view->noteLabel()->text(), CReaderConnection::kLost.arg(3));

    served.server->reopenLine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->connection().isConnected(); }, kReconnectMs));
    EXPECT_EQ(view->noteLabel()->text(), CReaderConnection::kBack.arg(3));
    EXPECT_EQ(page->readerHandle(), view->connection().handle());
    EXPECT_EQ(ui.messages.size(), 1u) << messages().toStdString();
    // Enter alone writes the barcode still in the field.
    QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    EXPECT_EQ(ui.messages.size(), 1u) << messages().toStdString();
    EXPECT_EQ(image().blocks[1], 1357u);
}

TEST_P(OneTagAtATime, ContinuousReadingEndsWithAMessageWhenTheReaderGoes)
{
    startOn(CheckTab);
    CCheckTagPage* page = view->checkPage();
    page->startButton()->click();
    ASSERT_TRUE(page->isReading()) << messages().toStdString();
    served.server->closeLine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, kSimTimeoutMs));
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("Tagging"));
    EXPECT_EQ(ui.messages[0].text, CReaderConnection::kReadingEnded + QLatin1Char('\n') + kReaderGoneAdvice);
    EXPECT_FALSE(page->isReading());
    EXPECT_TRUE(page->startButton()->isEnabled());
    EXPECT_TRUE(view->connection().isLost());

    served.server->reopenLine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->connection().isConnected(); }, kReconnectMs));
    placeBlank();
    page->startButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->grid()->rows() == 1; }, kSimTimeoutMs)) << messages().toStdString();
    EXPECT_EQ(ui.messages.size(), 1u) << messages().toStdString();
}

TEST_P(OneTagAtATime, TheCheckPageListsTagsAsTheyPass)
{
    startOn(CheckTab);
    CCheckTagPage* page = view->checkPage();
    page->checkEasBox()->setChecked(true);
    page->checkLocksBox()->setChecked(true);
    page->startButton()->click();
    ASSERT_TRUE(page->isReading()) << messages().toStdString();

    const struct {
        const char* name;
        std::string line;
        QStringList row;
    } passing[] = {
        {"a book", kBookLine, {"图书", "ON", "[00000012345]", "123456", "", "", ""}},
        {"a patron card", kCardLine, {"读者证", easOff(""), "00000000123", "123456", "", "", ""}},
        {"an empty tag", std::string(kEmptyUid) + " eas=0", {"图书", easOff(""), "00000000000", "000000", "", "", ""}},
        {"an ISO 28560-3 tag", kIso28560_3Line, {"ISO 28560-3", "ON", "1000000136", "DK-718500", "", "", ""}},
        {"an ISO 28560-2 tag", kIso28560_2Line, {"ISO 28560-2", "ON", "1620168259", "FI-Mamk-M", "", "", ""}},
    };
    int count = 0;
    for (const auto& tag : passing) {
        SCOPED_TRACE(tag.name);
        place(tag.line);
        ++count;
        ASSERT_TRUE(QTest::qWaitFor([&] { return page->grid()->rows() == count; }, kSimTimeoutMs))
            << messages().toStdString();
        EXPECT_EQ(gridRow(*page->grid(), 0), tag.row);
        EXPECT_EQ(page->counterLabel()->text(), QString::number(count));
        reader().removeAll();
    }
    // Only the empty tag beeped.
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(gridRow(*page->grid(), 4), passing[0].row);

    // Without "仅读主标识数据" a book's holdings come too.
    page->mainDataOnlyBox()->setChecked(false);
    page->stopButton()->click();
    page->startButton()->click();
    EXPECT_EQ(page->grid()->rows(), 0);
    place(kBookLine);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->grid()->rows() == 1; }, kSimTimeoutMs));
    EXPECT_EQ(gridRow(*page->grid(), 0), (QStringList{"图书", "ON", "[00000012345]", "123456", "是", "1B", "5"}));
    EXPECT_TRUE(ui.messages.empty()) << messages().toStdString();
}

TEST_P(OneTagAtATime, AnotherLibrarysTagIsWrittenOverOnlyWhenStaffSaySo)
{
    place(kIso28560_3Line);
    startOn(BookTab);
    CTaggingBookPage* page = view->bookPage();
    const TagImage before = image(kIso28560_3Uid);

    // Its reading lists it as what it is, not as a book of nonsense.
    page->readButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->tagList()->rowCount() == 1; }, kSimTimeoutMs))
        << messages().toStdString();
    const QStringList listed{page->tagList()->cellText(0, 0), page->tagList()->cellText(0, 1),
                             page->tagList()->cellText(0, 2), page->tagList()->cellText(0, 3)};
    EXPECT_EQ(listed, (QStringList{"ISO 28560-3", "ON", "1000000136", "DK-718500"}));

    scan(page, QStringLiteral("1357"));
    ASSERT_EQ(ui.questions.size(), 1u) << messages().toStdString();
    EXPECT_EQ(ui.questions[0].caption, QStringLiteral("Tagging"));
    EXPECT_EQ(ui.questions[0].text, kWriteOverQuestion.arg("ISO 28560-3", "1000000136", "DK-718500"));
    EXPECT_EQ(image(kIso28560_3Uid), before) << "No (the default): nothing written";
    EXPECT_EQ(page->writtenCount(), 0);
    EXPECT_EQ(page->barcodeField()->selectedText(), QStringLiteral("1357"));

    // Enter again, and Yes.
    ui.questionAnswers = {true};
    QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    EXPECT_EQ(ui.questions.size(), 2u);
    ASSERT_TRUE(ui.messages.empty()) << messages().toStdString();
    const TagImage after = image(kIso28560_3Uid);
    EXPECT_EQ(after.afi, 0x91);
    EXPECT_EQ(after.blocks[0], 0x10000000u);
    EXPECT_EQ(after.blocks[1], 1357u);
    EXPECT_EQ(after.blocks[3], 123456u);
    EXPECT_EQ(page->writtenCount(), 1);

    // Now it is this library's tag: written again without a question.
    scan(page, QStringLiteral("2468"));
    EXPECT_EQ(ui.questions.size(), 2u);
    EXPECT_EQ(image(kIso28560_3Uid).blocks[1], 2468u);
}

TEST_P(PagesOnASimulatedReader, APageLeavingTheFrontStopsItsReading)
{
    place(kBookLine);
    startOn(BookTab);
    CTaggingBookPage* book = view->bookPage();
    book->readButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return book->tagList()->rowCount() == 1; }, kSimTimeoutMs))
        << messages().toStdString();
    ASSERT_TRUE(reader().rfOn());

    // To the check page: the book page's reading ends, the field goes off.
    view->sheet()->setCurrentPage(CheckTab);
    EXPECT_FALSE(book->isReading());
    EXPECT_FALSE(reader().rfOn());

    // The check page reads; the book page hears nothing of the new tag.
    CCheckTagPage* check = view->checkPage();
    check->startButton()->click();
    place(kCardLine);
    ASSERT_TRUE(QTest::qWaitFor([&] { return check->grid()->rows() == 2; }, kSimTimeoutMs))
        << messages().toStdString();
    EXPECT_EQ(book->tagList()->rowCount(), 1);

    // To the card page: the check page stops, its buttons stay as they were.
    view->sheet()->setCurrentPage(CardTab);
    EXPECT_FALSE(check->isReading());
    EXPECT_FALSE(reader().rfOn());
    EXPECT_FALSE(check->startButton()->isEnabled());
    EXPECT_TRUE(check->stopButton()->isEnabled());

    // The card page reads for itself.
    CTaggingCardPage* card = view->cardPage();
    card->readButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return card->tagList()->rowCount() == 2; }, kSimTimeoutMs))
        << messages().toStdString();
    EXPECT_EQ(check->grid()->rows(), 2);
    EXPECT_EQ(book->tagList()->rowCount(), 1);
    EXPECT_TRUE(ui.messages.empty()) << messages().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Families, PagesOnASimulatedReader, ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.sim); });

const FamilyCase kEveryMake[] = {kFamilies[0], kFamilies[1], kFamilies[2], {"dalrix", BRN_FAMILY_DALRIX, true}};
INSTANTIATE_TEST_SUITE_P(EveryMake, OneTagAtATime, ::testing::ValuesIn(kEveryMake),
                         [](const auto& info) { return std::string(info.param.sim); });

// The check page's grid keeps the newest 101 tags of a long run.
class CheckPageRowCap : public SimulatedReaderTest {
protected:
    void SetUp() override
    {
        SimulatedReaderTest::SetUp();
        serve(kFamilies[0]);
    }

    // A book tag whose number is n (and whose UID ends in n).
    static std::string bookLine(int n)
    {
        return QStringLiteral("E0040100%1 afi=91 10000000 %2 00000000 0001E240")
            .arg(n, 8, 16, QLatin1Char('0'))
            .arg(n, 8, 16, QLatin1Char('0'))
            .toStdString();
    }

    // Lays the books first to last on the reader at once and waits until
    // all were reported; then takes them off.
    void pass(int first, int last)
    {
        for (int n = first; n <= last; ++n)
            place(bookLine(n));
        ASSERT_TRUE(QTest::qWaitFor([&] { return page->reportedCount() == last; }, kSimTimeoutMs))
            << page->reportedCount() << " of " << last << "; " << messages().toStdString();
        reader().removeAll();
    }

    CCheckTagPage* page = nullptr;
};

TEST_F(CheckPageRowCap, The102ndTagPushesTheOldestRowOut)
{
    start();
    view->sheet()->setCurrentPage(CheckTab);
    page = view->checkPage();
    page->startButton()->click();
    pass(1, 1);
    for (int first = 2; first <= 101; first += 10)
        pass(first, std::min(first + 9, 101));
    ASSERT_EQ(page->grid()->rows(), 101);
    EXPECT_EQ(page->grid()->cellText(100, 2), QStringLiteral("00000000001"));

    pass(102, 102);
    EXPECT_EQ(page->grid()->rows(), 101);
    EXPECT_EQ(page->grid()->cellText(0, 2), QStringLiteral("00000000102"));
    std::set<QString> numbers;
    for (int row = 0; row < page->grid()->rows(); ++row)
        numbers.insert(page->grid()->cellText(row, 2));
    EXPECT_EQ(numbers.size(), 101u);
    EXPECT_EQ(numbers.count(QStringLiteral("00000000001")), 0u);
    EXPECT_EQ(page->counterLabel()->text(), QStringLiteral("102"));
    EXPECT_TRUE(ui.messages.empty()) << messages().toStdString();
}

} // namespace
