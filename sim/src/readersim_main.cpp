// readersim: serves one simulated reader on a pseudo-terminal published as
// COMn in a port folder, or on a TCP port, and takes live commands (tags,
// faults, line) on its standard input. See README.md, "Simulated readers".
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

#include "sim/fault.h"
#include "sim/personality.h"
#include "sim/reader.h"
#include "sim/server.h"
#include "sim/tag_file.h"

namespace {

std::mutex outputMutex;

// One line to standard output, whole and at once (the log comes from the serving thread).
void say(const std::string& line)
{
    std::lock_guard lock(outputMutex);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

const char kUsage[] =
    "usage: readersim --family NAME (--port N [--dir DIR] | --tcp PORT [--listen-any])\n"
    "                 [--baud B] [--model TEXT] [--address N] [--set KEY=VALUE]...\n"
    "                 [--tags FILE] [--timing none|realistic] [--quiet]\n"
    "       readersim --families | --help | --version\n";

const char kHelp[] =
    "commands:\n"
    "  list                      tags on the antenna and on the shelf\n"
    "  place TAGLINE             lay a tag (tag file syntax); place UID puts a shelved tag back\n"
    "  remove UID|all            take tags off the antenna (they stay on the shelf)\n"
    "  dump UID                  a tag's memory\n"
    "  set UID block N HHHHHHHH | afi HH | dsfid HH | eas 0|1\n"
    "  rf on|off                 the reader's RF field\n"
    "  fault KIND [ARG] [count=N|permanent] [skip=N] [code=HH] [frame=N]\n"
    "                            KIND: silence crc noise cut status delay leave close\n"
    "  fault clear | faults      clear / list the armed faults\n"
    "  stats                     commands by code, timing\n"
    "  timing none|realistic     answer at once, or at wire and air speed\n"
    "  baud N                    the reader's line speed\n"
    "  close | reopen            close the line / re-create it\n"
    "  quit\n"
    "tag lines (--tags FILE, place): UID, then any of afi=HH dsfid=HH eas=0|1 noeas\n"
    "  blocks=N (default 28) locked=0-7,9 afilock dsfidlock easlock, and either block\n"
    "  values from block 0 (HHHHHHHH, 11223344 is held as bytes 44 33 22 11) or\n"
    "  mem=HH... the memory bytes in tag order from byte 0 (tags of other data models)\n";

// The options that take a value.
constexpr std::string_view kValueOptions[] = {"--family", "--port", "--dir",   "--tcp",  "--baud",
                                              "--model",  "--address", "--set", "--tags", "--timing"};

struct Options {
    std::string family;
    int port = 0;
    std::string dir;
    int tcpPort = -1;
    bool listenAny = false;
    int baud = 0;
    std::string tagsFile;
    sim::Timing timing = sim::Timing::None;
    bool quiet = false;
    bool listFamilies = false;
    bool help = false;
    bool version = false;
    sim::PersonalityOptions personality;
};

bool parseInt(const char* text, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 0);
    if (errno || !end || *end || end == text || v < 0 || v > 0x7FFFFFFF)
        return false;
    value = static_cast<int>(v);
    return true;
}

// A flag option (one without a value) into the options; false when arg is
// none. stop: the flag asks for an answer instead of a reader (--families,
// --help, --version), and the rest of the line is not read.
bool takeFlag(const std::string& arg, Options& o, bool& stop)
{
    if (arg == "--quiet")
        o.quiet = true;
    else if (arg == "--listen-any")
        o.listenAny = true;
    else if (arg == "--families")
        stop = o.listFamilies = true;
    else if (arg == "--help" || arg == "-h")
        stop = o.help = true;
    else if (arg == "--version")
        stop = o.version = true;
    else
        return false;
    return true;
}

// A value option (one of kValueOptions) and its value into the options.
// Nothing on success, else the message to print.
std::optional<std::string> takeValue(const std::string& arg, const char* v, Options& o)
{
    const auto bad = [v](const char* what) { return std::string("readersim: ") + what + " " + v; };
    if (arg == "--family") {
        o.family = v;
    } else if (arg == "--port") {
        if (!parseInt(v, o.port) || o.port < 1)
            return bad("bad port number");
    } else if (arg == "--dir") {
        o.dir = v;
    } else if (arg == "--tcp") {
        if (!parseInt(v, o.tcpPort) || o.tcpPort > 65535)
            return bad("bad TCP port");
    } else if (arg == "--baud") {
        if (!parseInt(v, o.baud) || o.baud < 1)
            return bad("bad speed");
    } else if (arg == "--model") {
        o.personality.model = v;
    } else if (arg == "--address") {
        int address = 0;
        if (!parseInt(v, address) || address > 255)
            return bad("bad address");
        o.personality.address = address;
    } else if (arg == "--set") {
        const std::string kv = v;
        const auto eq = kv.find('=');
        if (eq == std::string::npos || eq == 0)
            return "readersim: --set needs KEY=VALUE";
        o.personality.extra[kv.substr(0, eq)] = kv.substr(eq + 1);
    } else if (arg == "--tags") {
        o.tagsFile = v;
    } else if (arg == "--timing") {
        if (std::strcmp(v, "none") == 0)
            o.timing = sim::Timing::None;
        else if (std::strcmp(v, "realistic") == 0)
            o.timing = sim::Timing::Realistic;
        else
            return bad("timing is none or realistic, not");
    }
    return std::nullopt;
}

// What a reader needs once every option is read: a family, and a port number
// with its folder (the option or $TAGGING_PORT_DIR) or a TCP port.
std::optional<std::string> completeOptions(Options& o)
{
    if (o.family.empty())
        return std::string("readersim: --family missing\n") + kUsage;
    if (o.tcpPort < 0 && o.port == 0)
        return std::string("readersim: --port or --tcp missing\n") + kUsage;
    if (o.tcpPort < 0 && o.dir.empty()) {
        const char* env = std::getenv("TAGGING_PORT_DIR");
        if (!env || !*env)
            return "readersim: no port folder: give --dir or set TAGGING_PORT_DIR";
        o.dir = env;
    }
    return std::nullopt;
}

// Nothing on success, else the message to print.
std::optional<std::string> parseArgs(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        bool stop = false;
        if (takeFlag(arg, o, stop)) {
            if (stop)
                return std::nullopt;
            continue;
        }
        if (std::find(std::begin(kValueOptions), std::end(kValueOptions), arg) == std::end(kValueOptions))
            return "readersim: unknown option " + arg + "\n" + kUsage;
        if (i + 1 >= argc)
            return "readersim: " + arg + " needs a value\n" + kUsage;
        if (auto message = takeValue(arg, argv[++i], o))
            return message;
    }
    return completeOptions(o);
}

