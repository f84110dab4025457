// Converting videos browsers do not play, and the originals the conversions keep.
#include "cli/commands.h"
#include "history/originals.h"
#include "media/convert.h"
#include "platform/code_page.h"
#include "platform/process.h"
#include "publish/settings.h"
#include "text/document.h"
#include "text/safe_text.h"
#include "text/text_ops.h"

namespace clipnest::cli {

namespace {

// The progress line of one conversion on a terminal; nothing when the output is no terminal.
class ProgressLine {
public:
    ProgressLine(std::ostream& out, std::string name) : out_(out), name_(std::move(name)), shown_(outputIsTerminal()) {}
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const media::ConvertProgress& p) {
        if (!shown_) {
            return;
        }
        out_ << "\r" << safeText(name_) << ": " << media::progressText(p);
        out_ << "\033[K" << std::flush;
        drawn_ = true;
    }

    void clear() {
        if (drawn_) {
            out_ << "\r\033[K" << std::flush;
            drawn_ = false;
        }
    }

private:
    std::ostream& out_;
    std::string name_;
    bool shown_;
    bool drawn_ = false;
};

int heightOf(const publish::Settings& s, bool small) {
    const int height = s.maxHeight > 0 ? s.maxHeight : media::ConvertSettings::DefaultMaxHeight;
    return small ? std::min(height, media::ConvertSettings::SmallHeight) : height;
}

} // namespace

ConvertEnd convertOne(Runner& r, const std::string& video, const publish::Settings& settings, bool small,
                      const std::atomic<bool>* cancel) {
    Form& form = r.session().form();
    WorkingFolder& folder = form.folder();
    const std::string shown = codePageToUtf8(video);
    const std::optional<FileStamp> before = folder.isLink(video) ? std::nullopt : folder.stamp(video);
    if (!before) {
        r.line(shown + " was not converted: there is no such video in the folder (a link is not followed).");
        return ConvertEnd::Failed;
    }
    const std::optional<media::SourceStreams> source = media::probeSource(folder, video);
    if (const std::string plays = media::playsAlready(video, source); !plays.empty()) {
        r.out() << safeText(shown) << ": " << safeText(plays) << ".\n";
        return ConvertEnd::AlreadyPlays;
    }
    const std::string newName = media::convertedName(video);
    if (const std::optional<std::string> refusal = form.conversionRefusal(video, newName)) {
        r.line(shown + " was not converted: " + *refusal + "; nothing was changed.");
        return ConvertEnd::Failed;
    }
    media::ConvertSettings options;
    options.crf = settings.crf >= 0 ? settings.crf : media::ConvertSettings::DefaultCrf;
    options.maxHeight = heightOf(settings, small);
    options.maxBytes = settings.maxUpload;
    media::Conversion c;
    {
        ProgressLine line(r.out(), shown);
        c = media::convertVideo(
            folder, video, options, [&line](const media::ConvertProgress& p) { line.show(p); }, cancel, source);
    }
    if (c.madeAgainFrom) {
        r.line(shown + " converted was " + readableSize(*c.madeAgainFrom) + ", over max_upload in " +
                   publish::SettingsFile + ": converted it again at " +
                   std::to_string(media::ConvertSettings::SmallHeight) + " lines (as --small)",
               true);
    }
    switch (c.result) {
    case media::Conversion::Result::AlreadyPlays:
        r.out() << safeText(shown) << ": " << safeText(c.message) << ".\n";
        return ConvertEnd::AlreadyPlays;
    case media::Conversion::Result::Cancelled:
        return ConvertEnd::Cancelled;
    case media::Conversion::Result::Failed:
        r.line(shown + " was not converted: " + c.message + ".");
        return ConvertEnd::Failed;
    case media::Conversion::Result::Made:
        break;
    }
    const bool placed = form.placeConverted(video, c.made, newName, *before);
    const Outcome outcome = r.outcome();
    r.print(outcome);
    if (!placed) {
        return ConvertEnd::Failed;
    }
    if (!r.quiet()) {
        r.line(form.operationSummary());
    }
    return ConvertEnd::Converted;
}

Status runConvert(Runner& r, const Args& a) {
    const Result<publish::Settings> loaded = publish::loadSettings(r.dir());
    if (!loaded) {
        r.line(why(loaded));
        return Failed;
    }
    if (const std::string problem = media::encoderProblem(); !problem.empty()) {
        r.line(problem + ".");
        return Failed;
    }
    std::vector<std::string> videos;
    for (const std::string& name : a.names) {
        const std::optional<std::string> video = typedFileName(name);
        if (!video) {
            r.line(name + " was not converted: it is no file name of the channel.");
            return Failed;
        }
        videos.push_back(*video);
    }
    const InterruptScope interrupt;
    r.begin();
    Status status = Done;
    for (std::size_t i = 0; i < videos.size(); ++i) {
        const ConvertEnd end = convertOne(r, videos[i], *loaded, a.small, &interrupt.flag());
        if (end == ConvertEnd::Cancelled) {
            r.line("Cancelled: " + codePageToUtf8(videos[i]) + " is as it was" +
                   (i > 0 ? "; the videos converted before it stay so, each its own step for undo." : "."));
            return Failed;
        }
        if (end == ConvertEnd::Failed) {
            status = Failed;
        }
    }
    return status;
}

Status runOriginals(Runner& r, const Args& a) {
    WorkingFolder folder(r.dir());
    if (!a.remove) {
        const OriginalsUse kept = originalsKept(folder);
        r.out() << "Originals kept: " << kept.files << (kept.files == 1 ? " file, " : " files, ")
                << readableSize(kept.bytes) << (kept.files ? "; clipnest originals --remove frees them" : "") << "\n";
        return Done;
    }
    ChannelLock lock;
    if (!lockChannel(r, lock)) {
        return Failed;
    }
    const OriginalsUse removed = removeOriginals(folder);
    r.out() << "Removed " << removed.files << (removed.files == 1 ? " original, " : " originals, ")
            << readableSize(removed.bytes)
            << (removed.files ? "; the conversions that kept them can no longer be undone" : "") << ".\n";
    return Done;
}

} // namespace clipnest::cli
