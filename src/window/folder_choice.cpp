#include "window/folder_choice.h"

#include "platform/working_folder.h"
#include "text/document.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace clipnest::window {

namespace {

constexpr const char* LastFolderKey = "lastFolder";

} // namespace

bool isChannelFolder(const std::filesystem::path& folder) {
    const WorkingFolder working(folder);
    return findHomepage(working).has_value() || working.exists("AppDocs.txt");
}

std::optional<std::filesystem::path> chooseChannelFolder(QWidget* parent, QSettings& settings) {
    QString start = settings.value(QLatin1String(LastFolderKey)).toString();
    if (start.isEmpty() || !QDir(start).exists()) {
        start = QDir::homePath();
    }
    QFileDialog dialog(parent, QStringLiteral("Choose the channel folder"), start);
    dialog.setObjectName(QStringLiteral("dlgChannelFolder"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const std::filesystem::path chosen = dialog.selectedFiles().constFirst().toStdString();
    rememberChannelFolder(settings, chosen);
    return chosen;
}

bool mayMakeChannel(QWidget* parent, const std::filesystem::path& folder) {
    if (isChannelFolder(folder)) {
        return true;
    }
    QMessageBox ask(QMessageBox::Question, QStringLiteral("Make it a channel folder?"),
                    QStringLiteral("%1 is not a channel folder: it has no homepage.\n\nMake it one? Clipnest then "
                                   "writes AppDocs.txt there, and homepage.html with the first entry.")
                        .arg(QDir::toNativeSeparators(QString::fromStdString(folder.string()))),
                    QMessageBox::Yes | QMessageBox::No, parent);
    ask.setObjectName(QStringLiteral("dlgMakeChannel"));
    ask.setDefaultButton(QMessageBox::No);
    ask.button(QMessageBox::Yes)->setText(QStringLiteral("Make it a channel folder"));
    ask.button(QMessageBox::No)->setText(QStringLiteral("Choose another"));
    return ask.exec() == QMessageBox::Yes;
}

std::optional<std::filesystem::path> chooseFolderToWorkIn(QWidget* parent, QSettings& settings) {
    for (;;) {
        const std::optional<std::filesystem::path> chosen = chooseChannelFolder(parent, settings);
        if (!chosen || mayMakeChannel(parent, *chosen)) {
            return chosen;
        }
    }
}

bool hasChannelFolder(QSettings& settings) {
    return !settings.value(QLatin1String(LastFolderKey)).toString().isEmpty();
}

std::filesystem::path demoChannelFolder() {
    const QString home = QDir::homePath();
    if (home.isEmpty() || home == QLatin1String("/")) {
        return {};
    }
    const std::filesystem::path base = std::filesystem::path(home.toStdString()) / "Clipnest demo channel";
    std::error_code ec;
    std::filesystem::path folder = base;
    for (int n = 2; std::filesystem::exists(folder, ec) && n < 100; ++n) {
        folder = base.string() + " " + std::to_string(n);
    }
    return std::filesystem::exists(folder, ec) ? std::filesystem::path() : folder;
}

void rememberChannelFolder(QSettings& settings, const std::filesystem::path& folder) {
    settings.setValue(QLatin1String(LastFolderKey), QString::fromStdString(folder.string()));
}

} // namespace clipnest::window
