// A working page of the form (book tags, patron cards, shelf tags, tag
// check). What every page shares with the form:
//  - the reader handle, handed over by the form after each successful
//    connection and taken back (null) at each disconnection, so that a page
//    never uses the handle of a closed connection;
//  - continuous reading: startReading() passes the page itself as the
//    context, and the page hears only of new tags (BRN_EVENT_NEW_TAG) while
//    its reading flag is set (tagRead), each with what its memory says when
//    it is another library's tag (the tag memory callback, standard_tag.h);
//    stopReading() ends it. When the reader's
//    line goes, reading ends by itself (readingEnded) and the reader
//    connection hears of it (CReaderLine);
//  - activation on the page sheet: activated() when the page comes to the
//    front, deactivated() when another page does; a page that leaves the
//    front stops its reading;
//  - closing: the form tells each page before it destroys it.
#pragma once

#include "reader_library.h"
#include "standard_tag.h"

#include <QStringList>
#include <QWidget>

class QLabel;

class CTaggingPage : public QWidget {
    Q_OBJECT
public:
    explicit CTaggingPage(const QString& caption, QWidget* parent = nullptr);

    // The page's tab text on the sheet.
    const QString& caption() const { return m_caption; }

    ReaderHandle readerHandle() const { return m_reader; }
    void setReaderHandle(ReaderHandle reader) { m_reader = reader; }

    bool isReading() const { return m_reading; }
    // Starts continuous reading of the items on the reader with the given
    // request mask, with the tags' memory beside it; a failure is reported
    // under "brnStartReadingItems()" (or "brnSetTagMemoryCallback()": then
    // reading runs without telling other libraries' tags apart). Returns
    // whether reading runs.
    bool startReading(std::uint32_t requestMask);
    // Clears the reading flag and stops the library's reading; a failure is
    // reported under "brnStopReadingItems()".
    void stopReading();

    // The page came to the front of the sheet / another page did.
    virtual void activated() {}
    virtual void deactivated();
    // The form is about to destroy the page (after disconnecting): the
    // page's own closing behaviour.
    virtual void closing() {}

protected:
    // A tag not reported before, while reading runs; standard is what the
    // tag holds when it is another library's tag (its item is then decoded
    // nonsense beyond the EAS state), else null. Both live only for the
    // duration of the call.
    virtual void tagRead(const brnItem& item, const StandardTag* standard);
    // Reading ended because the reader's line has gone.
    virtual void readingEnded() {}

    // The counter of a page: large, bold, right-aligned.
    static void styleCounter(QLabel* counter);
    // The label of one of the page's fields (its buddy).
    QLabel* fieldLabel(const QString& text, QWidget* field);

    // Cells shared by the pages' row rules. A cell is shown in brackets when
    // the item carries lock status and lockBit of its lockMask is set.
    static QString bracketed(const brnItem& item, std::uint32_t lockBit, const QString& text);
    // "图书" (type code 0), "读者证" (1), "架标" (2, when withShelf), else "---".
    static QString typeCell(const brnItem& item, bool withShelf);
    // "ON"/"OFF" when the EAS state is present, else "---".
    static QString easCell(const brnItem& item);
    // The identifier zero-padded to digits, bracketed when blocks 0/1 are locked.
    static QString numberCell(const brnItem& item, int digits);
    // The library identifier zero-padded to 6 digits, or "--------";
    // bracketed when block 3 is locked.
    static QString libraryCell(const brnItem& item);
    // A book's reference flag ("是"/"否"), holding location (two characters)
    // and media type, each bracketed when block 2 is locked.
    static QStringList holdingCells(const brnItem& item);
    // The three cells of block 2 on the tagging pages when it was not read:
    // "----", "---------", "---------" (bracketed as block 2 values).
    static QStringList unreadBlock2Cells(const brnItem& item);
    // The cells another library's tag shows on the tagging pages: its model,
    // EAS cell, item identifier and owner.
    static QStringList standardCells(const brnItem& item, const StandardTag& tag);

private:
    static void readingCallback(ReaderHandle handle, int event, brnItem* item, void* context);
    static void tagMemoryRead(ReaderHandle handle, const brnTagMemory* memory, void* context);

    QString m_caption;
    ReaderHandle m_reader = nullptr;
    bool m_reading = false;
    // The standard tag whose memory came last: the item of that tag comes next.
    std::optional<StandardTag> m_standard;
};
