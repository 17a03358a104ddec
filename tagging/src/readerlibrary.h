// The calls the program makes into the tag mapping library, behind one small
// interface: the program runs on the library's functions, tests on a scripted
// stand-in. ReaderLibrary::instance() is the one in use.
//
// Every call of the library made by the program is followed by ReportFailure,
// which shows a failed call's error text in a message box captioned with the
// call's name.
#pragma once

#include <brenholt.h>

#include <QString>

#include <cstdint>

class QWidget;

// The opaque, pointer-sized handle of an open reader; null means none.
using ReaderHandle = void*;

// Event codes of continuous reading.
inline constexpr int kReadingNewTag = BRN_EVENT_NEW_TAG;         // a tag not reported before; the item holds it
inline constexpr int kReadingFieldEmpty = BRN_EVENT_FIELD_EMPTY; // no tag in the field any more
inline constexpr int kReadingManyTags = BRN_EVENT_MANY_TAGS;     // more than one tag in the field

// A continuous-reading callback: (reader handle, event code, item or null, context).
using ItemCallback = brnItemCallback;

class ReaderLibrary {
public:
    virtual ~ReaderLibrary() = default;

    // The library's text for an error code: a narrow string in the GBK code
    // page, empty for codes it does not know.
    virtual const char* errorString(int code) = 0;

    // Opens the reader on serial port COMport: the handle and the reader family.
    virtual int openSerial(int port, ReaderHandle* handle, int* family) = 0;
    virtual int close(ReaderHandle handle) = 0;

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

    // The one tag on the reader as an item: the parts of requestMask
    // (brnItem validMask bits), up to three inventories retryDelayMs apart.
    virtual int readSingleItem(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t requestMask,
                               brnItem* item) = 0;
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

// The program's tag mapping library (brenholtlibrary.cpp).
ReaderLibrary& brenholtLibrary();

// Reports a library call's result: true when code is 0. Otherwise shows
// prefix + the library's text for code (converted from GBK) in a modal box
// owned by owner, captioned with the call's name (e.g. "brnOpenSerial()"),
// with an error icon, and returns false. Where staff can do something about
// the failure, a second line of the box says what (failureAdvice).
bool ReportFailure(QWidget* owner, const QString& caption, const QString& prefix, int code);
inline bool ReportFailure(QWidget* owner, const QString& caption, int code)
{
    return ReportFailure(owner, caption, QString(), code);
}

// What staff can do about a failed call's code, or empty where there is
// nothing to say beyond the library's text.
QString failureAdvice(int code);

// Makes sure that exactly one tag lies on the reader before it is written:
// with none, or more than one, reports that under "brnInventory()" (the
// library's texts for no tag and for more than one tag) and returns false.
bool OneTagOnReader(QWidget* owner, ReaderHandle handle);
