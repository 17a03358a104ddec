// Base of the page tests on the scripted library: a page as the form makes
// it (reader handle given, shown), a work directory and library identifier
// in the settings store, and the work logs on a fixed clock.
#pragma once

#include "barcode_edit.h"
#include "parameter_dlg.h"
#include "recording_ui.h"
#include "scripted_library.h"
#include "settings.h"
#include "tagging_write_page.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <type_traits>

// The reader handle the pages get: the scripted library's first open.
inline const auto kScriptedReader = reinterpret_cast<ReaderHandle>(1);

// The cells of a row of a list.
inline QStringList listRow(const CTagList& list, int index)
{
    QStringList cells;
    for (int col = 0; col < list.columnCount(); ++col)
        cells << list.cellText(index, col);
    return cells;
}

// Staff in the settings dialog that is about to open: fill, then OK (or
// Cancel when ok is false).
inline void answerSettingsDialog(std::function<void(CParameterDlg&)> fill, bool ok = true)
{
    QTimer::singleShot(0, [fill = std::move(fill), ok] {
        auto* dlg = qobject_cast<CParameterDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        fill(*dlg);
        QTest::mouseClick(ok ? dlg->okButton() : dlg->cancelButton(), Qt::LeftButton);
    });
}

template <class Page>
class PageTest : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        ASSERT_TRUE(work.isValid());
        CSettings settings;
        settings.setWorkPath(work.path());
        settings.setLibraryId(QStringLiteral("123"));
    }

    // The page, made after the settings of the test.
    Page& open()
    {
        page = std::make_unique<Page>();
        if constexpr (std::is_base_of_v<CTaggingWritePage, Page>)
            page->workLogs().setClock([this] { return now; });
        page->setReaderHandle(kScriptedReader);
        page->resize(900, 500);
        page->show();
        return *page;
    }

    // Types a number into the page's barcode field and presses Enter, as a
    // scanner does: into whatever the field holds, with the focus elsewhere
    // on the page first.
    void scan(const QString& number)
    {
        page->libraryIdField()->setFocus();
        QTest::keyClicks(page->barcodeField(), number);
        QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    }

    // A tag reported by the reading the page started.
    void report(brnItem item)
    {
        library.raise(kReadingNewTag, &item);
    }

    QStringList row(int index) const { return listRow(*page->tagList(), index); }

    QByteArray file(const QString& name) const
    {
        QFile f(QDir(work.path()).filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    ScriptedLibrary library;
    QTemporaryDir work;
    QDateTime now{QDate(2026, 12, 6), QTime(14, 30, 5)};
    std::unique_ptr<Page> page;
};
