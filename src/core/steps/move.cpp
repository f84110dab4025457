#include "core/form.h"
#include "text/entry_edits.h"
#include "text/page_text.h"
#include "text/text_ops.h"

namespace clipnest {

void Form::moveEntry(const std::string& name, const std::optional<std::string>& above) {
    const ChannelHold hold(*this);
    if (!hold) {
        return;
    }
    std::vector<std::string> names{std::string(stripBlanks(name))};
    if (above) {
        names.emplace_back(stripBlanks(*above));
    }
    const std::string refusal = "Clipnest moved no entry";
    const std::optional<std::vector<std::string>> entries = entriesAsked(names, refusal);
    if (!entries) {
        return;
    }
    std::string text = homepage_.PageText;
    const std::optional<std::string_view> anchor =
        entries->size() > 1 ? std::optional<std::string_view>(entries->back()) : std::nullopt;
    if (const std::optional<std::string> problem = moveEntryBlock(text, entries->front(), anchor)) {
        fileFailure(refusal + ": " + *problem);
        return;
    }
    if (text == homepage_.PageText) {
        return;
    }
    startOperation({Operation::Kind::Move, names});
    noteEntriesAtStart();
    homepage_.PageText = std::move(text);
    if (writeHomepage()) {
        keepDiscoveryInStep(false);
    }
}

} // namespace clipnest