std::string hex2(unsigned value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", value & 0xFF);
    return buf;
}

class Console {
public:
    Console(sim::Reader& reader, sim::Server& server) : reader_(reader), server_(server) {}

    // Runs one command line; false for quit.
    bool run(const std::string& line)
    {
        std::istringstream in(line);
        std::string cmd;
        if (!(in >> cmd) || cmd[0] == '#')
            return true;
        std::string rest;
        std::getline(in, rest);
        rest.erase(0, rest.find_first_not_of(' '));
        if (cmd == "quit" || cmd == "exit")
            return false;
        if (cmd == "help")
            say(kHelp);
        else if (cmd == "list")
            list();
        else if (cmd == "place")
            place(rest);
        else if (cmd == "remove")
            remove(rest);
        else if (cmd == "dump")
            dump(rest);
        else if (cmd == "set")
            set(rest);
        else if (cmd == "rf")
            rf(rest);
        else if (cmd == "fault")
            fault(rest);
        else if (cmd == "faults")
            faults();
        else if (cmd == "stats")
            stats();
        else if (cmd == "timing")
            timing(rest);
        else if (cmd == "baud")
            baud(rest);
        else if (cmd == "close") {
            server_.closeLine();
            say(server_.waitLineClosed(2000) ? "line closed" : "error: the line did not close");
        } else if (cmd == "reopen") {
            const auto generation = server_.lineGeneration();
            server_.reopenLine();
            say(server_.waitLineGeneration(generation + 1, 2000) ? "line reopened" + where()
                                                                 : "error: the line did not reopen");
        } else
            say("error: unknown command \"" + cmd + "\" (try help)");
        return true;
    }

    std::string where() const
    {
        if (server_.linkPath().empty())
            return " on TCP port " + std::to_string(server_.tcpPort());
        return " on " + server_.linkPath() + " (" + server_.devicePath() + ")";
    }

private:
    static std::optional<sim::Uid> uidArg(const std::string& text)
    {
        auto uid = sim::uidFromText(text);
        if (!uid)
            say("error: \"" + text + "\" is not a UID (16 hex digits)");
        return uid;
    }

    void list()
    {
        const auto tags = reader_.tags();
        say(std::to_string(tags.size()) + " tag(s) on the antenna, RF " + (reader_.rfOn() ? "on" : "off"));
        for (const auto& tag : tags)
            say("  " + sim::formatTagLine(tag));
        const auto shelf = reader_.shelf();
        if (!shelf.empty()) {
            say(std::to_string(shelf.size()) + " tag(s) on the shelf");
            for (const auto& tag : shelf)
                say("  " + sim::formatTagLine(tag));
        }
    }

