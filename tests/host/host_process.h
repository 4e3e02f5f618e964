// Runs lumivane-host as a child process, as a user runs it: in a fresh,
// empty working directory, with chosen arguments and standard input.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/module_host.h"

namespace testhost {

// Paths of what the build made, as the host process is to be given them.
std::string HostProgram();                    // lumivane-host
std::string FakeModule(const char* variant);  // "recording", "failing_write", "incomplete"

class HostRun {
public:
    HostRun();  // a fresh working directory
    ~HostRun();
    HostRun(const HostRun&) = delete;
    HostRun& operator=(const HostRun&) = delete;

    // Runs the host with `arguments` and `input` on standard input; fills
    // out and err and returns the exit status.
    int Run(const std::vector<std::string>& arguments, const std::string& input = "");
    int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& input = "");

    std::string out;
    std::string err;

    const std::filesystem::path& work_dir() const { return work_dir_; }
    const std::filesystem::path& root() const { return root_; }
    std::string Read(const std::string& relative) const;  // "" when missing
    void Put(const std::string& relative, const std::string& bytes) const;
    bool Exists(const std::string& relative) const;

private:
    std::filesystem::path root_;
    std::filesystem::path work_dir_;
};

// The lines "page: ..." and "log: ..." the host ends a good run with, for a
// working directory and a module base name.
std::string PathLines(const std::filesystem::path& work_dir, const std::string& base_name);

}  // namespace testhost
