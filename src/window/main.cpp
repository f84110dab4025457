#include "app/clock.h"
#include "app/working_folder.h"
#include "scroll_form.h"

#include <filesystem>

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const clipnest::SystemClock clock;
    clipnest::WorkingFolder folder(std::filesystem::current_path());
    clipnest::window::ScrollForm window(clock, folder);
    window.show();
    return QApplication::exec();
}