    void place(const std::string& text)
    {
        // A bare UID of a shelved tag puts that tag back with its memory.
        if (text.find(' ') == std::string::npos)
            if (const auto uid = sim::uidFromText(text); uid && reader_.putBack(*uid)) {
                say("placed " + sim::uidToText(*uid) + " (back from the shelf)");
                return;
            }
        std::string error;
        auto tag = sim::parseTagLine(text, &error);
        if (!tag) {
            say("error: " + error);
            return;
        }
        const std::string uid = sim::uidToText(tag->uid());
        say(reader_.place(std::move(*tag)) ? "placed " + uid : "error: " + uid + " already lies on the antenna");
    }

    void remove(const std::string& text)
    {
        if (text == "all") {
            const auto removed = reader_.removeAll();
            say("removed " + std::to_string(removed.size()) + " tag(s)");
            return;
        }
        if (const auto uid = uidArg(text))
            say(reader_.remove(*uid) ? "removed " + text : "error: " + text + " is not on the antenna");
    }

    void dump(const std::string& text)
    {
        const auto uid = uidArg(text);
        if (!uid)
            return;
        const auto tag = reader_.tag(*uid);
        if (!tag) {
            say("error: no tag " + text);
            return;
        }
        std::string out = sim::dumpTag(*tag);
        out.pop_back();
        say(out);
    }

    void set(const std::string& text)
    {
        std::istringstream in(text);
        std::string uidText, what, a, b;
        in >> uidText >> what >> a >> b;
        const auto uid = uidArg(uidText);
        if (!uid)
            return;
        unsigned long value = 0;
        int block = -1;
        std::string valueText = what == "block" ? b : a;
        char* end = nullptr;
        value = std::strtoul(valueText.c_str(), &end, 16);
        const bool valueOk = !valueText.empty() && end && !*end;
        if (what == "block")
            block = std::atoi(a.c_str());
        bool ok = valueOk;
        const bool known = reader_.editTag(*uid, [&](sim::Tag& tag) {
            if (!ok)
                return;
            if (what == "block")
                ok = value <= 0xFFFFFFFFul && tag.setBlock(block, static_cast<std::uint32_t>(value));
            else if (what == "afi" && value <= 0xFF)
                tag.setAfi(static_cast<std::uint8_t>(value));
            else if (what == "dsfid" && value <= 0xFF)
                tag.setDsfid(static_cast<std::uint8_t>(value));
            else if (what == "eas" && value <= 1)
                tag.setEas(value == 1);
            else
                ok = false;
        });
        if (!known)
            say("error: no tag " + uidText);
        else
            say(ok ? "set " + uidText + " " + what : "error: set UID block N HHHHHHHH | afi HH | dsfid HH | eas 0|1");
    }

    void rf(const std::string& text)
    {
        if (text != "on" && text != "off") {
            say("error: rf on|off");
            return;
        }
        reader_.setRf(text == "on");
        say("RF " + text);
    }

    void fault(const std::string& text)
    {
        if (text == "clear") {
            reader_.clearFaults();
            say("faults cleared");
            return;
        }
        std::string error;
        const auto fault = sim::parseFault(text, &error);
        if (!fault) {
            say("error: " + error);
            return;
        }
        reader_.addFault(*fault);
        say("fault " + sim::describeFault(*fault));
    }

    void faults()
    {
        const auto list = reader_.faults();
        say(std::to_string(list.size()) + " fault(s) armed");
        for (const auto& f : list)
            say("  " + sim::describeFault(f));
    }

    void stats()
    {
        const auto report = reader_.timingReport();
        say("commands " + std::to_string(report.commands) + ", ignored bytes " +
            std::to_string(reader_.ignoredBytes()));
        for (const auto& [code, count] : reader_.commandCounts())
            say("  code " + (code < 0 ? std::string("--") : hex2(static_cast<unsigned>(code))) + ": " +
                std::to_string(count));
        say("wire " + std::to_string(report.wireUs) + " us, air " + std::to_string(report.airUs) +
            " us, fault delays " + std::to_string(report.faultDelayUs) + " us");
    }

    void timing(const std::string& text)
    {
        if (text != "none" && text != "realistic") {
            say("error: timing none|realistic");
            return;
        }
        reader_.setTiming(text == "none" ? sim::Timing::None : sim::Timing::Realistic);
        say("timing " + text);
    }

    void baud(const std::string& text)
    {
        int value = 0;
        if (!parseInt(text.c_str(), value) || value < 1) {
            say("error: baud N");
            return;
        }
        reader_.setBaud(value);
        say("baud " + text);
    }

