#pragma once

#include "shell/working_folder.h"

#include <optional>
#include <string>
#include <utility>

namespace clipnest::media {

// A video's picture size and length as ffprobe reads them; each left out where it tells none.
struct Shape {
    std::optional<int> width, height;
    std::optional<double> seconds;
};

// The shape of a video of the folder, read as probe reads it (the file itself, only the containers browsers play).
// Kept in .clipnest/shapes by the file's stamp, so a video is read again only when it changed. Nothing known when
// ffprobe is missing or cannot read the file; that is never an error.
Shape shapeOf(const WorkingFolder& folder, const std::string& video);

// A JPEG picture's width and height as its frame header gives them, read from the file of the folder (no link);
// nothing when it is no JPEG or has no frame header.
std::optional<std::pair<int, int>> jpegSize(const WorkingFolder& folder, const std::string& picture);

} // namespace clipnest::media
