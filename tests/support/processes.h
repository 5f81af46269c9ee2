#pragma once
// Test helpers that run other programs: the built or installed sitedex, and the checkers of other
// projects (desktop-file-validate, appstreamcli, man, lintian, apt-get). A program runs with its
// arguments as given (no shell), its output and errors captured apart, with extra environment
// entries or some removed, and optionally in the background to be ended by a signal.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace sitedex::testing {

struct Finished {
    int code = -1;  // the exit code; -1 when ended by a signal or never started
    std::string out, err;
};

struct Environment {
    std::vector<std::string> set;    // NAME=VALUE
    std::vector<std::string> unset;  // NAME
};

namespace detail {

inline void childSide(const std::vector<std::string>& argv, const Environment& env, int out, int err,
                      const std::string& folder) {
    int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    for (const std::string& name : env.unset)
        ::unsetenv(name.c_str());
    for (const std::string& e : env.set) {
        size_t eq = e.find('=');
        ::setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    if (!folder.empty() && ::chdir(folder.c_str()) != 0)
        ::_exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

inline std::string readAll(int fd) {
    std::string s;
    char buf[8192];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        s.append(buf, size_t(n));
    return s;
}

inline std::string temporaryFile() {
    std::string t = (std::filesystem::temp_directory_path() / "sitedex-output-XXXXXX").string();
    int fd = ::mkstemp(t.data());
    if (fd >= 0)
        ::close(fd);
    return t;
}

}  // namespace detail

// Runs argv[0] (looked up in PATH when it has no slash) to its end.
inline Finished runProgram(const std::vector<std::string>& argv, const Environment& env = {},
                           const std::string& folder = "") {
    // Output goes to files, so that a program writing much to both streams cannot block.
    std::string outName = detail::temporaryFile(), errName = detail::temporaryFile();
    int out = ::open(outName.c_str(), O_RDWR), err = ::open(errName.c_str(), O_RDWR);
    pid_t pid = ::fork();
    if (pid == 0)
        detail::childSide(argv, env, out, err, folder);
    int status = 0;
    ::waitpid(pid, &status, 0);
    Finished f;
    f.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::lseek(out, 0, SEEK_SET);
    ::lseek(err, 0, SEEK_SET);
    f.out = detail::readAll(out);
    f.err = detail::readAll(err);
    ::close(out);
    ::close(err);
    std::filesystem::remove(outName);
    std::filesystem::remove(errName);
    return f;
}

// Whether a program of that name is in PATH.
inline bool haveProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return false;
}

// A program running in the background; ended (SIGKILL) when still running at destruction.
class Background {
public:
    Background(const std::vector<std::string>& argv, const Environment& env = {}) {
        m_outName = detail::temporaryFile();
        m_errName = detail::temporaryFile();
        int out = ::open(m_outName.c_str(), O_RDWR), err = ::open(m_errName.c_str(), O_RDWR);
        m_pid = ::fork();
        if (m_pid == 0)
            detail::childSide(argv, env, out, err, "");
        ::close(out);
        ::close(err);
    }
    ~Background() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        std::filesystem::remove(m_outName);
        std::filesystem::remove(m_errName);
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // True while the program runs.
    bool running() {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
            return true;
        m_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_pid = 0;
        return false;
    }

    // Sends sig and waits up to `limit` for the end; returns the finished program (code -1 when it
    // did not end in time, and it is then killed).
    Finished end(int sig, std::chrono::milliseconds limit) {
        if (m_pid > 0)
            ::kill(m_pid, sig);
        auto until = std::chrono::steady_clock::now() + limit;
        while (running() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Finished f;
        if (running()) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        } else {
            f.code = m_code;
        }
        f.out = readName(m_outName);
        f.err = readName(m_errName);
        return f;
    }

private:
    static std::string readName(const std::string& name) {
        int fd = ::open(name.c_str(), O_RDONLY);
        std::string s = fd >= 0 ? detail::readAll(fd) : "";
        if (fd >= 0)
            ::close(fd);
        return s;
    }

    pid_t m_pid = -1;
    int m_code = -1;
    std::string m_outName, m_errName;
};

// Waits up to `limit` for a file to appear.
inline bool waitForFile(const std::string& path, std::chrono::milliseconds limit) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (!std::filesystem::exists(path)) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace sitedex::testing
