#pragma once

#include "comments/moderation.h"
#include "publish/http.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace clipnest::publish {

// What the host types as a reply to `to`, as it is posted: line breaks as LF, and "@name " in front when the comment
// replied to is a visitor's that gave a name (and the text does not start with it already).
std::string replyText(const ListedComment& to, std::string_view typed);

// The form a video page takes a reply by: the text, the time (unix seconds) and their signature under the channel's
// comment secret, for the thread of `commentsFile` (the name on the server, UTF-8).
FormFields replyForm(std::string_view secret, std::string_view commentsFile, std::int64_t time,
                     const std::string& text);

struct ReplyOutcome {
    bool stored = false;
    std::string said; // what happened, in words for the host
};

// Posts the host's reply `text` (as replyText made it; line breaks go as LF) to the live page of `video` (code-page
// bytes) at the channel's address (the settings' `site`), signed with the channel's comment secret at `now` (unix
// seconds). Stored only when the page answers 200 with "stored"; otherwise why not, naming the page.
ReplyOutcome postReply(const std::filesystem::path& channel, std::string_view video, const std::string& text,
                       std::int64_t now);
// The same at this moment.
ReplyOutcome postReply(const std::filesystem::path& channel, std::string_view video, const std::string& text);

inline constexpr std::string_view NoSiteForReplies =
    "Replies go to the live page: set the channel's address (site) first.";

} // namespace clipnest::publish
