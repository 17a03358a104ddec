// tagctl: the tag mapping library from the command line.
//
//   tagctl [--port N] [--json] COMMAND [ARGUMENTS]
//
// Global options come before the command; each command parses its own
// arguments. Exit status 0 on success, 1 when a library call failed (its
// text on standard error), 2 for a wrong command line.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "commands.h"

namespace tagctl {
namespace {

// The commands, in the order --help lists them.
const Command kCommands[] = {
    {"info", "", "the reader on the port: its family and what it tells of itself", runInfo},
    {"read", "[--raw] [--type book|card|shelf] [--delay MS]",
     "the one tag on the reader: UID, item, EAS and locks (--raw: the block values)", runRead},
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
     "writes a book, patron card or shelf tag onto the one tag on the reader (--verify reads the identifier back)",
     runWrite},
    {"write-raw", "[--uid UID] [--afi HH] [--eas on|off] [--lock BLOCKS] [--lock-eas] [--verify] VALUE...",
     "block values in hex from block 0 on (- skips a block) onto the tag (--uid: the tag with that UID)",
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
    std::printf("usage: tagctl [--port N] [--json] COMMAND [ARGUMENTS]\n\n"
                "Talks to the tag reader on serial port COMN (default COM1; a port folder\n"
                "set in TAGGING_PORT_DIR holds COM1 to COM9 as its files).\n\n"
                "options:\n"
                "  --port N   serial port number\n"
                "  --json     one JSON object on standard output\n\n"
                "commands:\n");
    for (const Command& c : kCommands) {
        const std::string line = std::string(c.name) + (*c.usage ? " " : "") + c.usage;
        std::printf("  %s\n      %s\n", line.c_str(), c.summary);
    }
}

} // namespace
} // namespace tagctl

int main(int argc, char** argv)
{
    using namespace tagctl;
    std::setlocale(LC_ALL, "");
    Options options;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            printHelp();
            return kExitOk;
        }
        if (a == "--json") {
            options.json = true;
        } else if (a == "--port" && i + 1 < argc) {
            const auto port = parseNumber(argv[++i]);
            if (!port || *port < 1 || *port > 255)
                return usageError(std::string("bad port number '") + argv[i] + "'");
            options.port = static_cast<int>(*port);
        } else {
            return usageError("unknown option '" + a + "'");
        }
    }
    if (i == argc)
        return usageError("no command given");
    const std::string name = argv[i];
    for (const Command& c : kCommands)
        if (name == c.name)
            return c.run(options, Args(argv + i + 1, argv + argc));
    return usageError("unknown command '" + name + "'");
}
