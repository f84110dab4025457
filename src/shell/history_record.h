#pragma once

#include <array>
#include <filesystem>
#include <string_view>
#include <vector>

// The history folder as both its record keeping and its undo read it.
namespace clipnest::record {

inline constexpr std::string_view RecordFile = "operation";
inline constexpr std::string_view BeforeFolder = "before";
// The journal of an undo under way: "put STAGED NAME" and "remove NAME" lines.
inline constexpr std::string_view JournalFile = "undoing";
// What an undo writes beside the files it puts back, before it renames them into place: then the process id.
inline constexpr std::string_view StagedPrefix = ".clipnest-undo-";
// The record's words for the kinds of operation, in the order of Operation::Kind.
inline constexpr std::array<std::string_view, 8> KindWords = {"entry",  "delete",  "insert",   "title",
                                                              "rename", "posters", "captions", "other"};

// The numbers of the records in the history folder (real folders named by a number), in ascending order.
std::vector<int> entryNumbers(const std::filesystem::path& root);

} // namespace clipnest::record
