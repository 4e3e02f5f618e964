#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

#include "tests/support/files.h"
#include "tests/support/module_host.h"

namespace testhost {

const char kLineEnd[] = "\r\n";
const char kDriverPathSeparator = '\\';

namespace {
int saved_stdout = -1;
std::string capture_file;
}  // namespace

// The driver and this program share one C run-time (msvcrt.dll), so moving
// its stdout descriptor catches what the driver prints too.
void StartStdoutCapture(const std::string& file) {
    std::fflush(stdout);
    capture_file = file;
    saved_stdout = _dup(_fileno(stdout));
    const int fd =
        _open(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    _dup2(fd, _fileno(stdout));
    _close(fd);
}

std::string StopStdoutCapture() {
    std::fflush(stdout);
    _dup2(saved_stdout, _fileno(stdout));
    _close(saved_stdout);
    return ReadFile(capture_file);
}

}  // namespace testhost
