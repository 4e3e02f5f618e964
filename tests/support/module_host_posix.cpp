#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "tests/support/files.h"
#include "tests/support/module_host.h"

namespace testhost {

const char kLineEnd[] = "\n";
const char kDriverPathSeparator = '/';

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

}  // namespace testhost
