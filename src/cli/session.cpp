#include "cli/session.h"

#include "text/page_text.h"

#include <algorithm>
#include <sstream>

namespace clipnest::cli {

namespace {

constexpr std::int64_t RunLimitMs = 60LL * 60 * 1000;

} // namespace

bool Message::isNote() const {
    return panel == Panel::HomepageWillBeCreated || panel == Panel::HomepageNotFound || panel == Panel::Notice;
}

std::string plainLine(const std::string& panelText) {
    std::istringstream words(panelText);
    std::string line;
    for (std::string word; words >> word;) {
        if (!line.empty()) {
            line += ' ';
        }
        line += word;
    }
    constexpr std::string_view Close = "(Click to close)";
    if (const std::size_t at = line.find(Close); at != std::string::npos) {
        line.erase(at > 0 ? at - 1 : at, at > 0 ? Close.size() + 1 : Close.size());
    }
    return codePageToUtf8(line);
}

bool RecordingFolder::write(std::string_view name, std::string_view bytes) {
    if (!WorkingFolder::write(name, bytes)) {
        return false;
    }
    written.emplace_back(name);
    return true;
}

Session::Session(const std::filesystem::path& dir) : folder_(dir), form_(clock_, folder_) {
    form_.panels.setShowListener([this](Panel panel) {
        Message message{panel, plainLine(form_.panels[panel].text)};
        const auto same = [&](const Message& m) { return m.panel == message.panel && m.text == message.text; };
        // Each distinct message once for each command, however often its panel is shown.
        const auto untaken = messages_.begin() + static_cast<std::ptrdiff_t>(taken_);
        if (!message.text.empty() && std::none_of(untaken, messages_.end(), same)) {
            messages_.push_back(std::move(message));
        }
    });
    // Start-up: the window is ready for a click once its start-up chain has ended.
    runInVirtualTime(form_.scheduler(), clock_, clock_.now + RunLimitMs, [this] { return form_.chainRunning(); });
}

bool Session::runToEnd() {
    return runInVirtualTime(form_.scheduler(), clock_, clock_.now + RunLimitMs, [] { return true; });
}

std::vector<Message> Session::takeMessages() {
    const auto from = messages_.begin() + static_cast<std::ptrdiff_t>(std::exchange(taken_, messages_.size()));
    return {from, messages_.end()};
}

} // namespace clipnest::cli
