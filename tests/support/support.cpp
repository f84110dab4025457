#include "support/support.h"

#include "text/entries.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace clipnest::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string name = (fs::temp_directory_path() / "clipnest-test-XXXXXX").string();
    path_ = ::mkdtemp(name.data());
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

Files filesOf(const fs::path& dir) {
    Files files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files[entry.path().filename().string()] = readFile(entry.path());
        }
    }
    return files;
}

std::string expected(const std::string& name) {
    const std::string bytes = readFile(fs::path(CLIPNEST_EXPECTED_DIR) / name);
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

namespace {
// A wait status as a shell reports it: the exit status, or 128 + the signal that ended the process.
int exitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
} // namespace

std::string shell(const std::string& command, int* rc) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[8192];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    if (rc) {
        *rc = exitStatus(status);
    }
    return out;
}

std::string quoted(const std::string& text) {
    std::string word = "'";
    for (const char c : text) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}

Process::Process(const std::vector<std::string>& argv, const fs::path& log) {
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(out, 1);
        ::dup2(out, 2);
        std::vector<char*> args;
        for (const std::string& word : argv) {
            args.push_back(const_cast<char*>(word.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::setpgid(pid_, pid_);
}

int Process::stop(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    int status = 0;
    ::kill(pid_, signal);
    ::waitpid(pid_, &status, 0);
    ::kill(-pid_, SIGKILL);
    pid_ = -1;
    return exitStatus(status);
}

void Process::killChildren() {
    if (pid_ > 0) {
        shell("pkill -KILL -P " + std::to_string(pid_));
    }
}

int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(s);
    return ntohs(a.sin_port);
}

bool answersSoon(int port) {
    const std::string probe = "(: < /dev/tcp/127.0.0.1/" + std::to_string(port) + ") 2> /dev/null && exit";
    return std::system(("bash -c 'for i in $(seq 250); do " + probe + "; sleep 0.02; done; exit 1'").c_str()) == 0;
}

bool onPath(const std::string& programs) {
    return std::system(("for p in " + programs + "; do command -v $p; done > /dev/null 2>&1").c_str()) == 0;
}

namespace {

const fs::path ApacheProgram = "/usr/sbin/apache2";
const fs::path ApacheModules = "/usr/lib/apache2/modules";

// The PHP module Debian installs ("libphp8.2.so"), empty without one.
fs::path phpModule() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(ApacheModules, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("libphp") && name.ends_with(".so")) {
            return entry.path();
        }
    }
    return {};
}

} // namespace

bool ApacheServer::installed() {
    return fs::exists(ApacheProgram) && !phpModule().empty();
}

ApacheServer::ApacheServer(const fs::path& root, const std::string& more) {
    const std::string dir = dir_.path().string(), modules = ApacheModules.string();
    std::string conf = "ServerRoot \"" + dir +
                       "\"\n"
                       "ServerName 127.0.0.1\n"
                       "Listen 127.0.0.1:" +
                       std::to_string(port_) +
                       "\n"
                       "PidFile \"" +
                       dir +
                       "/httpd.pid\"\n"
                       "DefaultRuntimeDir \"" +
                       dir +
                       "\"\n"
                       "Mutex file:" +
                       dir +
                       " default\n"
                       "ErrorLog \"" +
                       dir +
                       "/error.log\"\n"
                       "LogLevel warn\n"
                       "LoadModule mpm_prefork_module " +
                       modules +
                       "/mod_mpm_prefork.so\n"
                       "LoadModule authz_core_module " +
                       modules +
                       "/mod_authz_core.so\n"
                       "LoadModule mime_module " +
                       modules +
                       "/mod_mime.so\n"
                       "LoadModule dir_module " +
                       modules +
                       "/mod_dir.so\n"
                       "LoadModule php_module " +
                       phpModule().string() +
                       "\n"
                       "StartServers 2\nMinSpareServers 1\nMaxSpareServers 4\n"
                       "TypesConfig /etc/mime.types\n"
                       "DocumentRoot \"" +
                       root.string() +
                       "\"\n"
                       "<Directory />\n    AllowOverride None\n    Require all denied\n</Directory>\n"
                       "<Directory \"" +
                       root.string() +
                       "\">\n    AllowOverride All\n    Require all granted\n"
                       "</Directory>\n"
                       "<Files \".ht*\">\n    Require all denied\n</Files>\n"
                       "<FilesMatch \"\\.php$\">\n    SetHandler application/x-httpd-php\n</FilesMatch>\n"
                       // Every diagnostic into the log, none into the pages.
                       "php_admin_value error_reporting -1\n"
                       "php_admin_flag display_errors off\n"
                       "php_admin_flag log_errors on\n"
                       // A page replaced is run as it is now, not as compiled up to two seconds before (a host's
                       // opcache may lag so; the tests look right after a publish).
                       "php_admin_value opcache.revalidate_freq 0\n" +
                       more;
    if (::geteuid() == 0) {
        // Apache will not run its workers as root; www-data must read the pages and write the comments.
        conf += "User www-data\nGroup www-data\n";
        fs::permissions(root, fs::perms::all);
    }
    writeFile(dir_.path() / "apache2.conf", conf);
    server_ = std::make_unique<Process>(
        std::vector<std::string>{ApacheProgram.string(), "-f", dir + "/apache2.conf", "-DFOREGROUND"},
        dir_.path() / "console.log");
    running_ = answersSoon(port_);
}

