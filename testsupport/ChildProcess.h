// A program run by a test: started without a shell, its standard output and
// standard error kept in files, waited for with a bound, killed when the test
// ends early. The peak memory it used is read when it is reaped.
#pragma once

#include "testsupport/TempDir.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    // Starts argv[0] (a path, or a name looked up in PATH) with argv in
    // directory cwd (empty: the test's own).
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& cwd = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int number) const;
    // The exit code (128 + signal number when killed), or -1 when the
    // program still runs after limit (it keeps running).
    int wait(std::chrono::milliseconds limit = std::chrono::minutes(2));

    std::string out() const;
    std::string err() const;
    // Peak resident memory in KiB, known once the program was reaped.
    long peak_kib() const { return peak_kib_; }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int exit_code_ = -1;
    long peak_kib_ = 0;
    TempDir outputs_{"child"}; // "out" and "err"
};
