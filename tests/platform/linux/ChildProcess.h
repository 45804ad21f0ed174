// Runs part of a test in a child process: so that an operation that might
// block for ever (an open of a FIFO) is seen as a hang and stopped, instead
// of stalling the test run, and so that file permissions apply when the
// tests run as root (the child then becomes the user "nobody").
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <grp.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace childtest {

struct Options {
    // When the tests run as root: this folder and everything in it is given
    // to "nobody", whom the child becomes before it runs the body.
    std::string unprivilegedIn;
    // A child still running after this long is taken to hang and killed.
    // This is no speed limit: the operations under test take milliseconds.
    std::chrono::seconds hangAfter{20};
};

constexpr uid_t kNobody = 65534;

// Runs `body` in a child; its result is the child's exit code, 0 for
// success (the body says what failed on stderr). Returns "" when the body
// succeeded, else what went wrong.
inline std::string run(const std::function<int()>& body, const Options& options = {})
{
    const bool dropRoot = !options.unprivilegedIn.empty() && ::geteuid() == 0;
    if (dropRoot) {
        namespace fs = std::filesystem;
        bool given = ::chown(options.unprivilegedIn.c_str(), kNobody, kNobody) == 0;
        for (const auto& entry : fs::recursive_directory_iterator(options.unprivilegedIn))
            given = ::lchown(entry.path().c_str(), kNobody, kNobody) == 0 && given;
        if (!given)
            return "could not give the folder to nobody";
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        if (dropRoot && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(120);
        const int rc = body();
        std::fflush(nullptr);
        ::_exit(rc);
    }
    const auto deadline = std::chrono::steady_clock::now() + options.hangAfter;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0)
            return "waitpid failed";
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return "hung: killed after " + std::to_string(options.hangAfter.count()) + " s";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFSIGNALED(status))
        return "killed by signal " + std::to_string(WTERMSIG(status));
    if (WEXITSTATUS(status) == 120)
        return "could not become nobody";
    return WEXITSTATUS(status) == 0 ? "" : "failed with exit code " + std::to_string(WEXITSTATUS(status));
}

// For bodies: reports a failed condition on stderr and counts it.
#define CHILD_CHECK(failures, cond)                                                                                  \
    do {                                                                                                             \
        if (!(cond)) {                                                                                               \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond);                                          \
            ++(failures);                                                                                            \
        }                                                                                                            \
    } while (0)

} // namespace childtest
