#pragma once

#include "history/history.h"
#include "platform/working_folder.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The history folder as both its record keeping and its undo read it.
namespace clipnest::record {

inline constexpr std::string_view RecordFile = "operation";
// In the history folder: how many operations it keeps, when the host set it.
inline constexpr std::string_view LimitFile = "limit";
inline constexpr std::string_view BeforeFolder = "before";
// Older copies kept as what differs from the next newer copy of the same file (see deltaOf); only the newest copy of
// a file is whole.
inline constexpr std::string_view DeltaFolder = "differs";
// The journal of an undo under way: "put STAGED NAME" and "remove NAME" lines.
inline constexpr std::string_view JournalFile = "undoing";
// The journal of files put in place together (History::putTogether), in the history folder itself.
inline constexpr std::string_view TogetherJournalFile = "putting";
// What an undo writes beside the files it puts back, before it renames them into place: then the process id.
inline constexpr std::string_view StagedPrefix = ".clipnest-undo-";
// The record's words for the kinds of operation, in the order of Operation::Kind.
inline constexpr std::array<std::string_view, 10> KindWords = {"entry",   "delete",   "insert", "title",   "rename",
                                                               "posters", "captions", "move",   "convert", "other"};

// A record's text read back; one marked damaged when it names a file outside the folder or cannot be read whole.
HistoryEntry parseRecord(int number, std::string_view text);

// The numbers of the records in the history folder (real folders named by a number), in ascending order.
std::vector<int> entryNumbers(const std::filesystem::path& root);

// The file `older` as what differs from the file `newer`: a line "delta PREFIX SUFFIX SIZE" (the lengths the two share
// at their start and end, the size of `newer`), then the bytes of `older` between them; nothing when either cannot be
// read. Read a block at a time, so a large file takes little memory.
std::optional<std::string> deltaOf(const std::filesystem::path& older, const std::filesystem::path& newer);
// `older` again from its delta and `newer`, written as `name` of `folder` (safely), the newer copy's ranges copied
// from its file and never read into memory; false, nothing written, when `newer` is not the file the delta was made
// against or the write fails.
bool writeFromDelta(std::string_view delta, const std::filesystem::path& newer, WorkingFolder& folder,
                    std::string_view name);

} // namespace clipnest::record
