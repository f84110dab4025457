#include "cli/command_line.h"
#include "cli/demo.h"
#include "platform/clock.h"
#include "platform/working_folder.h"
#include "window/folder_choice.h"
#include "window/scroll_form.h"

#include <filesystem>
#include <iostream>
#include <optional>

#include <QApplication>
#include <QSettings>

int main(int argc, char* argv[]) {
    namespace fs = std::filesystem;
    // One argument that is a folder and no command opens the window on that folder.
    std::optional<fs::path> folderArgument;
    std::error_code ec;
    if (argc == 2 && argv[1][0] != '-' && !clipnest::cli::isCommand(argv[1]) && fs::is_directory(argv[1], ec)) {
        folderArgument = fs::absolute(argv[1], ec).lexically_normal();
    }
    // A command runs without the window, and so without a display.
    if (argc > 1 && !folderArgument) {
        return clipnest::cli::runCommandLine(argc, argv, fs::current_path(), std::cout, std::cerr);
    }
    // Without a display the toolkit would abort with its own words; say what to do instead.
    const bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (!platformChosen && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::cerr << "clipnest: no display to open the window on; run a command instead (clipnest --help)\n";
        return 2;
    }
    QApplication app(argc, argv);
    QSettings settings(QStringLiteral("Clipnest"), QStringLiteral("Clipnest"));
    fs::path folder = folderArgument.value_or(fs::current_path());
    // Started from a desktop menu, the current folder is the home folder: ask instead of writing a homepage there.
    if (!folderArgument && !clipnest::window::isChannelFolder(folder)) {
        // The very first start makes a demo channel to look at; later ones ask.
        const fs::path demo = clipnest::window::demoChannelFolder();
        const bool firstStart = !clipnest::window::hasChannelFolder(settings);
        std::optional<fs::path> chosen;
        if (firstStart && !demo.empty() && clipnest::cli::makeDemoChannel(demo)) {
            chosen = demo;
        } else {
            chosen = clipnest::window::chooseFolderToWorkIn(nullptr, settings);
        }
        if (!chosen) {
            return 0;
        }
        folder = *chosen;
    }
    clipnest::window::rememberChannelFolder(settings, folder);
    const clipnest::SystemClock clock;
    clipnest::WorkingFolder working(folder);
    clipnest::window::ScrollForm window(clock, working);
    window.show();
    return QApplication::exec();
}
