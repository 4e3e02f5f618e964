#include "tests/support/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testhost {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void AppendFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

std::vector<std::string> Listing(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::set<std::string> FilesBelow(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        files.insert(entry.path().lexically_relative(root).generic_string());
    return files;
}

int FopenError(const fs::path& path) {
    errno = 0;
    std::FILE* file = std::fopen(path.string().c_str(), "w");
    const int error = errno;
    if (file == nullptr) return error;
    std::fclose(file);
    return 0;
}

}  // namespace testhost
