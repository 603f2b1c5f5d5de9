#include "e2e_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

extern char** environ;

std::string TestData(const std::string& rel) { return std::string(ZV_TEST_DATA_DIR) + "/" + rel; }

std::string TestDataFile(const std::string& rel)
{
    std::ifstream f(TestData(rel), std::ios::binary);
    EXPECT_TRUE(f.good()) << rel;
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string DataLine(const std::string& rel)
{
    std::istringstream lines(TestDataFile(rel));
    std::string hex;
    for (std::string line; std::getline(lines, line);) {
        hex += " " + line.substr(0, line.find('#'));
    }
    return "  data" + hex + "\n";
}

zvemu::Bytes LogSense(std::uint8_t byte2, unsigned alloc)
{
    zvemu::Bytes cdb = zvemu::Hex("4D 00 00 00 00 00 00 00 00 00");
    cdb[2] = byte2;
    cdb[7] = static_cast<std::uint8_t>(alloc >> 8);
    cdb[8] = static_cast<std::uint8_t>(alloc);
    return cdb;
}

void E2eTest::SetUp()
{
    char tmpl[] = "/tmp/zv_e2e_XXXXXX";
    char* d = mkdtemp(tmpl);
    ASSERT_NE(d, nullptr);
    dir_ = d;
}

void E2eTest::TearDown()
{
    if (!dir_.empty()) {
        std::string cmd = "rm -rf '" + dir_ + "'";
        int rc = system(cmd.c_str());
        (void)rc;
    }
}

bool E2eTest::Exists(const std::string& rel) const
{
    struct stat st;
    return stat(Path(rel).c_str(), &st) == 0;
}

bool E2eTest::IsDir(const std::string& rel) const
{
    struct stat st;
    return stat(Path(rel).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string E2eTest::ReadFile(const std::string& rel) const
{
    std::ifstream f(Path(rel), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void E2eTest::WriteFile(const std::string& rel, const std::string& data) const
{
    std::ofstream f(Path(rel), std::ios::binary);
    f << data;
}

void E2eTest::UseDrives(const std::vector<std::string>& fixtures, const std::string& override_text)
{
    std::string config;
    for (const std::string& f : fixtures) {
        config += (config.empty() ? "" : ":") + TestData(f);
    }
    if (!override_text.empty()) {
        WriteFile("override.txt", override_text);
        config += ":" + Path("override.txt");
    }
    env_["ZV_EMU_CONFIG"] = config;
}

std::vector<std::string> DirEntries(const std::string& dir)
{
    std::vector<std::string> found;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return found;
    }
    while (struct dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") {
            found.push_back(name);
        }
    }
    closedir(d);
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> E2eTest::FilesStartingWith(const std::string& prefix) const
{
    std::vector<std::string> found;
    for (const std::string& name : DirEntries(dir_)) {
        if (name.rfind(prefix, 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

std::vector<zvemu::Bytes> E2eTest::SentCdbs(const std::string& node, size_t skip) const
{
    std::vector<zvemu::TraceEntry> sent = zvemu::Only(zvemu::ParseTrace(ReadFile("trace.txt")), "sgio", node);
    std::vector<zvemu::Bytes> cdbs;
    for (size_t i = skip; i < sent.size(); i++) {
        cdbs.push_back(sent[i].cdb);
    }
    return cdbs;
}

namespace {

// deadline_ms: when above 0, the process group pid is killed once the pipes are still open
// that many milliseconds from now.
void ReadAll(int fd_out, int fd_err, const std::string& input, int fd_in, RunResult* r, pid_t pid, long deadline_ms)
{
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    bool killed = false;
    size_t written = 0;
    if (input.empty()) {
        close(fd_in);
        fd_in = -1;
    }
    char buf[65536];
    while (fd_out >= 0 || fd_err >= 0) {
        struct pollfd p[3];
        int n = 0;
        int io = -1, ie = -1, ii = -1;
        if (fd_out >= 0) { p[n] = {fd_out, POLLIN, 0}; io = n++; }
        if (fd_err >= 0) { p[n] = {fd_err, POLLIN, 0}; ie = n++; }
        if (fd_in >= 0) { p[n] = {fd_in, POLLOUT, 0}; ii = n++; }
        int wait_ms = 60000;
        if (deadline_ms > 0 && !killed) {
            struct timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            long spent = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
            wait_ms = spent >= deadline_ms ? 0 : static_cast<int>(deadline_ms - spent);
        }
        int ready = poll(p, n, wait_ms);
        if (ready == 0 && deadline_ms > 0 && !killed) {
            // Something the run started still holds the pipes: end it all.
            kill(-pid, SIGKILL);
            killed = true;
            continue;
        }
        if (ready <= 0) {
            break;
        }
        if (io >= 0 && p[io].revents) {
            ssize_t k = read(fd_out, buf, sizeof(buf));
            if (k <= 0) { close(fd_out); fd_out = -1; } else { r->out.append(buf, k); }
        }
        if (ie >= 0 && p[ie].revents) {
            ssize_t k = read(fd_err, buf, sizeof(buf));
            if (k <= 0) { close(fd_err); fd_err = -1; } else { r->err.append(buf, k); }
        }
        if (ii >= 0 && p[ii].revents) {
            ssize_t k = (p[ii].revents & POLLOUT) ? write(fd_in, input.data() + written, input.size() - written) : -1;
            if (k > 0) { written += k; }
            if (k <= 0 || written == input.size()) { close(fd_in); fd_in = -1; }
        }
    }
    if (fd_in >= 0) {
        close(fd_in);
    }
}

} // namespace

RunResult E2eTest::Run(const std::vector<std::string>& args, const std::string& input)
{
    RunResult r;
    int pin[2], pout[2], perr[2];
    if (pipe(pin) != 0 || pipe(pout) != 0 || pipe(perr) != 0) {
        ADD_FAILURE() << "pipe failed";
        return r;
    }
    int master = -1;
    std::string typed = input;
    if (on_terminal_) {
        int slave = -1;
        struct termios mode;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || tcgetattr(slave, &mode) != 0) {
            ADD_FAILURE() << "openpty failed";
            return r;
        }
        mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(slave, TCSANOW, &mode);
        // The terminal stands where the pipe's ends were; the master stays open until the run
        // ends, so nothing typed is lost to a hang-up.
        dup2(slave, pin[0]);
        dup2(master, pin[1]);
        close(slave);
        typed += static_cast<char>(mode.c_cc[VEOF]);
    }
    std::vector<std::string> envs;
    for (char** e = environ; *e != nullptr; e++) {
        if (strncmp(*e, "LD_PRELOAD=", 11) != 0 && strncmp(*e, "ZV_EMU_", 7) != 0 &&
            strncmp(*e, "ASAN_OPTIONS=", 13) != 0) {
            envs.push_back(*e);
        }
    }
    std::string preload = ZV_EMU_LIB;
    for (const std::string& lib : preload_) {
        preload += ":" + lib;
    }
    envs.push_back("LD_PRELOAD=" + preload);
    envs.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0:halt_on_error=1");
    for (const auto& kv : env_) {
        envs.push_back(kv.first + "=" + kv.second);
    }
    std::vector<char*> envp;
    for (auto& s : envs) {
        envp.push_back(&s[0]);
    }
    envp.push_back(nullptr);
    std::vector<std::string> argstore;
    argstore.push_back("zembrovant");
    argstore.insert(argstore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argstore) {
        argv.push_back(&s[0]);
    }
    argv.push_back(nullptr);

    signal(SIGPIPE, SIG_IGN);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pin[0], 0);
        dup2(pout[1], 1);
        dup2(perr[1], 2);
        close(pin[0]); close(pin[1]); close(pout[0]); close(pout[1]); close(perr[0]); close(perr[1]);
        if (master >= 0) {
            close(master);
        }
        if (chdir(dir_.c_str()) != 0) {
            _exit(127);
        }
        // Its own process group, so that everything it starts can be ended with it.
        setpgid(0, 0);
        if (file_size_limit_ >= 0) {
            struct rlimit lim;
            getrlimit(RLIMIT_FSIZE, &lim);
            lim.rlim_cur = static_cast<rlim_t>(file_size_limit_);
            setrlimit(RLIMIT_FSIZE, &lim);
            // Ignored dispositions survive execve.
            signal(SIGXFSZ, SIG_IGN);
        }
        // A pending alarm survives execve.
        if (time_limit_ > 0) {
            alarm(time_limit_);
        }
        execve(ZV_BINARY, argv.data(), envp.data());
        _exit(127);
    }
    close(pin[0]);
    close(pout[1]);
    close(perr[1]);
    ReadAll(pout[0], perr[0], typed, pin[1], &r, pid, time_limit_ > 0 ? time_limit_ * 1000L + 2000 : 0);
    int st = 0;
    waitpid(pid, &st, 0);
    if (master >= 0) {
        close(master);
    }
    if (WIFEXITED(st)) {
        r.status = WEXITSTATUS(st);
    } else if (WIFSIGNALED(st)) {
        r.signal = WTERMSIG(st);
    }
    return r;
}
