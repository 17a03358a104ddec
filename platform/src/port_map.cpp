// Port names: which device each COMn is (the port folder, the port map
// files, the machine's own serial ports).
#include "platform/serial.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

enum class LineKind { Blank, Entry, Bad };

// One line of a map file; for an entry, its port and device.
LineKind parseLine(const std::string& line, int& port, std::string& device)
{
    const std::string text = trimmed(line);
    if (text.empty() || text[0] == '#')
        return LineKind::Blank;
    const auto equals = text.find('=');
    if (equals == std::string::npos)
        return LineKind::Bad;
    const std::string key = trimmed(text.substr(0, equals));
    device = trimmed(text.substr(equals + 1));
    if (key.size() < 4 || key.size() > 6 || strncasecmp(key.c_str(), "COM", 3) != 0 || key[3] == '0'
        || key.find_first_not_of("0123456789", 3) != std::string::npos || device.empty() || device[0] != '/')
        return LineKind::Bad;
    port = std::atoi(key.c_str() + 3);
    return port <= 255 ? LineKind::Entry : LineKind::Bad;
}

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    passwd entry{};
    passwd* user = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &user) == 0 && user && user->pw_dir)
        return user->pw_dir;
    return {};
}

// mkdir -p, for the folder of a file.
bool makeFolders(const std::string& folder)
{
    if (folder.empty())
        return true;
    struct stat st{};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    const auto slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST;
}

} // namespace

std::string serialPortPath(int portNumber)
{
    return resolveSerialPort(portNumber).path;
}

PortResolution resolveSerialPort(int portNumber)
{
    return resolveSerialPort(portNumber, userPortMapFile(), systemPortMapFile());
}

PortResolution resolveSerialPort(int portNumber, const std::string& userMap, const std::string& systemMap)
{
    if (const char* dir = std::getenv("TAGGING_PORT_DIR"); dir && *dir)
        return {std::string(dir) + "/COM" + std::to_string(portNumber), PortSource::PortFolder, {}};
    // The user's own entry wins over the machine's.
    for (const auto& [file, source] : {std::pair{userMap, PortSource::UserMap}, {systemMap, PortSource::SystemMap}}) {
        if (file.empty())
            continue;
        const PortMap map = readPortMap(file);
        if (const auto it = map.devices.find(portNumber); it != map.devices.end())
            return {it->second, source, file};
    }
    return {"/dev/ttyS" + std::to_string(portNumber - 1), PortSource::Default, {}};
}

std::string userPortMapFile()
{
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        config = xdg;
    else if (const std::string home = homeFolder(); !home.empty())
        config = home + "/.config";
    else
        return {};
    return config + "/tagging/ports.conf";
}

std::string systemPortMapFile()
{
    return "/etc/tagging/ports.conf";
}

PortMap readPortMap(const std::string& file)
{
    PortMap map;
    std::ifstream in(file);
    if (!in)
        return map;
    map.found = true;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        int port = 0;
        std::string device;
        switch (parseLine(line, port, device)) {
        case LineKind::Entry: map.devices[port] = device; break;
        case LineKind::Bad: map.badLines.push_back(number); break;
        case LineKind::Blank: break;
        }
    }
    return map;
}

bool setPortMapEntry(const std::string& file, int portNumber, const std::string& device, std::string& error)
{
    // A device is one absolute path on one line.
    if (!device.empty() && (device[0] != '/' || device.find_first_of("\r\n") != std::string::npos)) {
        error = "not a device path: " + device;
        return false;
    }
    // Every line stays but those of this port; the new entry takes the place
    // of the first of them, or comes last.
    std::ostringstream text;
    bool placed = device.empty();
    const std::string entry = "COM" + std::to_string(portNumber) + "=" + device + "\n";
    errno = 0;
    if (std::ifstream in(file); in) {
        std::string line;
        while (std::getline(in, line)) {
            int port = 0;
            std::string old;
            if (parseLine(line, port, old) == LineKind::Entry && port == portNumber) {
                if (!placed)
                    text << entry;
                placed = true;
                continue;
            }
            text << line << '\n';
        }
    } else if (errno != ENOENT) {
        error = file + ": " + std::strerror(errno ? errno : EIO);
        return false;
    } else {
        text << "# Serial ports of the tagging workstation, one a line: COMn=DEVICE\n";
    }
    if (!placed)
        text << entry;

    const auto slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash);
    if (!makeFolders(folder)) {
        error = folder + ": " + std::strerror(errno);
        return false;
    }
    // A whole new file in place of the old one: no half-written map.
    const std::string temporary = file + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out) {
            error = temporary + ": " + std::strerror(errno);
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        error = file + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace platform
