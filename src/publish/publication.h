#pragma once

#include "platform/file_lock.h"
#include "platform/working_folder.h"
#include "publish/connections.h"
#include "publish/publisher.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace clipnest::publish {

// Where the files made for the server (the merged rules, moved pages) wait to go up.
inline constexpr const char* OutgoingFolder = ".clipnest/outgoing";

// What a file that never began to go up ends with.
inline constexpr const char* NotBegun = "stopped before it began";

// One publish, from the lock to the saved record: the stages of publishChannel and what they share.
class Publication {
public:
    Publication(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                const Events& events, const std::atomic<bool>& cancel, const Options& options, RemoteMaker open);
    Report run();

private:
    // publisher.cpp: the order of the work.
    bool lock();
    void planWork();
    void dryRun();
    bool nothingToDo() const;
    void putStage(Stage stage, bool deferred);
    void finish();
    // The files of `stage` that go up now: changed, not arrived yet, and (with `deferred`) only the targets of the
    // pending renames, which wait for them.
    std::vector<const ChannelFile*> due(Stage stage, bool deferred) const;
    bool holdBack(const ChannelFile& file);

    // uploads.cpp: sending files and what becomes of them.
    void upload(const std::vector<const ChannelFile*>& files);
    Connections::Events eventsOf(const std::vector<const ChannelFile*>& files, const std::vector<Upload>& uploads,
                                 std::vector<std::pair<std::size_t, std::string>>& problems);
    std::vector<Upload> uploadsOf(const std::vector<const ChannelFile*>& files);
    void arrived(const ChannelFile& file);
    void missed(const ChannelFile& file, const std::string& problem);
    void saveSoon(bool now);
    // Tells how far the whole publish is, after a file's start, progress or end.
    void tellOverall();
    // A changed file that came to its end without being sent (found there, held back, kept, never begun): it is
    // settled, and its bytes are no longer to go.
    void settledUnsent(const std::string& name);
    std::string stoppedNote(const ChannelFile& file) const;

    // server_files.cpp: what the server holds.
    void sweep();
    void lookBeforeReplacing(std::vector<const ChannelFile*>& files);
    bool sentBefore(const std::string& name, std::uintmax_t size, const std::string& hash) const;
    void putServerRules();
    // renames.cpp
    std::vector<RenamePair> pendingRenames() const;
    bool renameOnServer();
    void holdRenameTargets();
    void followRenames(const std::vector<RenamePair>& pairs, std::set<std::string> after,
                       const std::vector<RenamePair>& steps);
    void dryRenames(Record& after);
    void takeBackRenames();
    void putMovedPages();
    void removeGone(bool dryRun);
    std::vector<std::string> goneNames() const;
    std::set<std::string> channelNames() const;

    std::filesystem::path channel_;
    Settings settings_;
    Target target_;
    const Events& events_;
    const std::atomic<bool>& cancel_;
    Options options_;
    WorkingFolder folder_;
    Connections connections_;
    std::unique_ptr<FileLock> lock_;

    Report report_;
    Manifest manifest_;
    Record* record_ = nullptr; // the target folder's, within manifest_
    Plan plan_;
    std::deque<ChannelFile> made_; // files made for the server (the merged rules, moved pages)
    std::map<std::string, std::string, std::less<>> missed_; // what did not arrive in this publish, and why
    std::set<std::string> ended_;                            // what came to an end in this publish, either way
    std::map<std::string, std::uintmax_t> resume_;           // parts to go on from, by their file's name
    std::map<std::string, std::uintmax_t> sent_;             // bytes of each file the server holds so far
    std::set<std::string> deferred_;                         // the targets of the pending renames
    struct Move {
        RenamePair pair;
        std::optional<Published> recorded;
    };
    std::vector<Move> moves_; // the renames this publish did, in order, with what the record had of each
    bool renamesComplete_ = false;
    std::size_t done_ = 0, count_ = 0, sinceSave_ = 0;
    // The whole publish's bytes: of every changed file, of the files ended, of those still going by name (with the
    // bytes the server held of each when it began), and when the first began.
    std::uintmax_t allBytes_ = 0, endedBytes_ = 0, resumedBytes_ = 0;
    std::map<std::string, std::uintmax_t> going_;
    std::map<std::string, std::uintmax_t> counted_; // each file's size as allBytes_ holds it
    std::set<std::string> settled_;                 // the changed files come to their end, sent or not
    std::int64_t firstBegan_ = -1;
    std::int64_t lastSave_ = 0;
};

} // namespace clipnest::publish
