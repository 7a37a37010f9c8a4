#include "testsupport/ChildProcess.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& cwd) {
    std::vector<std::string> words = argv;
    std::vector<char*> pointers;
    for (std::string& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ != 0) return;
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(outputs_.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(outputs_.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || (!cwd.empty() && ::chdir(cwd.c_str()) < 0)) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    // The test runner may block signals; the program gets a clean mask.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execvp(pointers[0], pointers.data());
    ::_exit(127);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void ChildProcess::signal(int number) const {
    if (pid_ > 0 && !reaped_) ::kill(pid_, number);
}

int ChildProcess::wait(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    if (reaped_) return exit_code_;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        rusage usage{};
        pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
        if (done == pid_) {
            reaped_ = true;
            peak_kib_ = usage.ru_maxrss;
            exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exit_code_;
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string ChildProcess::out() const { return read_file(outputs_.file("out")); }
std::string ChildProcess::err() const { return read_file(outputs_.file("err")); }
