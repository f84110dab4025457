#pragma once

#include "platform/working_folder.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace clipnest::media {

// A video's picture size and length as ffprobe reads them; each left out where it tells none.
struct Shape {
    std::optional<int> width, height;
    std::optional<double> seconds;
};

// The shapes of videos of the folder, each read as probe reads it (the file itself, only the containers browsers
// play). Kept in .clipnest/shapes by the file's stamp for the videos last asked about, so a video is read again only
// when it changed. A video is left out when it is not in the folder, and its fields when ffprobe is missing or cannot
// read it; that is never an error.
std::map<std::string, Shape, std::less<>> shapesOf(const WorkingFolder& folder, const std::vector<std::string>& videos);

// A JPEG picture's width and height as its frame header gives them, read from the file of the folder (no link);
// nothing when it is no JPEG or has no frame header.
std::optional<std::pair<int, int>> jpegSize(const WorkingFolder& folder, const std::string& picture);

} // namespace clipnest::media
