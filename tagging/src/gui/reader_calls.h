// The library calls as staff see them: a failed call's text (composed by
// reader_library.h) in a message box captioned with the call's name, and the
// checks made before a tag is written.
#pragma once

#include "reader_library.h"

#include <QString>

class QWidget;

// Reports a library call's result: true when code is 0. Otherwise shows
// FailureText(prefix, code) in a modal box owned by owner, captioned with the
// call's name (e.g. "brnOpenSerial()"), with an error icon, and returns false.
bool ReportFailure(QWidget* owner, const QString& caption, const QString& prefix, int code);
inline bool ReportFailure(QWidget* owner, const QString& caption, int code)
{
    return ReportFailure(owner, caption, QString(), code);
}

// As ReportFailure, for a call on the reader of handle (ReaderFailureOf):
// when the reader's line has gone, the reader connection hears of it too
// (CReaderLine).
bool ReportReaderFailure(QWidget* owner, const QString& caption, ReaderHandle handle, int code);

// Makes sure that exactly one tag lies on the reader before it is written:
// otherwise reports OneTagCode's code under "brnInventory()" and returns
// false.
bool OneTagOnReader(QWidget* owner, ReaderHandle handle);

// Before writing to the one tag on the reader (once OneTagOnReader has made
// sure it lies there alone): reads the tag (a failure is reported under
// "brnReadSingleTagMemory()"). Another library's tag (standard_tag.h) is
// written only when staff answer Yes to kWriteOverQuestion, and then only
// while that same tag still lies on the reader alone (checked again: the
// question may have been up a long time). Returns whether the write may go on.
bool MayWriteOverTag(QWidget* owner, ReaderHandle handle);
