// POSIX side of the tests' platform layer: the module's line ends and path
// separator, its names' POSIX column, inodes, standard output caught in a
// file, and a child process run with fork and exec.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "tests/support/files.h"
#include "tests/support/module_host.h"
#include "tests/support/module_names.h"

namespace testhost {

const char kLineEnd[] = "\n";
const char kDriverPathSeparator = '/';

const BaseName& OnThisOs(const ModuleFileName& name) { return name.posix; }

std::uint64_t FileIdentity(const std::filesystem::path& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_ino) : 0;
}

namespace {
int saved_stdout = -1;
std::string capture_file;
}  // namespace

void StartStdoutCapture(const std::string& file) {
    std::fflush(stdout);
    capture_file = file;
    saved_stdout = dup(STDOUT_FILENO);
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    close(fd);
}

std::string StopStdoutCapture() {
    std::fflush(stdout);
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    return ReadFile(capture_file);
}

// Points the standard streams at the files, changes directory, execs.
int RunProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& directory, const std::filesystem::path& input,
               const std::filesystem::path& output, const std::filesystem::path& errors) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        const int in = open(input.c_str(), O_RDONLY);
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
            dup2(err, 2) < 0 || chdir(directory.c_str()) != 0)
            _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testhost
