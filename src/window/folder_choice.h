#pragma once

#include <filesystem>
#include <optional>

class QSettings;
class QWidget;

namespace clipnest::window {

// Whether the folder is a channel folder: a homepage under one of its names, or the marker of a folder worked in.
bool isChannelFolder(const std::filesystem::path& folder);

// Asks for the channel folder with the folder dialog, starting at the last one used (kept in `settings`, so it is
// offered again next time); nothing when the user cancels.
std::optional<std::filesystem::path> chooseChannelFolder(QWidget* parent, QSettings& settings);

// Whether the folder may be worked in: a channel folder may; of any other the host is asked first whether to make it
// one, since the work writes AppDocs.txt there at once and a homepage with the first entry.
bool mayMakeChannel(QWidget* parent, const std::filesystem::path& folder);

// Asks for the channel folder as chooseChannelFolder does, until the host picks a channel folder or agrees to make
// the chosen one a channel; nothing when the user cancels.
std::optional<std::filesystem::path> chooseFolderToWorkIn(QWidget* parent, QSettings& settings);

// Whether a channel folder was ever chosen or worked in (the settings remember one).
bool hasChannelFolder(QSettings& settings);

// Where a first start makes its demo channel: "Clipnest demo channel" in the home folder, or another name beside it
// when that is taken; empty when there is no home folder.
std::filesystem::path demoChannelFolder();

// Remembers the folder the window works on, for the next start from a desktop menu.
void rememberChannelFolder(QSettings& settings, const std::filesystem::path& folder);

} // namespace clipnest::window
