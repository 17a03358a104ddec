// How tagctl prints: lines of "name: value" for people, or one JSON object
// for scripts. Texts of the tag mapping library arrive in the GBK code page
// and are converted to the terminal's encoding (UTF-8 for JSON).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "brenholt_datamodel.h"

namespace tagctl {

// The GBK bytes in the encoding of the current locale (UTF-8 where the locale
// has no character set beyond ASCII); bytes that do not convert become '?'.
std::string fromGbk(const std::string& gbk);
// The GBK bytes in UTF-8.
std::string gbkToUtf8(const std::string& gbk);

// A JSON value, built in place: scalars, arrays and objects.
class Json {
public:
    static Json string(const std::string& utf8);
    static Json number(long long value);
    static Json unsignedNumber(unsigned long long value);
    static Json boolean(bool value);
    static Json null();
    static Json array(std::vector<Json> items);
    static Json object();

    // Objects only: appends a member (in order).
    Json& set(const std::string& key, Json value);
    std::string text() const;

private:
    std::string raw_;                                  // scalars and arrays: their text
    std::vector<std::pair<std::string, Json>> fields_; // objects
    bool isObject_ = false;
};

// What one command reports: named values in order, for either form.
class Report {
public:
    explicit Report(bool json) : json_(json) {}

    bool json() const { return json_; }
    // A line "label: text" for people, member key = value in JSON.
    void add(const std::string& key, const std::string& label, const std::string& text, Json value);
    void add(const std::string& key, const std::string& label, const std::string& text)
    {
        add(key, label, text, Json::string(text));
    }
    // For one form only.
    void addLine(const std::string& label, const std::string& text) { lines_.emplace_back(label, text); }
    void addJson(const std::string& key, Json value) { object_.set(key, std::move(value)); }
    // Writes the report to standard output.
    void print() const;

private:
    bool json_;
    Json object_ = Json::object();
    std::vector<std::pair<std::string, std::string>> lines_;
};

// A failed library call: a line "tagctl: call(): text (code N)[: hint]" on
// standard error, and in JSON an object {"ok": false, ..., "why": hint} on
// standard output.
void printFailure(bool json, const std::string& call, std::int32_t code, const char* gbkText,
                  const std::string& hint = {});
// A command that stopped before doing harm: "tagctl: what" on standard
// error, and in JSON {"ok": false, "call": call} with the members of `found`.
void printStopped(bool json, const std::string& call, const std::string& what,
                  const std::vector<std::pair<std::string, Json>>& found);
// A read-back that differs from what was written: "tagctl: verification
// failed: what" on standard error, and in JSON an object {"ok": false, "call":
// "verify"} with the members of `found` after those on standard output.
void printVerifyFailure(bool json, const std::string& what, const std::vector<std::pair<std::string, Json>>& found);

// What tagctl shows of a tag's data model (brenholt_datamodel.h): one value
// for people (label: text) and for JSON (key: value).
struct ModelField {
    std::string key;
    std::string label;
    std::string text;
    Json value;
};
// Whether the tag holds one of the public library data models (ISO 28560-3,
// ISO 28560-2): it is shown as such, not as an item of this library.
bool isStandardTag(const brnDataModelInfo& info);
// "dataModel" ("house", "iso28560-3", "iso28560-2", "unknown"); for a
// standard tag its "itemId" (a string), "owner" (the ISIL), "typeOfUsage",
// "part" and "parts"; and "crcValid" for an ISO 28560-3 layout. Values the
// tag does not carry are left out.
std::vector<ModelField> dataModelFields(const brnDataModelInfo& info);

// "book", "patron card", "shelf tag", or "type N".
std::string itemTypeName(std::int32_t type);
// Holding location code: digit (bits 7-5) and letter (bits 4-0 from 'A'), e.g. "2A".
std::string locationText(std::uint32_t code);

std::string hex(std::uint64_t value, int digits);
std::string hexBytes(const std::uint8_t* bytes, std::size_t count);

} // namespace tagctl
