#include "comments/reply.h"

#include "platform/code_page.h"
#include "platform/working_folder.h"
#include "publish/digest.h"
#include "text/channel_settings.h"
#include "text/discovery.h"
#include "text/document.h"

#include <chrono>

namespace clipnest::publish {

namespace {

std::string withLfBreaks(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            i += i + 1 < text.size() && text[i + 1] == '\n' ? 1 : 0;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The channel's comment secret as its pages hold it; empty when there is none (a new one is never made here: the
// pages on the server would not know it).
std::string keptSecret(const std::filesystem::path& channel) {
    const std::optional<WorkingFolder> hidden = WorkingFolder(channel).subfolder(".clipnest", false);
    std::string secret = hidden ? hidden->read("comment-secret").value_or("") : std::string();
    while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r')) {
        secret.pop_back();
    }
    return isCommentSecret(secret) ? secret : std::string();
}

} // namespace

std::string replyText(const ListedComment& to, std::string_view typed) {
    std::string text = withLfBreaks(typed);
    if (text.find_first_not_of(" \t\n") == std::string::npos) {
        return {}; // no reply, and no name to make it look like one
    }
    const std::string mention = "@" + to.comment.name + " ";
    if (!to.comment.host && !to.comment.name.empty() && !text.starts_with(mention)) {
        text.insert(0, mention);
    }
    return text;
}

FormFields replyForm(std::string_view secret, std::string_view commentsFile, std::int64_t time,
                     const std::string& text) {
    const std::string rt = std::to_string(time);
    return {{"reply", text},
            {"rt", rt},
            {"rs", hmacSha256Hex(secret, "reply " + std::string(commentsFile) + "\n" + rt + "\n" + text)}};
}

ReplyOutcome postReply(const std::filesystem::path& channel, std::string_view video, const std::string& typed,
                       std::int64_t now) {
    // The page stores line breaks as LF: the signature is over the text as it will stand.
    const std::string text = withLfBreaks(typed);
    const Result<Settings> settings = loadSettings(channel);
    if (!settings) {
        return {false, settings.error().why};
    }
    if (settings->site.empty()) {
        return {false, std::string(NoSiteForReplies)};
    }
    if (text.find_first_not_of(" \t\n") == std::string::npos) {
        return {false, "A reply needs some text."};
    }
    const std::string secret = keptSecret(channel);
    const std::string page = codePageToUtf8(std::string(withoutExtension(video)) + ".php");
    if (secret.empty()) {
        return {false, "The channel has no comment secret (.clipnest/comment-secret), so " + page +
                           " can take no reply from here; publish the channel first."};
    }
    const HttpAnswer answer = postForm(discovery::addressOf(settings->site, page),
                                       replyForm(secret, codePageToUtf8(commentsFileOf(video)), now, text));
    if (!answer.problem.empty()) {
        return {false, "The reply did not reach " + page + ": " + answer.problem + "."};
    }
    // The page's word, whatever line break a server puts after it.
    std::string_view word = answer.body;
    while (!word.empty() && (word.back() == '\n' || word.back() == '\r' || word.back() == ' ')) {
        word.remove_suffix(1);
    }
    if (answer.status == 200 && word == "stored") {
        return {true, "The reply is on " + page + "; fetch the comments to see it listed."};
    }
    const std::string status = "(HTTP " + std::to_string(answer.status) + ")";
    if (answer.status == 403) {
        return {false, "The page " + page + " refused the reply " + status +
                           ": is the page published as this channel made it, and is this computer's clock right?"};
    }
    if (answer.status == 200) {
        // A page published before the pages took replies shows itself and stores nothing.
        return {false, "The page " + page + " did not store the reply " + status +
                           ": publish the channel so its pages take replies."};
    }
    return {false, "The page " + page + " did not store the reply " + status + "."};
}

ReplyOutcome postReply(const std::filesystem::path& channel, std::string_view video, const std::string& text) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return postReply(channel, video, text, std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

} // namespace clipnest::publish
