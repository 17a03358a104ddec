// tagctl ports: which device each of COM1 to COM9 is, whether it is there and
// whether this user may open it, and the USB serial adapters plugged in;
// "ports --map COMn DEVICE" names a port's device in the user's port map.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "commands.h"
#include "output.h"
#include "platform/serial.h"

namespace fs = std::filesystem;

namespace tagctl {
namespace {

constexpr int kFirstPort = 1; // the ports the programs offer: COM1 to COM9
constexpr int kLastPort = 9;
const char* const kAdapterFolder = "/dev/serial/by-id";

std::string userName(uid_t uid)
{
    const passwd* user = ::getpwuid(uid);
    return user ? user->pw_name : std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    const group* g = ::getgrgid(gid);
    return g ? g->gr_name : std::to_string(gid);
}

// Whether the running process has the group now, and whether the user is
// listed in it (a membership that counts from the next login).
bool processHasGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    groups.resize(static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

bool userListedInGroup(gid_t gid)
{
    const passwd* user = ::getpwuid(::geteuid());
    if (!user)
        return false;
    if (user->pw_gid == gid)
        return true;
    const group* g = ::getgrgid(gid);
    for (char** member = g ? g->gr_mem : nullptr; member && *member; ++member)
        if (std::strcmp(*member, user->pw_name) == 0)
            return true;
    return false;
}

// Why this user may not open a device that is there, and what helps.
std::string accessRefusal(const struct stat& st)
{
    const std::string user = userName(::geteuid());
    const std::string owner = userName(st.st_uid);
    const std::string group = groupName(st.st_gid);
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    const std::string owned = "owned by " + owner + ":" + group + ", mode " + mode;
    if (st.st_uid == ::geteuid())
        return owned + ": its owner " + user + " has no read and write access";
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        if (processHasGroup(st.st_gid))
            return owned;
        if (userListedInGroup(st.st_gid))
            return owned + ": " + user + " was added to group " + group
                   + " but this login does not have it yet: log out and in again";
        return owned + ": add " + user + " to group " + group + " (sudo adduser " + user + " " + group
               + "), then log out and in again";
    }
    return owned + ": only " + owner + " may open it (a udev rule can give it to group dialout)";
}

// A port's device as this user finds it.
struct DeviceState {
    bool exists = false;
    bool mayOpen = false;
    bool noHardware = false; // a /dev/ttyS device without a serial port behind it
    std::string target;      // where links lead
    std::string problem;     // why it cannot be opened ("" when it can)
};

DeviceState examine(const std::string& path)
{
    DeviceState state;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        struct stat link{};
        if (errno == EACCES)
            state.problem = "cannot be looked at: a folder on the way is closed to this user";
        else if (::lstat(path.c_str(), &link) == 0)
            state.problem = "missing (a link to a device that is gone)";
        else
            state.problem = "missing";
        return state;
    }
    state.exists = true;
    std::error_code ec;
    state.target = fs::canonical(path, ec).string();
    if (!S_ISCHR(st.st_mode)) {
        state.problem = "not a serial device";
        return state;
    }
    if (state.target.rfind("/dev/ttyS", 0) == 0) {
        // The kernel makes ttyS devices for ports the machine may not have;
        // its "type" 0 says no serial port answered there.
        std::ifstream type("/sys/class/tty/" + state.target.substr(5) + "/type");
        int uart = -1;
        if (type >> uart && uart == 0)
            state.noHardware = true;
    }
    state.mayOpen = ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    if (!state.mayOpen)
        state.problem = errno == EACCES ? accessRefusal(st) : std::strerror(errno);
    return state;
}

const char* sourceKey(platform::PortSource source)
{
    switch (source) {
    case platform::PortSource::PortFolder: return "port folder";
    case platform::PortSource::UserMap: return "user map";
    case platform::PortSource::SystemMap: return "system map";
    case platform::PortSource::Default: return "default";
    }
    return "";
}

Json textOrNull(const std::string& text)
{
    return text.empty() ? Json::null() : Json::string(text);
}

// One line per port: its device, where that came from, and its state.
void reportPorts(Report& report, const std::vector<std::pair<std::string, std::string>>& adapters)
{
    std::vector<Json> ports;
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        const platform::PortResolution port = platform::resolveSerialPort(n);
        const DeviceState state = examine(port.path);
        std::string text = port.path + " (" + sourceKey(port.source) + ")";
        if (state.exists && !state.target.empty() && state.target != port.path)
            text += " -> " + state.target;
        text += ": ";
        if (!state.exists)
            text += state.problem;
        else if (state.mayOpen)
            text += "present, this user may open it";
        else
            text += "present, this user may not open it: " + state.problem;
        if (state.noHardware)
            text += " (no serial port behind it on this machine)";
        report.addLine("COM" + std::to_string(n), text);

        Json entry = Json::object();
        entry.set("port", Json::number(n))
            .set("device", Json::string(port.path))
            .set("source", Json::string(sourceKey(port.source)))
            .set("mapFile", textOrNull(port.mapFile))
            .set("target", textOrNull(state.target))
            .set("exists", Json::boolean(state.exists))
            .set("mayOpen", Json::boolean(state.mayOpen))
            .set("hardware", Json::boolean(state.exists && !state.noHardware))
            .set("problem", textOrNull(state.problem));
        ports.push_back(std::move(entry));
    }
    report.addJson("ports", Json::array(std::move(ports)));

