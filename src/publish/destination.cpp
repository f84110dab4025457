#include "publish/destination.h"

namespace clipnest::publish {

std::string keptAddress(const std::filesystem::path& channel) {
    const Result<Settings> settings = loadSettings(channel);
    return settings ? settings->to : std::string();
}

Result<Destination, DestinationProblem> chooseDestination(const std::filesystem::path& channel, const std::string& to,
                                                          bool insecure, bool keep) {
    using Kind = DestinationProblem::Kind;
    Destination d;
    const Result<Settings> settings = loadSettings(channel);
    if (!settings) {
        return DestinationProblem{Kind::Settings, why(settings)};
    }
    d.settings = *settings;
    const bool newAddress = !to.empty() && to != d.settings.to;
    d.settings.to = to.empty() ? d.settings.to : to;
    d.settings.insecure = d.settings.insecure || insecure;
    if (d.settings.to.empty()) {
        return DestinationProblem{Kind::NoAddress, "there is no address to publish to"};
    }
    const Result<Target> target = parseTarget(d.settings.to);
    if (!target) {
        return DestinationProblem{Kind::BadAddress, why(target)};
    }
    if (target->scheme == Target::Scheme::Ftp) {
        if (!d.settings.insecure) {
            return DestinationProblem{Kind::PlainFtp,
                                      "plain ftp:// sends your password unencrypted; use sftp:// or ftps://"};
        }
        d.notes.push_back("plain FTP: the password and the files travel unencrypted");
    }
    if (newAddress && keep && !saveSettings(channel, d.settings)) {
        d.notes.push_back("Clipnest could not write " + std::string(SettingsFile) + "; the address is not kept");
    }
    d.target = *target;
    return d;
}

std::optional<std::string> keepAddress(const std::filesystem::path& channel, const std::string& to, bool insecure) {
    Result<Settings> settings = loadSettings(channel);
    if (!settings) {
        return why(settings);
    }
    if (settings->to == to && settings->insecure == insecure) {
        return std::nullopt;
    }
    settings->to = to;
    settings->insecure = insecure;
    if (!saveSettings(channel, *settings)) {
        return "Clipnest could not write " + std::string(SettingsFile) + "; the address is not kept";
    }
    return std::nullopt;
}

} // namespace clipnest::publish
