#pragma once
// Test helpers: the built program run as a user runs it (its own process, standard output and
// error apart, exit code, a time limit after which it is killed), and a command run in this process.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace sitedex::testing {

struct ProgramRun {
    int code = -1;           // exit code; -1 when killed or ended by a signal
    bool timedOut = false;
    double seconds = 0;
    std::string out, err;
};

// Runs the built program with args (no shell), killing it after `limitSeconds`.
inline ProgramRun runProgram(const std::vector<std::string>& args, double limitSeconds = 60) {
    ProgramRun r;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return r;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        std::vector<std::string> all{SITEDEX_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    auto deadline = start + std::chrono::duration<double>(limitSeconds);
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            r.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, int(left.count())) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, size_t(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Runs `sitedex ARGS...` in this process (cli::run) with standard output and error captured.
inline ProgramRun runInProcess(std::vector<std::string> args) {
    args.insert(args.begin(), "sitedex");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::fflush(stdout);
    std::fflush(stderr);
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    int savedOut = ::dup(1), savedErr = ::dup(2);
    ::dup2(::fileno(out), 1);
    ::dup2(::fileno(err), 2);
    ProgramRun r;
    auto start = std::chrono::steady_clock::now();
    r.code = cli::run(int(argv.size()), argv.data());
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    for (auto [file, text] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
        std::rewind(file);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) text->append(buf, n);
        std::fclose(file);
    }
    return r;
}

}  // namespace sitedex::testing
