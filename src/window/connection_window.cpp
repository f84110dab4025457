#include "window/connection_window.h"

#include "publish/connection_check.h"
#include "window/publish_dialog.h"

#include <utility>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace clipnest::window {

namespace {

const QString Up = QStringLiteral("..");

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

std::string withFolder(const std::string& address, const std::string& folder) {
    const std::size_t scheme = address.find("://");
    if (scheme == std::string::npos) {
        return address;
    }
    const std::size_t path = address.find('/', scheme + 3);
    return address.substr(0, path) + "/" + folder + (folder.empty() ? "" : "/");
}

ConnectionWindow::ConnectionWindow(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("wndConnection"));
    setWindowTitle(QStringLiteral("Connection"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    why_ = new QLabel(this);
    why_->setObjectName(QStringLiteral("lblConnectionWhy"));
    why_->setWordWrap(true);
    why_->setTextFormat(Qt::PlainText); // server and settings words are never markup
    paintTone(why_, Tone::Note);
    why_->hide();
    layout->addWidget(why_);
    layout->addLayout(fields());

    report_ = new QLabel(this);
    report_->setObjectName(QStringLiteral("lblConnectionReport"));
    report_->setWordWrap(true);
    report_->setTextFormat(Qt::PlainText); // server and settings words are never markup
    report_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    report_->hide();
    layout->addWidget(report_);
    layout->addLayout(buttons());
    resize(620, sizeHint().height());
    connect(to_, &QLineEdit::textChanged, this, [this](const QString& text) { fitToAddress(text); });
}

QFormLayout* ConnectionWindow::fields() {
    auto* form = new QFormLayout;
    const auto line = [&](const char* name, const char* label, const char* tip) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(QString::fromUtf8(tip));
        form->addRow(QString::fromUtf8(label), box);
        return box;
    };
    to_ = line("txtPublishTo",
               "Publish address:", "Where the channel's files go: sftp://user@host/folder or ftps://user@host/folder");
    auto* toRow = new QHBoxLayout;
    auto* hint = new QLabel(QStringLiteral("The folder is read inside the login folder, as in "
                                           "sftp://bob@example.net/public_html; // starts from the server's root, "
                                           "as in sftp://bob@example.net//var/www/garden."),
                            this);
    hint->setObjectName(QStringLiteral("lblAddressHint"));
    hint->setWordWrap(true);
    toRow->addWidget(hint, 1);
    auto* choose = new QPushButton(QStringLiteral("Choose\u2026"), this);
    choose->setObjectName(QStringLiteral("cmdChooseFolder"));
    choose->setToolTip(QStringLiteral("Lists the server's folders from the login folder down"));
    connect(choose, &QPushButton::clicked, this, [this] { chooseFolder(); });
    toRow->addWidget(choose);
    form->addRow(QString(), toRow);
    site_ = line("txtConnectionSite", "Channel's address:",
                 "Where visitors find the channel's folder on the web, as in https://example.net/garden/");
    connections_ = new QSpinBox(this);
    connections_->setObjectName(QStringLiteral("spnConnections"));
    connections_->setRange(0, 8);
    connections_->setSpecialValueText(QStringLiteral("%1 (the default)").arg(publish::DefaultConnections));
    connections_->setToolTip(QStringLiteral("Uploads side by side, 1 to 8"));
    form->addRow(QStringLiteral("Connections:"), connections_);
    key_ =
        line("txtKey", "SSH key:", "SFTP: the private key; empty for the first of ~/.ssh/id_ed25519, id_ecdsa, id_rsa");
    knownHosts_ =
        line("txtKnownHosts", "Known hosts:", "SFTP: the file of known host keys; empty for ~/.ssh/known_hosts");
    cacert_ =
        line("txtCacert",
             "FTPS certificate authority:", "FTPS: the certificate authority of a host that signs its own certificate");
    insecure_ = new QCheckBox(QStringLiteral("Plain FTP allowed (passwords and files travel unencrypted)"), this);
    insecure_->setObjectName(QStringLiteral("chkInsecure"));
    form->addRow(QString(), insecure_);
    return form;
}

QHBoxLayout* ConnectionWindow::buttons() {
    auto* buttons = new QHBoxLayout;
    test_ = new QPushButton(QStringLiteral("Test connection"), this);
    test_->setObjectName(QStringLiteral("cmdTestConnection"));
    test_->setToolTip(QStringLiteral("Logs in with the values above and tells whether the folder can be written"));
    buttons->addWidget(test_);
    buttons->addStretch();
    auto* saveButton = new QPushButton(QStringLiteral("Save"), this);
    saveButton->setObjectName(QStringLiteral("cmdSaveConnection"));
    saveButton->setDefault(true);
    buttons->addWidget(saveButton);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdCloseConnection"));
    buttons->addWidget(close);
    connect(test_, &QPushButton::clicked, this, [this] { testConnection(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(close, &QPushButton::clicked, this, [this] { hide(); });
    return buttons;
}

// Each kind of address has its own settings: the key and known hosts are SFTP's, the certificate authority FTPS's,
// and only ftp:// may be plain.
void ConnectionWindow::fitToAddress(const QString& text) {
    const QString address = text.trimmed();
    const bool sftp = address.startsWith(QLatin1String("sftp://"));
    const bool ftp = address.startsWith(QLatin1String("ftp://"));
    const bool ftps = address.startsWith(QLatin1String("ftps://"));
    const bool known = sftp || ftp || ftps;
    key_->setEnabled(sftp || !known);
    knownHosts_->setEnabled(sftp || !known);
    cacert_->setEnabled(ftps || ftp || !known);
    insecure_->setEnabled(ftp || !known);
}

ConnectionWindow::~ConnectionWindow() {
    *alive_ = false;
    *cancel_ = true;
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

template <class T>
void ConnectionWindow::beside(std::function<T()> work, std::function<void(T)> done) {
    workers_.emplace_back([this, alive = alive_, work = std::move(work), done = std::move(done)] {
        T result = work();
        // The window waits for this thread before it goes, so it is there to post to.
        QMetaObject::invokeMethod(this, [alive, result = std::move(result), done] {
            if (*alive) {
                done(result);
            }
        });
    });
}

void ConnectionWindow::open(const std::filesystem::path& folder, const QString& reason) {
    why_->setText(reason);
    why_->setVisible(!reason.isEmpty());
    // Open already on this channel: what is being typed stays.
    if (isVisible() && folder == folder_) {
        raise();
        activateWindow();
        return;
    }
    folder_ = folder;
    report_->hide();
    const Result<publish::Settings> loaded = publish::loadSettings(folder);
    if (loaded) {
        kept_ = *loaded;
        showSettings(*loaded);
    } else {
        kept_.reset();
        showSettings({});
        say(shown(why(loaded)) + QStringLiteral("; mend or remove the file, then open this window again."),
            Tone::Error);
    }
    if (!isVisible() && parentWidget()) {
        move(parentWidget()->frameGeometry().topLeft() + QPoint(60, 60));
    }
    show();
    raise();
    activateWindow();
}

void ConnectionWindow::showSettings(const publish::Settings& s) {
    to_->setText(fromUtf8(s.to));
    site_->setText(fromUtf8(s.site));
    connections_->setValue(s.connections);
    key_->setText(fromUtf8(s.key));
    knownHosts_->setText(fromUtf8(s.knownHosts));
    cacert_->setText(fromUtf8(s.cacert));
    insecure_->setChecked(s.insecure);
}

publish::Settings ConnectionWindow::edited() const {
    publish::Settings s = kept_.value_or(publish::Settings{});
    s.to = to_->text().trimmed().toStdString();
    s.site = completedSite(site_->text());
    s.connections = connections_->value();
    s.key = key_->text().trimmed().toStdString();
    s.knownHosts = knownHosts_->text().trimmed().toStdString();
    s.cacert = cacert_->text().trimmed().toStdString();
    s.insecure = insecure_->isChecked();
    return s;
}

void ConnectionWindow::say(const QString& text, Tone tone) {
    report_->setText(text);
    paintTone(report_, tone);
    report_->setVisible(!text.isEmpty());
}

bool ConnectionWindow::save() {
    if (!kept_) {
        say(QStringLiteral("Nothing was saved: ") + publish::SettingsFile +
                QStringLiteral(" cannot be read, and saving would lose what it holds."),
            Tone::Error);
        return false;
    }
    const publish::Settings s = edited();
    if (!s.to.empty()) {
        if (const Result<publish::Target> target = publish::parseTarget(s.to); !target) {
            say(QStringLiteral("The publish address is refused: ") + shown(why(target)) + QLatin1Char('.'),
                Tone::Error);
            to_->setFocus();
            return false;
        }
    }
    if (!s.site.empty()) {
        if (const std::optional<std::string> refusal = publish::siteRefusal(s.site)) {
            say(QStringLiteral("The channel's address is refused: ") + shown(*refusal) + QLatin1Char('.'), Tone::Error);
            site_->setFocus();
            return false;
        }
    }
    if (!publish::saveSettings(folder_, s)) {
        say(QStringLiteral("The settings could not be kept in ") + publish::SettingsFile + QLatin1Char('.'),
            Tone::Error);
        return false;
    }
    const bool siteChanged = s.site != kept_->site;
    // What was kept, read back: a setting that does not apply to the address's kind is not.
    const Result<publish::Settings> reread = publish::loadSettings(folder_);
    kept_ = reread ? *reread : s;
    showSettings(*kept_);
    say(QStringLiteral("Saved in ") + publish::SettingsFile + QLatin1Char('.'), Tone::Success);
    if (onSaved) {
        onSaved(siteChanged);
    }
    return true;
}

void ConnectionWindow::testConnection() {
    const publish::Settings s = edited();
    if (s.to.empty()) {
        say(QStringLiteral("Give the publish address first, as in sftp://bob@example.net/public_html."), Tone::Error);
        to_->setFocus();
        return;
    }
    test_->setEnabled(false);
    say(QStringLiteral("Testing the connection to %1\u2026").arg(shown(s.to)), Tone::Note);
    beside<publish::ConnectionReport>(
        [s, cancel = cancel_] { return publish::checkConnection(s, cancel.get()); },
        [this](const publish::ConnectionReport& report) {
            test_->setEnabled(true);
            // The report names what the login folder holds when the folder is missing.
            const QString text = shown(report.text);
            say(text, report.outcome == publish::ConnectionReport::Outcome::Writable ? Tone::Success : Tone::Error);
        });
}

void ConnectionWindow::chooseFolder() {
    if (to_->text().trimmed().isEmpty()) {
        say(QStringLiteral("Give the publish address's user and host first, as in sftp://bob@example.net/."),
            Tone::Error);
        to_->setFocus();
        return;
    }
    if (!folders_) {
        folders_ = new QDialog(this);
        folders_->setObjectName(QStringLiteral("dlgRemoteFolders"));
        folders_->setWindowTitle(QStringLiteral("The server's folders"));
        auto* layout = new QVBoxLayout(folders_);
        foldersPath_ = new QLabel(folders_);
        foldersPath_->setObjectName(QStringLiteral("lblRemoteFolder"));
        foldersPath_->setWordWrap(true);
        foldersPath_->setTextFormat(Qt::PlainText); // server and settings words are never markup
        layout->addWidget(foldersPath_);
        folderList_ = new QListWidget(folders_);
        folderList_->setObjectName(QStringLiteral("lstRemoteFolders"));
        layout->addWidget(folderList_);
        auto* buttons = new QDialogButtonBox(folders_);
        QPushButton* use = buttons->addButton(QStringLiteral("Use this folder"), QDialogButtonBox::AcceptRole);
        use->setObjectName(QStringLiteral("cmdUseFolder"));
        buttons->addButton(QDialogButtonBox::Cancel);
        layout->addWidget(buttons);
        folders_->resize(420, 360);
        connect(buttons, &QDialogButtonBox::rejected, folders_, &QDialog::reject);
        connect(buttons, &QDialogButtonBox::accepted, folders_, [this] {
            to_->setText(fromUtf8(withFolder(to_->text().trimmed().toStdString(), listedPath_)));
            folders_->accept();
        });
        connect(folderList_, &QListWidget::itemActivated, folders_, [this](QListWidgetItem* item) {
            if (item->text() == Up) {
                const std::size_t slash = listedPath_.rfind('/');
                listFolder(slash == std::string::npos ? std::string() : listedPath_.substr(0, slash));
            } else {
                const std::string name = item->text().toStdString();
                listFolder(listedPath_.empty() ? name : listedPath_ + "/" + name);
            }
        });
    }
    listFolder({});
    folders_->show();
    folders_->raise();
}

void ConnectionWindow::listFolder(const std::string& path) {
    listedPath_ = path;
    const QString shown = path.empty() ? QStringLiteral("the login folder") : window::shown(path);
    foldersPath_->setText(QStringLiteral("Listing %1\u2026").arg(shown));
    folderList_->clear();
    folderList_->setEnabled(false);
    beside<Result<std::vector<std::string>>>(
        [s = edited(), path] { return publish::listFolders(s, path); },
        [this, path, shown](const Result<std::vector<std::string>>& folders) {
            // A listing of a folder left since is no longer asked for.
            if (path != listedPath_) {
                return;
            }
            folderList_->setEnabled(true);
            if (!folders) {
                foldersPath_->setText(
                    QStringLiteral("%1 could not be listed: %2").arg(shown, window::shown(why(folders))));
                return;
            }
            foldersPath_->setText(QStringLiteral("In %1 (double-click a folder to open it):").arg(shown));
            if (!path.empty()) {
                folderList_->addItem(Up);
            }
            for (const std::string& name : *folders) {
                folderList_->addItem(fromUtf8(name));
            }
        });
}

} // namespace clipnest::window
