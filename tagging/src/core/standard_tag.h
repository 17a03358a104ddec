// Tags of other libraries: tags written in one of the public library data
// models, ISO 28560-3 or ISO 28560-2, instead of this library's layout. The
// tag check page lists them as what they are; the book, patron card and
// shelf tag pages and the rewrite dialog ask staff before they write over
// one (MayWriteOverTag, reader_calls.h).
//
// Whose tag it is: a standard tag names its owner library by ISIL (such as
// "DK-718500"), this library names itself by a number (LibraryID). The two
// never match, so every standard tag counts as another library's, one that
// names no owner too.
#pragma once

#include "reader_library.h"

#include <QString>

#include <cstdint>
#include <optional>

struct StandardTag {
    QString model;  // "ISO 28560-3" or "ISO 28560-2"
    QString itemId; // its primary item identifier; empty when it holds none
    QString owner;  // its owner library's ISIL; empty when it names none
};

// The standard tag a tag's memory holds; none for this library's tags, blank
// tags and tags of no known layout.
std::optional<StandardTag> StandardTagIn(const brnTagMemory& memory);

// The blocks read of a tag to tell its data model: as many as it has (this
// library's tags and blank ones stop at block 7).
inline constexpr std::uint32_t kTagMemoryBlocks = BRN_TAG_MEMORY_MAX_BLOCKS;
// The tag read before a write looks for the tag 10 ms apart.
inline constexpr std::uint32_t kTagMemoryRetryMs = 10;

// Asked before writing over another library's tag: %1 the model, %2 the
// item identifier, %3 the owner library.
inline const QString kWriteOverQuestion =
    QStringLiteral("阅读器上是其他图书馆的标签：%1，条码号 %2，所属图书馆 %3。\n"
                   "写入会覆盖这个标签上原有的数据，这个图书馆就不能再用这个标签了。\n"
                   "确实要写入这个标签吗？");
// What a standard tag without an identifier or owner shows instead.
inline const QString kNotOnTag = QStringLiteral("（无）");
// The tag on the reader is not the one staff confirmed.
inline const QString kTagChanged =
    QStringLiteral("阅读器上的标签已经换了，不是刚才确认写入的那个标签：标签没有写入。\n"
                   "请把要写入的标签单独放在阅读器上，然后再试一次。");