fs::path sshOf(const fs::path& home) {
    const fs::path program = home / "ssh";
    if (!fs::exists(program)) {
        fs::create_directories(home / ".ssh");
        writeFile(program, "#!/bin/sh\nexec ssh -F \"$HOME/.ssh/config\" \"$@\"\n");
        fs::permissions(program, fs::perms::owner_all);
        writeFile(home / ".ssh/config", "Host *\n  IdentityFile " + (home / ".ssh/id_ed25519").string() +
                                            "\n  IdentityFile " + (home / ".ssh/id_rsa").string() +
                                            "\n  UserKnownHostsFile " + (home / ".ssh/known_hosts").string() + "\n");
    }
    return program;
}

bool SshServer::available() {
    return fs::exists("/usr/sbin/sshd") && ::geteuid() == 0;
}

SshServer::SshServer() {
    fs::create_directories(home() / ".ssh");
    fs::create_directories(folder());
    fs::create_directories("/run/sshd");
    int rc = 0;
    shell("ssh-keygen -q -t ed25519 -N '' -f " + quoted(dir() / "host") + " && ssh-keygen -q -t ed25519 -N '' -f " +
              quoted(home() / ".ssh/id_ed25519"),
          &rc);
    EXPECT_EQ(rc, 0);
    writeFile(dir() / "authorized_keys", readFile(home() / ".ssh/id_ed25519.pub"));
    sshOf(home());
    // The port was free when it was picked; another test's server may take it before sshd binds it, so a port
    // found taken is given up for another.
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt > 0) {
            port_ = freePort();
        }
        writeFile(home() / ".ssh/known_hosts",
                  "[127.0.0.1]:" + std::to_string(port_) + " " + readFile(dir() / "host.pub"));
        writeFile(dir() / "sshd_config",
                  "Port " + std::to_string(port_) + "\nListenAddress 127.0.0.1\nHostKey " + (dir() / "host").string() +
                      "\nPidFile " + (dir() / "sshd.pid").string() + "\nAuthorizedKeysFile " +
                      (dir() / "authorized_keys").string() +
                      "\nPasswordAuthentication no\nKbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\n"
                      "PermitRootLogin prohibit-password\n");
        started = start();
        if (!started && log().find("Address already in use") == std::string::npos) {
            break;
        }
    }
    EXPECT_TRUE(started) << log();
}

bool SshServer::start(const std::string& sftp) {
    const std::size_t before = log().size();
    sshd_ = std::make_unique<Process>(std::vector<std::string>{"/usr/sbin/sshd", "-D", "-e", "-f",
                                                               (dir() / "sshd_config").string(), "-o",
                                                               "Subsystem=sftp " + sftp},
                                      dir() / "sshd.log");
    // Ours is up once it says it listens: a port another server took meanwhile would answer as well.
    for (int i = 0; i < 500; ++i) {
        const std::string said = log().substr(before);
        if (said.find("Server listening") != std::string::npos) {
            return answersSoon(port_);
        }
        if (said.find("Address already in use") != std::string::npos) {
            return false;
        }
        ::usleep(20000);
    }
    return false;
}

void SshServer::stop() {
    sshd_.reset();
}

void SshServer::killSessions() {
    if (sshd_) {
        sshd_->killChildren();
    }
}

std::string SshServer::address() const {
    return "sftp://root@127.0.0.1:" + std::to_string(port_) + "/" + folder().string() + "/";
}

bool FtpsServer::available() {
    return fs::exists("/usr/sbin/vsftpd") && ::geteuid() == 0;
}

FtpsServer::FtpsServer()
    : FtpsServer("ftp", "anonymous_enable=YES\nlocal_enable=NO\nanon_upload_enable=YES\n"
                        "anon_other_write_enable=YES\nanon_umask=022\nno_anon_password=YES\n"
                        "allow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                        "anon_root={root}") {
    writeFile(home / ".netrc", "machine 127.0.0.1 login anonymous password guest\n");
}

FtpsServer::FtpsServer(const std::string& owner, std::string logins) : owner(owner) {
    fs::create_directories(channel);
    fs::create_directories(home);
    fs::create_directories(dir.path() / "empty");
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    int rc = 0;
    shell("chown " + owner + " " + quoted(channel) + " && openssl req -x509 -newkey rsa:2048 -nodes -keyout " +
              quoted(dir.path() / "key.pem") + " -out " + quoted(cert()) +
              " -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 2>/dev/null",
          &rc);
    EXPECT_EQ(rc, 0);
    logins.replace(logins.find("{root}"), 6, root.string());
    const int passive = freePort();
    writeFile(dir.path() / "vsftpd.conf",
              "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port) +
                  "\nbackground=NO\nwrite_enable=YES\n" + logins + "\nssl_enable=YES\nrequire_ssl_reuse=NO\n" +
                  "rsa_cert_file=" + cert().string() + "\nrsa_private_key_file=" + (dir.path() / "key.pem").string() +
                  "\npasv_enable=YES\npasv_address=127.0.0.1\npasv_min_port=" + std::to_string(passive) +
                  "\npasv_max_port=" + std::to_string(passive) + "\nsecure_chroot_dir=" +
                  (dir.path() / "empty").string() + "\nseccomp_sandbox=NO\nxferlog_enable=NO\n");
    ftp = std::make_unique<Process>(std::vector<std::string>{"/usr/sbin/vsftpd", (dir.path() / "vsftpd.conf").string()},
                                    dir.path() / "log");
    EXPECT_TRUE(answersSoon(port)) << readFile(dir.path() / "log");
}

