// A working page of the form (book tags, patron cards, shelf tags, tag
// check). What every page shares with the form:
//  - the reader handle, handed over by the form after each successful
//    connection and taken back (null) at each disconnection, so that a page
//    never uses the handle of a closed connection;
//  - continuous reading: startReading() passes the page itself as the
//    context, and the page hears only of new tags (event 2) while its
//    reading flag is set (tagRead); stopReading() ends it;
//  - activation on the page sheet: activated() when the page comes to the
//    front, deactivated() when another page does; a page that leaves the
//    front stops its reading;
//  - closing: the form tells each page before it destroys it.
#pragma once

#include "readerlibrary.h"

#include <QWidget>

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
    // request mask; a failure is reported under "brnStartReadingItems()".
    // Returns whether reading runs.
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
    // A tag not reported before, while reading runs; the item lives only
    // for the duration of the call.
    virtual void tagRead(const brnItem& item);

private:
    static void readingCallback(ReaderHandle handle, int event, brnItem* item, void* context);

    QString m_caption;
    ReaderHandle m_reader = nullptr;
    bool m_reading = false;
};