    std::vector<Json> found;
    for (const auto& [name, target] : adapters) {
        int port = 0;
        for (int n = kFirstPort; n <= kLastPort && port == 0; ++n) {
            std::error_code ec;
            if (fs::canonical(platform::serialPortPath(n), ec).string() == target)
                port = n;
        }
        report.addLine("adapter", std::string(kAdapterFolder) + "/" + name + " -> " + target
                                      + (port ? " (COM" + std::to_string(port) + ")" : " (no COM port)"));
        Json entry = Json::object();
        entry.set("device", Json::string(std::string(kAdapterFolder) + "/" + name))
            .set("target", Json::string(target))
            .set("port", port ? Json::number(port) : Json::null());
        found.push_back(std::move(entry));
    }
    if (adapters.empty())
        report.addLine("adapter", std::string("none (nothing in ") + kAdapterFolder + ")");
    report.addJson("adapters", Json::array(std::move(found)));
}

// The USB serial adapters by their stable names, and the devices they are now.
std::vector<std::pair<std::string, std::string>> findAdapters()
{
    std::vector<std::pair<std::string, std::string>> adapters;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kAdapterFolder, ec)) {
        std::error_code ignored;
        adapters.emplace_back(entry.path().filename().string(), fs::canonical(entry.path(), ignored).string());
    }
    std::sort(adapters.begin(), adapters.end());
    return adapters;
}

void reportMapFile(Report& report, const char* key, const char* label, const std::string& file)
{
    if (file.empty()) {
        report.add(key, label, "none (no home folder)", Json::null());
        return;
    }
    const platform::PortMap map = platform::readPortMap(file);
    report.addLine(label, file + (map.found ? "" : " (not there)"));
    Json entry = Json::object();
    std::vector<Json> bad;
    for (int line : map.badLines) {
        report.addLine(label, file + ":" + std::to_string(line) + ": not COMn=/path/of/device, ignored");
        bad.push_back(Json::number(line));
    }
    entry.set("file", Json::string(file)).set("found", Json::boolean(map.found)).set("badLines", Json::array(bad));
    report.addJson(key, std::move(entry));
}

int listPorts(const Options& options)
{
    Report report(options.json);
    const char* folder = std::getenv("TAGGING_PORT_DIR");
    const bool inFolder = folder && *folder;
    if (inFolder)
        report.addLine("port folder", std::string(folder) + " (TAGGING_PORT_DIR is set: the port maps are not used)");
    report.addJson("portFolder", inFolder ? Json::string(folder) : Json::null());
    reportMapFile(report, "userMap", "user map", platform::userPortMapFile());
    reportMapFile(report, "systemMap", "system map", platform::systemPortMapFile());
    reportPorts(report, findAdapters());
    report.print();
    return kExitOk;
}