std::string FtpsServer::address() const {
    return "ftps://anonymous@127.0.0.1:" + std::to_string(port) + "/channel/";
}

std::optional<std::string> FaultyFolder::read(std::string_view name) const {
    if (unreadable == "*" || name == unreadable) {
        return std::nullopt;
    }
    std::optional<std::string> bytes = WorkingFolder::read(name);
    if (afterRead) {
        std::exchange(afterRead, nullptr)(name);
    }
    return bytes;
}

bool FaultyFolder::write(std::string_view name, std::string_view bytes) {
    if (++writes_ == failAt_) {
        failed = name;
        return false;
    }
    return WorkingFolder::write(name, bytes);
}

bool FaultyFolder::stage(std::string_view name, std::string_view staged, std::string_view bytes) {
    if (++writes_ == failAt_) {
        failed = name;
        return false;
    }
    return WorkingFolder::stage(name, staged, bytes);
}

bool FaultyFolder::linkFrom(const fs::path& source, std::string_view name) {
    if (failAt_ > writes_) {
        return false;
    }
    return WorkingFolder::linkFrom(source, name);
}

void useTestSecret(const fs::path& channel) {
    fs::create_directories(channel / ".clipnest");
    writeFile(channel / ".clipnest/comment-secret", TestSecret + "\n");
}

Harness::Harness(const Files& files, bool started) : folder_(dir_.path()) {
    useTestSecret(dir_.path());
    for (const auto& [name, bytes] : files) {
        put(name, bytes);
    }
    form_ = std::make_unique<Form>(clock_, folder_);
    if (started) {
        runChains();
    }
}

std::int64_t stepInterval(Step step) {
    for (const StepDef& def : schedule()) {
        if (def.step == step) {
            return def.intervalMs;
        }
    }
    ADD_FAILURE() << "no Step " << static_cast<int>(step) << " in the schedule";
    return 0;
}

void Harness::advance(std::int64_t ms) {
    const std::int64_t target = clock_.now + ms;
    runInVirtualTime(form_->scheduler(), clock_, target, [] { return true; });
    clock_.now = target;
}

std::int64_t Harness::advanceUntil(const std::function<bool()>& happened, std::int64_t limit) {
    std::int64_t passed = 0;
    while (!happened() && passed < limit) {
        advance(1);
        ++passed;
    }
    return passed;
}

void Harness::runChains() {
    runInVirtualTime(form_->scheduler(), clock_, clock_.now + 600000, [this] { return form_->chainRunning(); });
}

void Harness::runUntilIdle() {
    runInVirtualTime(form_->scheduler(), clock_, clock_.now + 600000, [] { return true; });
}

Names Harness::entries() const {
    Names names;
    for (const LiveEntry& e : liveEntries(file("homepage.html"))) {
        names.push_back(e.fileName);
    }
    return names;
}

void Harness::entry(const std::string& name, const std::string& homepage, const std::string& page, bool homepageOnly) {
    form_->controls.first = {name, homepage, page, homepageOnly};
    form_->createOrChangeEntry(EntryPanel::First);
    runChains();
}

void Harness::remove(const std::string& name) {
    form_->controls.first.name = name;
    form_->deleteEntry(EntryPanel::First);
    runChains();
}

void Harness::insert(const std::string& name, const std::string& above, const std::string& homepage,
                     const std::string& page) {
    form_->controls.insert = {name, homepage, page, above};
    form_->insertAboveEntry();
    runChains();
}

void Harness::title(const std::string& title, const std::string& message) {
    form_->controls.title = title;
    form_->controls.message = message;
    form_->setTitleAndMessage();
    runChains();
}

void Harness::rename(const std::string& from, const std::string& to, bool fileOnly) {
    form_->controls.renameFrom = from;
    form_->controls.renameTo = to;
    form_->controls.renameFileOnly = fileOnly;
    form_->writeRenamePage();
    runChains();
}

Files channel(const Names& names) {
    Harness h;
    for (const std::string& name : names) {
        h.entry(name, "About " + name);
    }
    Files files = filesOf(h.dir());
    std::erase_if(files, [](const auto& f) { return f.first.starts_with("."); });
    return files;
}

std::string homepageOf(const Names& names) {
    return channel(names).at("homepage.html");
}

std::string with(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

} // namespace clipnest::testing