    sim::Reader& reader_;
    sim::Server& server_;
};

// --help, --version and --families answer at once: true when one did.
bool answeredAtOnce(const Options& options)
{
    if (options.help) {
        std::printf("%s\nServes a simulated tag reader of a family on a pseudo-terminal\n"
                    "($TAGGING_PORT_DIR/COMn, or --dir) or a TCP port; these commands\n"
                    "come on standard input while it runs.\n\n%s",
                    kUsage, kHelp);
        return true;
    }
    if (options.version) {
        std::printf("readersim %s\n", TAGGING_VERSION);
        return true;
    }
    if (options.listFamilies) {
        for (const auto* info : sim::personalities())
            std::printf("%s (%d baud): %s\n", info->name.c_str(), info->defaultBaud, info->summary.c_str());
        return true;
    }
    return false;
}

// Termination signals arrive through the descriptor returned; the serving
// thread, started later, inherits the blocked mask.
int terminationSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &signals, SFD_CLOEXEC);
}

// The reader of the options with the tags of the tag file on its antenna,
// logging to standard output unless quiet; null (the reason printed) when it
// cannot be had.
std::unique_ptr<sim::Reader> makeReader(const Options& options)
{
    std::string error;
    auto reader = sim::Reader::create(options.family, options.personality, options.baud, &error);
    if (!reader) {
        std::fprintf(stderr, "readersim: %s (readersim --families lists them)\n", error.c_str());
        return nullptr;
    }
    reader->setTiming(options.timing);
    if (!options.tagsFile.empty()) {
        const auto tags = sim::loadTagFile(options.tagsFile, &error);
        if (!tags) {
            std::fprintf(stderr, "readersim: %s\n", error.c_str());
            return nullptr;
        }
        for (const auto& tag : *tags)
            if (!reader->place(tag)) {
                std::fprintf(stderr, "readersim: %s: tag %s twice\n", options.tagsFile.c_str(),
                             sim::uidToText(tag.uid()).c_str());
                return nullptr;
            }
    }
    const std::string prefix = options.tcpPort >= 0 ? "TCP" : "COM" + std::to_string(options.port);
    if (!options.quiet)
        reader->setLog([prefix](const std::string& line) { say(prefix + " " + line); });
    return reader;
}

// The reader served on its TCP port or its pseudo-terminal in the port
// folder; null (the reason printed) when that fails.
std::unique_ptr<sim::Server> serve(sim::Reader& reader, const Options& options)
{
    std::string error;
    std::unique_ptr<sim::Server> server;
    if (options.tcpPort >= 0) {
        server = sim::Server::tcp(reader, static_cast<std::uint16_t>(options.tcpPort), &error, options.listenAny);
    } else {
        std::error_code ec;
        std::filesystem::create_directories(options.dir, ec);
        server = sim::Server::pty(reader, options.dir + "/COM" + std::to_string(options.port), &error);
    }
    if (!server)
        std::fprintf(stderr, "readersim: %s\n", error.c_str());
    return server;
}

// Runs the whole lines that have come in; false once one of them was quit.
bool runLines(std::string& buffer, Console& console)
{
    for (std::size_t eol; (eol = buffer.find('\n')) != std::string::npos;) {
        std::string line = buffer.substr(0, eol);
        buffer.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!console.run(line))
            return false;
    }
    return true;
}

// Commands from standard input until quit or a termination signal. At the
// end of the input the reader goes on serving until a signal comes.
void takeCommands(Console& console, int signalFd)
{
    std::string buffer;
    bool inputOpen = true;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            [[maybe_unused]] const ssize_t n = ::read(signalFd, &info, sizeof info);
            say("readersim: signal " + std::to_string(info.ssi_signo) + ", stopping");
            return;
        }
        if (!(fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char chunk[1024];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            inputOpen = false;
            continue;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
        if (!runLines(buffer, console))
            return;
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (const auto message = parseArgs(argc, argv, options)) {
        std::fprintf(stderr, "%s%s", message->c_str(), message->back() == '\n' ? "" : "\n");
        return 2;
    }
    if (answeredAtOnce(options))
        return 0;
    const int signalFd = terminationSignals();
    auto reader = makeReader(options);
    if (!reader)
        return 2;
    auto server = serve(*reader, options);
    if (!server)
        return 1;
    Console console(*reader, *server);
    say("readersim: " + reader->family() + " reader at " + std::to_string(reader->baud()) + " baud" +
        console.where() + ", " + std::to_string(reader->tags().size()) + " tag(s)");
    say("ready");
    takeCommands(console, signalFd);
    server.reset();
    reader->setLog(nullptr);
    say("readersim: stopped");
    return 0;
}
