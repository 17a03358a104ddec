#include "barcode_edit.h"
#include "main_frame.h"
#include "page_sheet.h"
#include "parameter_dlg.h"
#include "parameter_grid.h"
#include "settings.h"
#include "tagging_book_page.h"
#include "tagging_card_page.h"
#include "tagging_page.h"
#include "tagging_app.h"
#include "tagging_shelf_page.h"
#include "tagging_view.h"

#include "page_test.h"
#include "recording_ui.h"
#include "scripted_library.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int kTimeoutMs = 5000;

class TaggingView : public GuiTest {
protected:
    // Shows a form and waits for its first connection attempt.
    std::unique_ptr<CTaggingView> startView()
    {
        auto view = std::make_unique<CTaggingView>();
        view->resize(1024, 768);
        view->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !library.calls.isEmpty(); }, kTimeoutMs));
        return view;
    }

    ScriptedLibrary library;
};

TEST_F(TaggingView, StartsOnCom3WithAnEmptyStore)
{
    auto view = startView();
    QStringList ports;
    for (int i = 0; i < view->portList()->count(); ++i)
        ports << view->portList()->itemText(i);
    EXPECT_EQ(ports, (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"}));
    EXPECT_EQ(view->portList()->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(library.calls, (QStringList{"brnOpenSerial 3", "brnGetReadSessionDuration #1 4",
                                          "brnSetReadSessionDuration #1 4 200", "brnSetSortingBufferDepth #1 80"}));
    EXPECT_TRUE(view->connection().isConnected());
    // Every page hears of the connection, and every page is on the sheet,
    // the book page in front.
    ASSERT_EQ(view->pages().size(), 4u);
    QStringList tabs;
    for (int i = 0; i < view->sheet()->pageCount(); ++i) {
        EXPECT_EQ(view->sheet()->page(i), view->pages()[static_cast<std::size_t>(i)]);
        EXPECT_EQ(view->pages()[static_cast<std::size_t>(i)]->readerHandle(), view->connection().handle());
        tabs << view->sheet()->tabBar()->tabText(i);
    }
    EXPECT_EQ(tabs, (QStringList{"  图书标签加工  ", "  读者证加工  ", "层架标加工", "  标签检查  "}));
    EXPECT_EQ(view->sheet()->currentPage(), view->pages()[0]);
    EXPECT_EQ(view->portLabel()->text(), QStringLiteral("阅读器连接口"));
    EXPECT_EQ(view->exitButton()->text(), QStringLiteral("退 出"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TaggingView, ConnectsOnTheStoredPortAndStoresTheChosenOneWhenDestroyed)
{
    CSettings().setComPort(6);
    auto view = startView();
    EXPECT_EQ(view->portList()->currentText(), QStringLiteral("COM7"));
    EXPECT_EQ(library.calls.first(), QStringLiteral("brnOpenSerial 7"));

    view->portList()->setCurrentIndex(4);
    view.reset();
    EXPECT_EQ(library.calls.last(), QStringLiteral("brnClose #1"));
    EXPECT_EQ(CSettings().comPort(), 4);
}

// Looking for the reader blocks the window for seconds when nothing answers:
// the form is drawn first, with a note that says what goes on, and the note
// goes when the search ends; the same on a port change.
TEST_F(TaggingView, TheFormShowsANoteWhileItLooksForTheReader)
{
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    auto view = std::make_unique<CTaggingView>();
    view->noteLabel()->installEventFilter(&counter);
    QStringList notesWhileOpening;
    library.onOpen = [&] {
        if (view->noteLabel()->isVisible() && counter.paints > 0)
            notesWhileOpening << view->noteLabel()->text();
        counter.paints = 0;
    };
    view->resize(1024, 768);
    view->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->connection().isConnected(); }, kTimeoutMs));
    EXPECT_FALSE(view->noteLabel()->isVisible());
    // A failed search: the note is gone before the message comes.
    library.results["brnOpenSerial"] = -8;
    bool noteWithMessage = true;
    ui.onMessage = [&](const RecordedMessage&) { noteWithMessage = view->noteLabel()->isVisible(); };
    QTest::keyClick(view->portList(), Qt::Key_Up);   // COM2
    EXPECT_EQ(notesWhileOpening, (QStringList{"正在 COM3 上查找阅读器，请稍候……", "正在 COM2 上查找阅读器，请稍候……"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(noteWithMessage);
    EXPECT_FALSE(view->noteLabel()->isVisible());
}

TEST_F(TaggingView, AStoredPortOutOfTheListStartsOnCom3)
{
    CSettings().setComPort(99);
    auto view = startView();
    EXPECT_EQ(view->portList()->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(library.calls.first(), QStringLiteral("brnOpenSerial 3"));
    view.reset();
    EXPECT_EQ(CSettings().integer(CSettings::kLastEnv, QStringLiteral("Com Port")), 2);
}

TEST_F(TaggingView, AFailedStartLeavesTheFormUpAndAnotherPortCanBeChosen)
{
    library.results["brnOpenSerial"] = -1;
    library.errorTexts[-1] = "\xB2\xBB\xC4\xDC\xB4\xF2\xBF\xAA\xD6\xB8\xB6\xA8\xB4\xAE\xBF\xDA\x2E";
    auto view = startView();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, QStringLiteral("brnOpenSerial()"));
    EXPECT_EQ(firstLine(ui.messages[0].text), QStringLiteral("Open ComPort 3: 不能打开指定串口."));
    EXPECT_FALSE(view->connection().isConnected());

    library.results.clear();
    QTest::keyClick(view->portList(), Qt::Key_Down);   // COM4
    EXPECT_EQ(library.calls.mid(1, 1), QStringList{"brnOpenSerial 4"});
    EXPECT_TRUE(view->connection().isConnected());
    view.reset();
    EXPECT_EQ(CSettings().comPort(), 3);
}

// An OK in the settings dialog of one page reaches every page as an OK in
// its own dialog would; the shelf page keeps the library identifier it
// opened with.
TEST_F(TaggingView, SettingsAcceptedOnOnePageReachEveryPage)
{
    auto view = startView();
    answerSettingsDialog([](CParameterDlg& dlg) {
        dlg.libraryIdField()->setText(QStringLiteral("44120"));
        dlg.setLockBox()->setChecked(true);
        dlg.locationList()->setCurrentIndex(2);
        dlg.mediaTypeList()->setCurrentIndex(1);
        dlg.barcodeGrid()->insertRowTexts(0, {"10", "0", "8", "1 有但不校验", "", ""});
    });
    CSettings().setVerifyWrite(true);   // a hidden setting, changed in the store
    view->cardPage()->settingsButton()->click();

    const CTaggingBookPage* book = view->bookPage();
    EXPECT_EQ(book->libraryIdField()->text(), QStringLiteral("44120"));
    EXPECT_TRUE(book->lockBox()->isChecked());
    EXPECT_EQ(book->locationList()->currentIndex(), 2);
    EXPECT_EQ(book->mediaTypeList()->currentIndex(), 1);
    EXPECT_EQ(view->cardPage()->libraryIdField()->text(), QStringLiteral("44120"));
    EXPECT_TRUE(view->cardPage()->lockBox()->isChecked());
    EXPECT_EQ(view->shelfPage()->libraryIdField()->text(), QString());
    for (CTaggingWritePage* page : {static_cast<CTaggingWritePage*>(view->bookPage()),
                                    static_cast<CTaggingWritePage*>(view->cardPage()),
                                    static_cast<CTaggingWritePage*>(view->shelfPage())}) {
        EXPECT_TRUE(page->verify()) << page->caption().toStdString();
        EXPECT_EQ(page->barcodeField()->checker().structures().size(), 1u) << page->caption().toStdString();
    }
}

TEST_F(TaggingView, ChoosingAPortStopsReadingThenReconnects)
{
    auto view = startView();
    CTaggingPage* page = view->pages()[0];
    ASSERT_TRUE(page->startReading(127));
    library.calls.clear();

    QTest::keyClick(view->portList(), Qt::Key_Up);   // COM2
    EXPECT_EQ(library.calls, (QStringList{"brnStopReadingItems #1", "brnClose #1", "brnOpenSerial 2",
                                          "brnGetReadSessionDuration #2 4", "brnSetReadSessionDuration #2 4 200",
                                          "brnSetSortingBufferDepth #2 80"}));
    EXPECT_FALSE(page->isReading());
    EXPECT_EQ(page->readerHandle(), view->connection().handle());
}

TEST_F(TaggingView, DestroyingTheFormStopsReadingAndClosesBeforeThePagesGo)
{
    auto view = startView();
    QPointer<CTaggingPage> page = view->pages()[0];
    ASSERT_TRUE(page->startReading(61));
    QStringList callsWhenPageWent;
    QObject::connect(page, &QObject::destroyed, [&] { callsWhenPageWent = library.calls; });
    view.reset();
    EXPECT_TRUE(page.isNull());
    EXPECT_EQ(callsWhenPageWent.mid(callsWhenPageWent.size() - 2),
              (QStringList{"brnStopReadingItems #1", "brnClose #1"}));
}

TEST_F(TaggingView, TheSheetKeepsItsMarginsAtEverySize)
{
    CTaggingView view;
    for (const QSize size : {QSize(1024, 768), QSize(1280, 1024), QSize(800, 600)}) {
        view.resize(size);
        view.show();
        QCoreApplication::processEvents();
        const QRect sheet(4 + 100, 4 + 165, size.width() - 8 - 200, size.height() - 8 - 200);
        EXPECT_EQ(view.sheet()->geometry(), sheet) << size.width();
        EXPECT_EQ(view.sheetArea(), sheet);
        ASSERT_EQ(view.sheet()->pageCount(), 4);
        EXPECT_EQ(view.sheet()->page(0)->geometry(), QRect(10, 20, sheet.width() - 15, sheet.height() - 25));
        EXPECT_TRUE(view.sheet()->page(0)->isVisible());
        // The port choice and the exit button sit above the sheet.
        EXPECT_LT(view.portList()->geometry().bottom(), sheet.top());
        EXPECT_LT(view.exitButton()->geometry().bottom(), sheet.top());
    }
}

TEST_F(TaggingView, TheBackgroundIsDrawnCentredOnWhite)
{
    CTaggingView view;
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QImage picture = view.background().toImage();
    ASSERT_EQ(picture.size(), QSize(1024, 768));
    EXPECT_FALSE(picture.hasAlphaChannel());
    const struct {
        QSize form;
        QPoint origin;
    } cases[] = {{{1280, 1024}, {128, 128}}, {{1024, 768}, {0, 0}}, {{800, 600}, {0, 0}}, {{1200, 700}, {88, 0}}};
    for (const auto& c : cases) {
        view.resize(c.form);
        EXPECT_EQ(view.backgroundOrigin(), c.origin) << c.form.width() << "x" << c.form.height();
    }
    // Around the picture the form is white; on it, the picture shows
    // (looked at above the sheet, between the controls).
    view.resize(1280, 1024);
    const QImage shown = view.grab().toImage();
    EXPECT_EQ(shown.pixelColor(5, 5), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(1275, 1020), QColor(Qt::white));
    for (const QPoint at : {QPoint(300, 30), QPoint(600, 5), QPoint(900, 20)})
        EXPECT_EQ(shown.pixelColor(at + QPoint(128, 128)), picture.pixelColor(at)) << at.x();
}

// The picture is drawn centred and the controls by fixed margins: at the
// usual screen sizes (the form is the screen less the window's edge) no
// control, no tab and no edge of the sheet lies on anything drawn in the
// picture, which is plain paper there. (At 1280 x 1024 the port label sat
// half on the dark banner and the tabs hid half of its title.)
TEST_F(TaggingView, NothingDrawnInThePictureLiesUnderAControlAtTheUsualScreenSizes)
{
    CTaggingView view;
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QImage picture = view.background().toImage();
    ASSERT_FALSE(picture.isNull());
    for (const QSize size : {QSize(1020, 764), QSize(1276, 1020), QSize(1916, 1076)}) {
        view.resize(size);
        QCoreApplication::processEvents();
        const QRect drawn(view.backgroundOrigin(), picture.size());
        const QRect sheet = view.sheet()->geometry();
        const QRect frame = sheet.adjusted(0, CPageSheet::kPageTop - 1, 0, 0);
        constexpr int kBand = 3;   // either side of an edge of the sheet
        std::vector<std::pair<const char*, QRect>> covered{
            {"port label", view.portLabel()->geometry()},
            {"port list", view.portList()->geometry()},
            {"exit button", view.exitButton()->geometry()},
            {"note", view.noteLabel()->geometry()},
            {"sheet top", QRect(frame.left(), frame.top(), frame.width(), 1).adjusted(-kBand, -kBand, kBand, kBand)},
            {"sheet left", QRect(frame.left(), frame.top(), 1, frame.height()).adjusted(-kBand, -kBand, kBand, kBand)},
            {"sheet right", QRect(frame.right(), frame.top(), 1, frame.height()).adjusted(-kBand, -kBand, kBand, kBand)},
            {"sheet bottom", QRect(frame.left(), frame.bottom(), frame.width(), 1).adjusted(-kBand, -kBand, kBand, kBand)},
        };
        const QTabBar* tabs = view.sheet()->tabBar();
        for (int i = 0; i < tabs->count(); ++i)
            covered.push_back({"tab", tabs->tabRect(i).translated(sheet.topLeft() + tabs->pos())});
        for (const auto& [name, rect] : covered) {
            const QRect under = rect.intersected(drawn).translated(-drawn.topLeft());
            int darkest = 255;
            for (int y = under.top(); y <= under.bottom(); ++y)
                for (int x = under.left(); x <= under.right(); ++x)
                    darkest = std::min(darkest, picture.pixelColor(x, y).lightness());
            EXPECT_GE(darkest, 200) << name << " at " << size.width() << "x" << size.height();
        }
    }
}

TEST_F(TaggingView, TheMainFrameIsFramelessAndCoversTheScreen)
{
    CMainFrame frame;
    frame.showMaximized();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_TRUE(frame.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(frame.geometry(), frame.screen()->geometry());
    EXPECT_EQ(frame.pos(), QPoint(0, 0));
    EXPECT_EQ(frame.findChild<QMenuBar*>(), nullptr);
    EXPECT_EQ(frame.findChild<QStatusBar*>(), nullptr);
    auto* edge = qobject_cast<QFrame*>(frame.centralWidget());
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(edge->frameShadow(), QFrame::Sunken);
    // The form fills the window within the edge.
    EXPECT_EQ(frame.view()->geometry(), edge->contentsRect());
}

// The window system adds an application's display name to every caption
// ("brnWriteItems() — Tagging"): the program sets none.
TEST_F(TaggingView, CaptionsStayTheirOwnTexts)
{
    const QString name = QCoreApplication::applicationName();
    CTaggingApp::nameApplication();
    EXPECT_EQ(QCoreApplication::applicationVersion(), QStringLiteral(TAGGING_VERSION));
    QCoreApplication::setApplicationName(QStringLiteral("another"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("another"));
    QCoreApplication::setApplicationName(name);
}

TEST_F(TaggingView, TheExitButtonClosesTheMainWindow)
{
    CMainFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    bool closeAsked = false;
    struct Watcher : QObject {
        bool* asked;
        explicit Watcher(bool* a) : asked(a) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Close)
                *asked = true;
            return false;
        }
    } watcher(&closeAsked);
    frame.installEventFilter(&watcher);
    QTest::mouseClick(frame.view()->exitButton(), Qt::LeftButton);
    EXPECT_TRUE(closeAsked);
    EXPECT_FALSE(frame.isVisible());
}

// A page that notes when it comes to the front of the sheet and leaves it.
class NotedPage : public CTaggingPage {
public:
    NotedPage(const QString& caption, QStringList& log) : CTaggingPage(caption), m_log(log) {}
    void activated() override { m_log << caption() + " in"; }
    void deactivated() override { m_log << caption() + " out"; }

private:
    QStringList& m_log;
};

TEST_F(TaggingView, ThePageSheetTellsPagesWhenTheyComeAndGo)
{
    QStringList log;
    CPageSheet sheet;
    sheet.resize(600, 400);
    sheet.addPage(new NotedPage(QStringLiteral("A"), log));
    sheet.addPage(new NotedPage(QStringLiteral("B"), log));
    sheet.show();
    EXPECT_EQ(log, QStringList{"A in"});
    EXPECT_EQ(sheet.currentPage(), sheet.page(0));
    EXPECT_EQ(sheet.tabBar()->tabText(1), QStringLiteral("B"));

    sheet.setCurrentPage(1);
    EXPECT_EQ(log, (QStringList{"A in", "A out", "B in"}));
    EXPECT_FALSE(sheet.page(0)->isVisible());
    EXPECT_TRUE(sheet.page(1)->isVisible());
    EXPECT_EQ(sheet.page(1)->geometry(), QRect(10, 20, 585, 375));
}

TEST_F(TaggingView, APageLeavingTheFrontStopsItsReading)
{
    CPageSheet sheet;
    auto* a = new CTaggingPage(QStringLiteral("A"));
    auto* b = new CTaggingPage(QStringLiteral("B"));
    sheet.addPage(a);
    sheet.addPage(b);
    a->setReaderHandle(reinterpret_cast<ReaderHandle>(1));
    ASSERT_TRUE(a->startReading(127));
    sheet.setCurrentPage(1);
    EXPECT_FALSE(a->isReading());
    EXPECT_EQ(library.calls, (QStringList{"brnStartReadingItems #1 127", "brnStopReadingItems #1"}));
    sheet.setCurrentPage(0);   // b was not reading: nothing to stop
    EXPECT_EQ(library.calls.size(), 2);
}

} // namespace
