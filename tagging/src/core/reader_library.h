// The calls the program makes into the tag mapping library, behind one small
// interface: the program runs on the library's functions, tests on a scripted
// stand-in. ReaderLibrary::instance() is the one in use.
//
// A failed call's text is composed here (FailureText, ReaderFailureOf); the
// widget side shows it in a message box captioned with the call's name
// (ReportFailure and its kin, reader_calls.h).
#pragma once

#include <brenholt.h>

#include <QObject>
#include <QString>

#include <cstdint>

// The opaque, pointer-sized handle of an open reader; null means none.
using ReaderHandle = void*;

// Event codes of continuous reading.
inline constexpr int kReadingNewTag = BRN_EVENT_NEW_TAG;         // a tag not reported before; the item holds it
inline constexpr int kReadingFieldEmpty = BRN_EVENT_FIELD_EMPTY; // no tag in the field any more
inline constexpr int kReadingManyTags = BRN_EVENT_MANY_TAGS;     // more than one tag in the field
inline constexpr int kReadingReaderGone = BRN_EVENT_READER_GONE; // the reader's line has gone; reading has stopped

// A continuous-reading callback: (reader handle, event code, item or null, context).
using ItemCallback = brnItemCallback;
// The tag memory callback of continuous reading: (reader handle, the tag's
// memory, context); it comes just before the item callback of the same tag.
using TagMemoryCallback = brnTagMemoryCallback;

class ReaderLibrary {
public:
    virtual ~ReaderLibrary() = default;

    // The library's text for an error code: a narrow string in the GBK code
    // page, empty for codes it does not know.
    virtual const char* errorString(int code) = 0;

    // Opens the reader on serial port COMport: the handle and the reader family.
    virtual int openSerial(int port, ReaderHandle* handle, int* family) = 0;
    virtual int close(ReaderHandle handle) = 0;
    // 1 while the reader's line is up, 0 once its device has gone (unplugged,
    // hung up): from then on every command on the handle fails at once, with
    // the code of a reader that does not answer. Tells a gone reader from a
    // silent one.
    virtual int readerConnected(ReaderHandle handle) = 0;

    // Period of continuous reading in milliseconds. The number argument is
    // passed as the program always passes it (4) and not looked at.
    virtual int getReadSessionDuration(ReaderHandle handle, std::uint32_t number, std::uint32_t* ms) = 0;
    virtual int setReadSessionDuration(ReaderHandle handle, std::uint32_t number, std::uint32_t ms) = 0;
    // How many recently reported tags continuous reading keeps quiet about.
    virtual int setSortingBufferDepth(ReaderHandle handle, int depth) = 0;

    // Continuous reading: the callback gets the context back with every event.
    virtual int startReadingItems(ReaderHandle handle, std::uint32_t requestMask, ItemCallback callback,
                                  void* context) = 0;
    virtual int stopReadingItems(ReaderHandle handle) = 0;
    // While the reading started last runs, every tag it reports is read up
    // to maxBlocks blocks as well (its AFI, DSFID and memory, for telling
    // tags of other libraries apart) and handed to callback just before the
    // item callback gets it. Given after the start; every start and stop
    // ends it.
    virtual int setTagMemoryCallback(ReaderHandle handle, std::uint32_t maxBlocks, TagMemoryCallback callback,
                                     void* context) = 0;

    // The one tag on the reader as an item: the parts of requestMask
    // (brnItem validMask bits), up to three inventories retryDelayMs apart.
    virtual int readSingleItem(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t requestMask,
                               brnItem* item) = 0;
    // The one tag on the reader with its UID, AFI, DSFID and memory (up to
    // maxBlocks blocks; 0: the UID, AFI and DSFID alone), found as
    // readSingleItem finds it.
    virtual int readSingleTagMemory(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t maxBlocks,
                                    brnTagMemory* memory) = 0;
    // The number of tags in the reader's field (one inventory); 0 also when
    // the inventory failed, a negative error code for a null handle.
    virtual int inventory(ReaderHandle handle) = 0;
    // Writes the parts of item named in its validMask to whichever tag
    // answers, with the AFI of its item type when the identifier is among
    // them. The library may reduce item->itemId in place (the number offset
    // of library 44120).
    virtual int writeItems(ReaderHandle handle, brnItem* item) = 0;

    // The library in use: the one installed last, else the tag mapping library.
    static ReaderLibrary& instance();
    // Installs library (nullptr: back to the tag mapping library) and returns
    // the one it replaces. The caller keeps library alive while it is installed.
    static ReaderLibrary* install(ReaderLibrary* library);
};

// The program's tag mapping library (brenholt_library.cpp).
ReaderLibrary& brenholtLibrary();

// Whether the line of the reader of handle has gone (not: a null handle).
bool ReaderLineGone(ReaderHandle handle);

// What staff can do about a failed call's code, or empty where there is
// nothing to say beyond the library's text.
QString failureAdvice(int code);
// What staff can do when the reader's line has gone.
inline const QString kReaderGoneAdvice =
    QStringLiteral("阅读器的连接断开了（可能被拔出或断电）：请重新接好阅读器，阅读器应答后程序会自动重新连接；"
                   "也可以在“阅读器连接口”中重新选择端口。");

// The text of a failed call: prefix + the library's text for code (converted
// from GBK), then advice on a line of its own (none when advice is empty).
QString FailureText(const QString& prefix, int code, const QString& advice);
// The text of a failed call with its advice (failureAdvice).
inline QString FailureText(const QString& prefix, int code)
{
    return FailureText(prefix, code, failureAdvice(code));
}

// A failed call on the reader of handle: when the reader's line has gone,
// the second line says so and what to do instead (kReaderGoneAdvice).
struct ReaderFailure {
    QString text;
    bool lineGone = false;
};
ReaderFailure ReaderFailureOf(ReaderHandle handle, int code);

// Whether exactly one tag lies on the reader (one inventory): 0 when it
// does, otherwise the code that says why not (the library's codes for no
// tag and for more than one tag; for a reader whose line has gone, the code
// of a reader that does not answer; a negative inventory result as it is).
int OneTagCode(ReaderHandle handle);

// Where the program hears that a reader's line has gone: a failed call found
// it (ReportReaderFailure, which told staff), or continuous reading reported
// it. The reader connection listens and closes the reader.
class CReaderLine : public QObject {
    Q_OBJECT
public:
    static CReaderLine& instance();

signals:
    // handle: the reader whose line has gone; reading: continuous reading
    // ended with it; told: staff have been told already.
    void gone(void* handle, bool reading, bool told);
};