// "COM3", "com3" or "3", for the ports the programs offer.
std::optional<int> parsePort(const std::string& text)
{
    std::string digits = text;
    if (digits.size() > 3 && strncasecmp(digits.c_str(), "COM", 3) == 0)
        digits = digits.substr(3);
    if (digits.size() != 1 || digits[0] < '0' + kFirstPort || digits[0] > '0' + kLastPort)
        return std::nullopt;
    return digits[0] - '0';
}

// The stable name of an adapter that is now the given device, if there is one.
std::string stableNameOf(const std::string& device)
{
    std::error_code ec;
    const std::string target = fs::canonical(device, ec).string();
    for (const auto& [name, now] : findAdapters())
        if (!ec && now == target)
            return std::string(kAdapterFolder) + "/" + name;
    return {};
}

int mapPort(const Options& options, const Args& args)
{
    const bool unmap = args[0] == "--unmap";
    bool system = false;
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--system")
            system = true;
        else
            rest.push_back(args[i]);
    }
    if (rest.size() != (unmap ? 1u : 2u))
        return usageError(unmap ? "ports --unmap takes a port: ports --unmap COM3"
                                : "ports --map takes a port and a device: ports --map COM3 /dev/serial/by-id/...");
    const auto port = parsePort(rest[0]);
    if (!port)
        return usageError("bad port '" + rest[0] + "' (COM1 to COM9)");
    std::string device = unmap ? std::string() : rest[1];
    if (!unmap && (device.empty() || device.find_first_of("\r\n") != std::string::npos))
        return usageError("bad device name");
    if (!unmap && device[0] != '/') {
        // An adapter's name as "ports" lists it, without its folder.
        if (fs::exists(fs::path(kAdapterFolder) / device))
            device = std::string(kAdapterFolder) + "/" + device;
        else
            return usageError("the device must be a path from / on, such as " + std::string(kAdapterFolder)
                              + "/usb-...");
    }
    const std::string file = system ? platform::systemPortMapFile() : platform::userPortMapFile();
    if (file.empty()) {
        std::fprintf(stderr, "tagctl: this user has no home folder for a port map; use --system as root\n");
        return kExitFailed;
    }
    std::string error;
    if (!platform::setPortMapEntry(file, *port, device, error)) {
        std::fprintf(stderr, "tagctl: cannot write the port map: %s%s\n", error.c_str(),
                     system && ::geteuid() != 0 ? " (the system map needs root)" : "");
        return kExitFailed;
    }

    const std::string name = "COM" + std::to_string(*port);
    if (const char* folder = std::getenv("TAGGING_PORT_DIR"); folder && *folder)
        std::fprintf(stderr, "tagctl: note: TAGGING_PORT_DIR is set: programs use %s/%s, not the map, while it is\n",
                     folder, name.c_str());
    const platform::PortResolution now = platform::resolveSerialPort(*port);
    if (system && now.source == platform::PortSource::UserMap)
        std::fprintf(stderr, "tagctl: note: for this user %s stays %s (the user's own map, %s, comes first)\n",
                     name.c_str(), now.path.c_str(), now.mapFile.c_str());
    if (!unmap) {
        if (!fs::exists(device))
            std::fprintf(stderr, "tagctl: note: %s is not there now (is the reader plugged in?)\n", device.c_str());
        else if (device.rfind("/dev/serial/", 0) != 0)
            if (const std::string stable = stableNameOf(device); !stable.empty())
                std::fprintf(stderr,
                             "tagctl: note: %s may be another adapter after the next plug-in; its stable name is %s\n",
                             device.c_str(), stable.c_str());
    }

    Report report(options.json);
    report.add("port", "port", name, Json::number(*port));
    report.add("device", "device", now.path + " (" + sourceKey(now.source) + ")", Json::string(now.path));
    report.add("mapFile", "map file", file);
    report.print();
    return kExitOk;
}

} // namespace

int runPorts(const Options& options, const Args& args)
{
    if (args.empty())
        return listPorts(options);
    if (args[0] == "--map" || args[0] == "--unmap")
        return mapPort(options, args);
    return usageError("ports takes no arguments but --map COMn DEVICE or --unmap COMn");
}

} // namespace tagctl
