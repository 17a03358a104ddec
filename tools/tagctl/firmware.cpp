// tagctl firmware: firmware of ORBA2 readers.
//
//   tagctl firmware hex2bin IN.hex OUT.bin [--key W,W,...]
//   tagctl firmware program [--port N] IN.hex
//
// hex2bin turns an Intel HEX file into the reader's 17408-byte image file,
// scrambled with the word key when one is given. program erases the
// microcontroller of the ORBA2 reader on the port and programs and verifies
// every word of the HEX file through the modem lines, with a progress bar
// on a terminal.
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "commands.h"
#include "firmware_programmer.h"
#include "output.h"
#include "quorvel.h"

namespace tagctl {
namespace {

// One key word: 0x and hexadecimal digits, or decimal (a leading zero is no octal prefix).
std::optional<long long> parseKeyWord(const std::string& text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string digits = text.substr(2);
        if (digits.size() > 4 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return std::nullopt;
        return std::stoll(digits, nullptr, 16);
    }
    return parseDecimal(text, 0, 0xFFFF);
}

// "W,W,...": words of 0 to 0xFFFF, decimal or 0x hexadecimal.
std::optional<std::vector<std::uint16_t>> parseKey(const std::string& text)
{
    std::vector<std::uint16_t> key;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const auto word = parseKeyWord(text.substr(start, comma - start));
        if (!word || *word < 0 || *word > 0xFFFF)
            return std::nullopt;
        key.push_back(static_cast<std::uint16_t>(*word));
        if (comma == std::string::npos)
            return key;
        start = comma + 1;
    }
}

int failed(const Options& options, const std::string& call, const std::string& text)
{
    printFailure(options.json, call, 0, text.c_str());
    return kExitFailed;
}

int hexToBin(const Options& options, const Args& args)
{
    std::vector<std::string> files;
    std::vector<std::uint16_t> key;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--key" && i + 1 < args.size()) {
            const auto parsed = parseKey(args[++i]);
            if (!parsed)
                return usageError("bad key '" + args[i] + "' (words 0 to 0xFFFF, separated by commas)");
            key = *parsed;
        } else if (args[i].starts_with("--")) {
            return usageError("unknown option '" + args[i] + "' of firmware hex2bin");
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2)
        return usageError("firmware hex2bin takes IN.hex and OUT.bin");
    if (ORBA_HexToBinFile(files[0].c_str(), files[1].c_str(), static_cast<int>(key.size()),
                          key.empty() ? nullptr : key.data()) != 1)
        return failed(options, "ORBA_HexToBinFile",
                      files[0] + " is no firmware HEX file, or " + files[1] + " cannot be written; nothing written");
    Report report(options.json);
    report.add("image", "image", files[1]);
    report.add("bytes", "bytes", std::to_string(ORBA_IMAGE_FILE_BYTES), Json::number(ORBA_IMAGE_FILE_BYTES));
    report.add("keyWords", "key words", std::to_string(key.size()), Json::number(static_cast<long long>(key.size())));
    report.print();
    return kExitOk;
}

std::string failureText(const firmware::Result& r)
{
    char text[96];
    if (r.mismatch)
        std::snprintf(text, sizeof text, "word 0x%04X reads back as 0x%04X instead of 0x%04X", r.address, r.got,
                      r.expected);
    else if (r.call == "ORBA_EraseCodeProtectedMemory" || r.call == "ORBA_InitORBA2Programming")
        std::snprintf(text, sizeof text, "the device did not answer as it should (no ORBA2 reader on the port?)");
    else
        std::snprintf(text, sizeof text, "the device did not answer as it should at word 0x%04X", r.address);
    return text;
}

int programReader(const Options& options, const Args& args)
{
    int port = options.port;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size()) {
            const auto n = parseDecimal(args[++i], 1, 255);
            if (!n || *n < 1 || *n > 255)
                return usageError("bad port number '" + args[i] + "'");
            port = static_cast<int>(*n);
        } else if (args[i].starts_with("--")) {
            return usageError("unknown option '" + args[i] + "' of firmware program");
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 1)
        return usageError("firmware program takes one IN.hex");

    firmware::Image image;
    if (!firmware::loadHex(files[0], image))
        return failed(options, "ORBA_HexToBinFile", files[0] + " is no firmware HEX file");
    const firmware::Count count = firmware::countWords(image);

    const std::int32_t handle = QVL_SerialOpen(port, 115200);
    if (handle < 0) {
        printFailure(options.json, "QVL_SerialOpen", handle, ("cannot open COM" + std::to_string(port)).c_str());
        return kExitFailed;
    }
    const bool bar = !options.json && ::isatty(STDERR_FILENO) == 1;
    firmware::Progress progress;
    if (bar) {
        progress = [](std::size_t done, std::size_t total) {
            std::fprintf(stderr, "\rprogramming %s", firmware::progressBar(done, total).c_str());
            std::fflush(stderr);
        };
        std::fprintf(stderr, "erasing, then programming %zu words\n", count.total());
        progress(0, count.total());
    }
    const firmware::Result result = firmware::program(handle, image, progress);
    if (bar)
        std::fputc('\n', stderr);
    QVL_Close(handle);
    if (!result.ok)
        return failed(options, result.call, failureText(result));

    Report report(options.json);
    report.add("port", "port", "COM" + std::to_string(port), Json::number(port));
    report.add("words", "words programmed", std::to_string(result.written),
               Json::number(static_cast<long long>(result.written)));
    report.addLine("of which", std::to_string(count.program) + " program, " + std::to_string(count.data) +
                                   " data, " + std::to_string(count.config) + " ID and configuration");
    report.addJson("program", Json::number(static_cast<long long>(count.program)));
    report.addJson("data", Json::number(static_cast<long long>(count.data)));
    report.addJson("config", Json::number(static_cast<long long>(count.config)));
    report.print();
    return kExitOk;
}

} // namespace

int runFirmware(const Options& options, const Args& args)
{
    const Args rest = args.empty() ? Args{} : Args(args.begin() + 1, args.end());
    if (!args.empty() && args[0] == "hex2bin")
        return hexToBin(options, rest);
    if (!args.empty() && args[0] == "program")
        return programReader(options, rest);
    return usageError("firmware takes hex2bin or program");
}

} // namespace tagctl
