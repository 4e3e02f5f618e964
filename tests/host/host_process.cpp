#include "tests/host/host_process.h"

#include "tests/support/driver_session.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace testhost {

std::string HostProgram() { return LUMIVANE_HOST_PROGRAM; }
std::string FakeModule(const char* variant) {
    return std::string(LUMIVANE_FAKE_MODULE_DIR) + "/fake_" + variant + LUMIVANE_FAKE_MODULE_SUFFIX;
}

HostRun::HostRun() : root_(MakeScenarioRoot()), work_dir_(root_ / "work") {
    fs::create_directory(work_dir_);
}

HostRun::~HostRun() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

int HostRun::Run(const std::vector<std::string>& arguments, const std::string& input) {
    return RunProgram(HostProgram(), arguments, input);
}

int HostRun::RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& input) {
    WriteFile(root_ / "stdin", input);
    const int status = RunProcess(program, arguments, work_dir_, root_ / "stdin", root_ / "stdout",
                                  root_ / "stderr");
    out = ReadFile(root_ / "stdout");
    err = ReadFile(root_ / "stderr");
    return status;
}

std::string HostRun::Read(const std::string& relative) const {
    return ReadFile(work_dir_ / relative);
}

void HostRun::Put(const std::string& relative, const std::string& bytes) const {
    WriteFile(work_dir_ / relative, bytes);
}

bool HostRun::Exists(const std::string& relative) const { return fs::exists(work_dir_ / relative); }

std::string PathLines(const fs::path& work_dir, const std::string& base_name) {
    return Lines("page: " + (work_dir / "logs" / "index.htm").string() + "\n" +
                 "log: " + (work_dir / "logs" / (base_name + ".log")).string() + "\n");
}

}  // namespace testhost
