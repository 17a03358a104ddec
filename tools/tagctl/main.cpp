// tagctl: the tag mapping library from the command line.
//
//   tagctl [--port N] [--json] COMMAND [ARGUMENTS]
//
// Global options go before or after the command; each command parses its
// own arguments. "--opt=value" is "--opt value" everywhere. Exit status 0 on success, 1 when a library call failed (its
// text on standard error), 2 for a wrong command line.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"

namespace tagctl {
namespace {

// The commands, in the order --help lists them.
const Command kCommands[] = {
    {"info", "", "the reader on the port: its family and what it tells of itself", runInfo},
    {"read", "[--raw] [--type book|card|shelf] [--delay MS]",
     "the one tag on the reader: UID, item, EAS and locks, or what a tag of another library holds\n"
     "      (ISO 28560-3, ISO 28560-2); --raw: the block values", runRead},
    {"uid", "", "the UID of the one tag on the reader", runUid},
    {"count", "[--type book|card|shelf]", "the number of tags in the field (of an item type)", runCount},
    // Continuous reading and writing.
    {"watch", "[--type book|card|shelf | --raw] [--period MS] [--count N]",
     "one line per tag as it comes into the field, until Ctrl-C (or N tags)", runWatch},
    {"write",
     "--book BARCODE --library ID [--location 2A] [--media N] [--reference] [--no-eas] [--lock] [--verify]\n"
     "        | --card NUMBER --library ID [--patron-type N] [--card-status N] [--registered YYYY-MM-DD]\n"
     "          [--valid-until YYYY-MM-DD] [--lock] [--verify]\n"
     "        | --shelf NUMBER --library ID [--eas] [--verify]",
     "writes a book, patron card or shelf tag onto the one tag on the reader, only when exactly one\n"
     "      answers (--verify reads the identifier, the AFI and the EAS bit back)",
     runWrite},
    {"write-raw", "[--uid UID] [--afi HH] [--eas on|off] [--lock BLOCKS] [--lock-eas] [--verify] VALUE...",
     "block values in hex from block 0 on (- skips a block) onto the one tag on the reader\n"
     "      (--uid: the tag with that UID among others)",
     runWriteRaw},
    {"ports", "[--map COMn DEVICE | --unmap COMn] [--system]",
     "COM1 to COM9: the device of each, whether it is there and may be opened; USB serial adapters; "
     "--map names a port's device in the user's port map (--system: the machine's)",
     runPorts},
    // Reader firmware.
    {"firmware", "hex2bin IN.hex OUT.bin [--key W,W,...]\n        | program [--port N] IN.hex",
     "ORBA2 firmware: a HEX file as the reader's image file, or programmed into its microcontroller", runFirmware},
};

void printHelp()
{
    std::printf("usage: tagctl [--port N] [--json] COMMAND [ARGUMENTS]\n"
                "       tagctl COMMAND --help | --help | --version\n\n"
                "Talks to the tag reader on serial port COMN (default COM1). COMN is the\n"
                "device the port map names (tagctl ports), else /dev/ttyS<N-1>; a port\n"
                "folder set in TAGGING_PORT_DIR holding COM1 to COM9 comes first.\n\n"
                "options (before or after the command; --opt=value works too):\n"
                "  --port N   serial port number (decimal)\n"
                "  --json     one JSON object on standard output\n"
                "  --help     this text; after a command, that command's\n"
                "  --version  tagctl's version\n\n"
                "commands:\n");
    for (const Command& c : kCommands) {
        const std::string line = std::string(c.name) + (*c.usage ? " " : "") + c.usage;
        std::printf("  %s\n      %s\n", line.c_str(), c.summary);
    }
}

void printCommandHelp(const Command& c)
{
    std::printf("usage: tagctl [--port N] [--json] %s%s%s\n\n%s\n", c.name, *c.usage ? " " : "", c.usage, c.summary);
}

// The command line as words: "--opt=value" split into "--opt" "value".
std::vector<std::string> words(int argc, char** argv)
{
    std::vector<std::string> out;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto eq = a.find('=');
        if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
            out.push_back(a.substr(0, eq));
            out.push_back(a.substr(eq + 1));
        } else {
            out.push_back(a);
        }
    }
    return out;
}

// What the command line asks for.
struct CommandLine {
    Options options;
    const Command* command = nullptr;
    bool help = false;
    Args rest; // the command's own arguments
};

const Command* findCommand(const std::string& name)
{
    for (const Command& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

// --port N at args[i]; i moves past the number. An exit code for a mistake.
std::optional<int> takePort(const std::vector<std::string>& args, std::size_t& i, Options& options)
{
    if (i + 1 == args.size())
        return usageError("--port needs a number");
    const auto port = parseDecimal(args[++i], 1, 255);
    if (!port)
        return usageError("bad port number '" + args[i] + "' (1 to 255, decimal)");
    options.port = static_cast<int>(*port);
    return std::nullopt;
}

// The global options go anywhere; the first other word names the command,
// the words after it are the command's own. An exit code when the line ends
// tagctl here (--version, a mistake).
std::optional<int> parseCommandLine(const std::vector<std::string>& args, CommandLine& line)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            line.help = true;
        } else if (a == "--version") {
            std::printf("tagctl %s\n", TAGGING_VERSION);
            return kExitOk;
        } else if (a == "--json") {
            line.options.json = true;
        } else if (a == "--port") {
            if (const auto exit = takePort(args, i, line.options))
                return exit;
        } else if (line.command) {
            line.rest.push_back(a);
        } else if (!a.empty() && a[0] == '-') {
            return usageError("unknown option '" + a + "'");
        } else if (!(line.command = findCommand(a))) {
            return usageError("unknown command '" + a + "'");
        }
    }
    return std::nullopt;
}

} // namespace
} // namespace tagctl

int main(int argc, char** argv)
{
    using namespace tagctl;
    std::setlocale(LC_ALL, "");
    CommandLine line;
    if (const auto exit = parseCommandLine(words(argc, argv), line))
        return *exit;
    if (line.help) {
        if (line.command)
            printCommandHelp(*line.command);
        else
            printHelp();
        return kExitOk;
    }
    if (!line.command)
        return usageError("no command given");
    return line.command->run(line.options, line.rest);
}
