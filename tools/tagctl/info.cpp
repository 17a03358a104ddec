// tagctl info: which reader answers on the port, and what it says of itself.
#include "commands.h"
#include "output.h"

namespace tagctl {

int runInfo(const Options& options, const Args& args)
{
    if (!args.empty())
        return usageError("info takes no arguments");
    return withReader(options, [&](OpenReader& reader) {
        Report report(options.json);
        report.add("port", "port", "COM" + std::to_string(options.port), Json::number(options.port));
        report.add("family", "family", familyName(reader.family()) + " (" + std::to_string(reader.family()) + ")",
                   Json::number(reader.family()));
        report.addJson("familyName", Json::string(familyName(reader.family())));

        brnReaderInfo info{};
        const std::int32_t code = brnGetReaderInfo(reader.handle(), &info);
        if (code == BRN_ERR_UNSUPPORTED) {
            // A second-make reader has no identification text.
            report.add("model", "model", "(not told by this reader)", Json::null());
        } else if (code != BRN_OK) {
            return callFailed(options, "brnGetReaderInfo", code);
        } else {
            report.add("model", "model", info.model);
            report.add("identification", "identification bytes",
                       hex(info.identByte1, 2) + " " + hex(info.identByte2, 2),
                       Json::array({Json::number(info.identByte1), Json::number(info.identByte2)}));
            std::string caps = "0x" + hex(static_cast<std::uint32_t>(info.capabilities), 2);
            if ((info.capabilities & BRN_CAP_CHM) == BRN_CAP_CHM)
                caps += " EAS-commands";
            if (info.capabilities & BRN_CAP_ISO15693)
                caps += " ISO15693";
            report.add("capabilities", "capabilities", caps, Json::number(info.capabilities));
        }
        brnVersion version{};
        brnGetVersion(&version);
        report.add("library", "library", version.versionText);
        report.print();
        return kExitOk;
    });
}

} // namespace tagctl
