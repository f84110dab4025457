#include "cli/command_line.h"
#include "shell/clock.h"
#include "shell/working_folder.h"
#include "window/scroll_form.h"

#include <filesystem>
#include <iostream>

#include <QApplication>

int main(int argc, char* argv[]) {
    // A command runs without the window, and so without a display.
    if (argc > 1) {
        return clipnest::cli::runCommandLine(argc, argv, std::filesystem::current_path(), std::cout, std::cerr);
    }
    // Without a display the toolkit would abort with its own words; say what to do instead.
    const bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (!platformChosen && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::cerr << "clipnest: no display to open the window on; run a command instead (clipnest --help)\n";
        return 2;
    }
    QApplication app(argc, argv);
    const clipnest::SystemClock clock;
    clipnest::WorkingFolder folder(std::filesystem::current_path());
    clipnest::window::ScrollForm window(clock, folder);
    window.show();
    return QApplication::exec();
}
