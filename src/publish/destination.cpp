#include "publish/destination.h"

namespace clipnest::publish {

std::string keptAddress(const std::filesystem::path& channel) {
    Settings settings;
    std::string error;
    return loadSettings(channel, settings, error) ? settings.to : std::string();
}

std::optional<Destination> chooseDestination(const std::filesystem::path& channel, const std::string& to, bool insecure,
                                             bool keep, DestinationProblem& problem) {
    using Kind = DestinationProblem::Kind;
    Destination d;
    if (!loadSettings(channel, d.settings, problem.text)) {
        problem.kind = Kind::Settings;
        return std::nullopt;
    }
    const bool newAddress = !to.empty() && to != d.settings.to;
    d.settings.to = to.empty() ? d.settings.to : to;
    d.settings.insecure = d.settings.insecure || insecure;
    if (d.settings.to.empty()) {
        problem = {Kind::NoAddress, "there is no address to publish to"};
        return std::nullopt;
    }
    const std::optional<Target> target = parseTarget(d.settings.to, problem.text);
    if (!target) {
        problem.kind = Kind::BadAddress;
        return std::nullopt;
    }
    if (target->scheme == Target::Scheme::Ftp) {
        if (!d.settings.insecure) {
            problem = {Kind::PlainFtp, "plain ftp:// sends your password unencrypted; use sftp:// or ftps://"};
            return std::nullopt;
        }
        d.notes.push_back("plain FTP: the password and the files travel unencrypted");
    }
    if (newAddress && keep && !saveSettings(channel, d.settings)) {
        d.notes.push_back("Clipnest could not write " + std::string(SettingsFile) + "; the address is not kept");
    }
    d.target = *target;
    return d;
}

} // namespace clipnest::publish
