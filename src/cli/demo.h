#pragma once

#include <filesystem>

namespace clipnest::cli {

// Makes a small channel in `folder`, which must not exist yet: a title, a message and three entries with their
// pages, made by the same commands a host would type, and a few seconds of test picture for each video when ffmpeg
// is there. So a first start shows what the tool is for. False when the folder was there or a command failed.
bool makeDemoChannel(const std::filesystem::path& folder);

} // namespace clipnest::cli
