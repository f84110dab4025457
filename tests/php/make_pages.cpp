// Writes the pages the PHP tests run into a folder, made by the builders Clipnest writes them with: two video pages
// and one under a name full of PHP syntax, the rename page for one file and for a video with its comments (and
// one of those that fails half-way, and one that fails after a merge), a moved page, the default homepage, and the
// preview's router.
#include "text/default_homepage.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/moved_page.h"
#include "text/rename_page.h"
#include "text/templates.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

bool write(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

} // namespace

int main(int argc, char** argv) {
    using namespace clipnest;
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_pages FOLDER SECRET\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    PageOptions options;
    options.commentSecret = argv[2];
    bool ok = true;
    for (const std::string name : {"roses.mp4", "tulips.mp4", "Bob's $clip {1}.mp4"}) {
        const std::string lessExt(withoutExtension(name));
        std::string page = buildIndividualPageTemplate(options);
        fillIndividualPage(page, name, lessExt, "About " + lessExt, pageTitle("", name));
        ok = write(folder / (lessExt + ".php"), page) && ok;
    }
    ok = write(folder / "rename_one.php", buildRenamePage("my $clip's.mp4", "new & {$better}.mp4")) && ok;
    const std::vector<RenamePair> pairs = {{"roses.mp4", "red roses.mp4"},
                                           {"roses_comments.txt", "red roses_comments.txt"}};
    ok = write(folder / "rename_pairs.php", buildRenamePage(pairs)) && ok;
    // Two renames waiting on one page: roses to "red roses", then on to tulips.
    const std::vector<RenamePair> onwards = {{"red roses.mp4", "tulips.mp4"},
                                             {"red roses_comments.txt", "tulips_comments.txt"}};
    ok = write(folder / "rename_queue.php", queuedRenamePage(buildRenamePage(pairs), onwards, false)) && ok;
    // The last pair's new name is too long for any file system, so its rename fails after the others'.
    std::vector<RenamePair> failing = pairs;
    failing.back().to = std::string(300, 'r') + "_comments.txt";
    ok = write(folder / "rename_failing.php", buildRenamePage(failing)) && ok;
    // The comments merged first, then the video renamed on to a name too long, so everything is turned back.
    const std::vector<RenamePair> mergeFailing = {{"roses.mp4", "red roses.mp4"},
                                                  {"roses_comments.txt", "red roses_comments.txt"},
                                                  {"red roses.mp4", std::string(300, 'r') + ".mp4"}};
    ok = write(folder / "rename_merge_failing.php", buildRenamePage(mergeFailing)) && ok;
    ok = write(folder / "moved.php", buildMovedPage("Bob's red ros\xE9.php")) && ok;
    ok = write(folder / "homepage.html", buildDefaultHomepage("Garden", "Videos of the garden", buildSampleEntry())) &&
         ok;
    ok = write(folder / "preview_router.php", templates::previewRouter()) && ok;
    return ok ? 0 : 1;
}
