#include "output.h"

#include <langinfo.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "brenholt.h"
#include "platform/text.h"

namespace tagctl {
namespace {

// A byte that does not convert shows as '?' (in UTF-8 too); where the
// system cannot convert at all, the bytes go out as they are.
std::string convert(const std::string& gbk, const char* to)
{
    return platform::gbkTo(gbk, to, "?").value_or(gbk);
}

std::string terminalCodeset()
{
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || !*codeset || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 || std::strcmp(codeset, "ASCII") == 0)
        return "UTF-8";
    return codeset;
}

std::string quoted(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

} // namespace

std::string fromGbk(const std::string& gbk)
{
    return convert(gbk, terminalCodeset().c_str());
}

std::string gbkToUtf8(const std::string& gbk)
{
    return convert(gbk, "UTF-8");
}

Json Json::string(const std::string& utf8)
{
    Json j;
    j.raw_ = quoted(utf8);
    return j;
}

Json Json::number(long long value)
{
    Json j;
    j.raw_ = std::to_string(value);
    return j;
}

Json Json::unsignedNumber(unsigned long long value)
{
    Json j;
    j.raw_ = std::to_string(value);
    return j;
}

Json Json::boolean(bool value)
{
    Json j;
    j.raw_ = value ? "true" : "false";
    return j;
}

Json Json::null()
{
    Json j;
    j.raw_ = "null";
    return j;
}

Json Json::array(std::vector<Json> items)
{
    Json j;
    j.raw_ = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        j.raw_ += (i ? ", " : "") + items[i].text();
    j.raw_ += "]";
    return j;
}

Json Json::object()
{
    Json j;
    j.isObject_ = true;
    return j;
}

Json& Json::set(const std::string& key, Json value)
{
    fields_.emplace_back(key, std::move(value));
    return *this;
}

std::string Json::text() const
{
    if (!isObject_)
        return raw_;
    std::string out = "{";
    for (std::size_t i = 0; i < fields_.size(); ++i)
        out += (i ? ", " : "") + quoted(fields_[i].first) + ": " + fields_[i].second.text();
    return out + "}";
}

void Report::add(const std::string& key, const std::string& label, const std::string& text, Json value)
{
    object_.set(key, std::move(value));
    lines_.emplace_back(label, text);
}

void Report::print() const
{
    if (json_) {
        std::printf("%s\n", Json(object_).set("ok", Json::boolean(true)).text().c_str());
        return;
    }
    std::size_t width = 0;
    for (const auto& [label, text] : lines_)
        width = std::max(width, label.size());
    for (const auto& [label, text] : lines_)
        std::printf("%-*s %s\n", static_cast<int>(width + 1), (label + ":").c_str(), text.c_str());
}

void printFailure(bool json, const std::string& call, std::int32_t code, const char* gbkText, const std::string& hint)
{
    const std::string gbk = gbkText ? gbkText : "";
    const std::string shown = gbk.empty() ? "error " + std::to_string(code) : fromGbk(gbk);
    std::fprintf(stderr, "tagctl: %s(): %s (code %d)%s%s\n", call.c_str(), shown.c_str(), code,
                 hint.empty() ? "" : ": ", hint.c_str());
    if (json) {
        Json failure = Json::object();
        failure.set("ok", Json::boolean(false))
            .set("call", Json::string(call))
            .set("code", Json::number(code))
            .set("error", Json::string(gbkToUtf8(gbk)));
        if (!hint.empty())
            failure.set("why", Json::string(hint));
        std::printf("%s\n", failure.text().c_str());
    }
}

void printStopped(bool json, const std::string& call, const std::string& what,
                  const std::vector<std::pair<std::string, Json>>& found)
{
    std::fprintf(stderr, "tagctl: %s\n", what.c_str());
    if (json) {
        Json failure = Json::object();
        failure.set("ok", Json::boolean(false)).set("call", Json::string(call));
        for (const auto& [key, value] : found)
            failure.set(key, value);
        std::printf("%s\n", failure.text().c_str());
    }
}

void printVerifyFailure(bool json, const std::string& what, const std::vector<std::pair<std::string, Json>>& found)
{
    printStopped(json, "verify", "verification failed: " + what, found);
}

bool isStandardTag(const brnDataModelInfo& info)
{
    return info.model == BRN_DM_MODEL_ISO28560_3 || info.model == BRN_DM_MODEL_ISO28560_2;
}

namespace {

// ISO 28560-1's types of usage (the class, for ISO 28560-2).
std::string usageText(std::int32_t usage)
{
    static const char* const names[] = {
        "acquisition", "item for circulation", "item not for circulation", "local use", "local use",
        "future use",  "no information",       "discarded",                "patron card", "library equipment"};
    const bool named = usage >= 0 && usage < static_cast<std::int32_t>(std::size(names));
    return std::to_string(usage) + (named ? std::string(" (") + names[usage] + ")" : "");
}

} // namespace

std::vector<ModelField> dataModelFields(const brnDataModelInfo& info)
{
    const std::string model = brnDataModelName(info.model);
    const bool standard = isStandardTag(info);
    // "ISO 28560-3" for people.
    const std::string shown = standard ? "ISO " + model.substr(3) : model;
    std::vector<ModelField> fields{{"dataModel", "data model", shown, Json::string(model)}};
    if (standard) {
        fields.push_back({"itemId", "item identifier", *info.itemId ? info.itemId : "none", Json::string(info.itemId)});
        fields.push_back({"owner", "owner library", *info.owner ? info.owner : "none", Json::string(info.owner)});
        if (info.typeOfUsage >= 0)
            fields.push_back(
                {"typeOfUsage", "type of usage", usageText(info.typeOfUsage), Json::number(info.typeOfUsage)});
        if (info.part >= 0)
            fields.push_back({"part", "part", std::to_string(info.part) + " of " + std::to_string(info.parts),
                              Json::number(info.part)});
        if (info.parts >= 0)
            fields.push_back({"parts", "", "", Json::number(info.parts)});
    }
    if (info.crcValid >= 0)
        fields.push_back({"crcValid", "CRC", info.crcValid ? "valid" : "fails", Json::boolean(info.crcValid != 0)});
    return fields;
}

std::string itemTypeName(std::int32_t type)
{
    switch (type) {
    case BRN_ITEM_TYPE_BOOK: return "book";
    case BRN_ITEM_TYPE_PATRON_CARD: return "patron card";
    case BRN_ITEM_TYPE_SHELF_TAG: return "shelf tag";
    default: return "type " + std::to_string(type);
    }
}

std::string locationText(std::uint32_t code)
{
    return std::to_string((code >> 5) & 7) + static_cast<char>('A' + (code & 0x1F));
}

std::string hex(std::uint64_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string hexBytes(const std::uint8_t* bytes, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += hex(bytes[i], 2);
    return out;
}

} // namespace tagctl
