#pragma once

#include "publish/settings.h"
#include "window/widgets.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QDialog>

class QCheckBox;
class QFormLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace clipnest::window {

// The address with its folder replaced by `folder` (a path inside the login folder, "" for the login folder itself).
std::string withFolder(const std::string& address, const std::string& folder);

// How the channel reaches its server, in a window of its own: the publish address, the channel's own address,
// the connections, the SSH key and known hosts, FTPS's certificate authority. Test connection tries the values as they
// stand in the boxes; Choose… lists the server's folders from the login folder down; Save keeps them in
// .clipnest/publish.conf. The tests and listings run beside the window, which goes on.
class ConnectionWindow final : public QDialog {
public:
    explicit ConnectionWindow(QWidget* owner);
    // Waits for a test or listing under way (a test is asked to stop first).
    ~ConnectionWindow() override;

    // Shows the settings of `folder` as kept, with `reason` (what sent the host here, if anything) above them.
    void open(const std::filesystem::path& folder, const QString& reason = {});
    // After a save that kept the settings: whether the channel's own address changed.
    std::function<void(bool siteChanged)> onSaved;

    // Keeps what the boxes hold; false (and the reason in the window) when a value is refused or nothing could be
    // written.
    bool save();
    void testConnection();
    void chooseFolder();

private:
    // The kept settings with the boxes' values in their place.
    publish::Settings edited() const;
    // The window's fields and its row of buttons, made and connected.
    QFormLayout* fields();
    QHBoxLayout* buttons();
    // Enables the settings that apply to the kind of address typed.
    void fitToAddress(const QString& text);
    void showSettings(const publish::Settings& settings);
    void listFolder(const std::string& path);
    void say(const QString& text, Tone tone);
    // Runs `work` on a thread of its own and hands its result to `done` on the window's thread, unless the window is
    // gone by then.
    template <class T>
    void beside(std::function<T()> work, std::function<void(T)> done);

    std::filesystem::path folder_;
    // Nothing when the settings file cannot be read: then nothing is saved over it.
    std::optional<publish::Settings> kept_;
    QLabel* why_ = nullptr;
    QLineEdit* to_ = nullptr;
    QLineEdit* site_ = nullptr;
    QSpinBox* connections_ = nullptr;
    QLineEdit* key_ = nullptr;
    QLineEdit* knownHosts_ = nullptr;
    QLineEdit* cacert_ = nullptr;
    QCheckBox* insecure_ = nullptr;
    QPushButton* test_ = nullptr;
    QLabel* report_ = nullptr;
    QDialog* folders_ = nullptr;
    QLabel* foldersPath_ = nullptr;
    QListWidget* folderList_ = nullptr;
    std::string listedPath_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
    std::vector<std::thread> workers_;
};

} // namespace clipnest::window
