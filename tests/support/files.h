// Whole-file reads and writes for tests, as bytes (no line-end translation).
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace testhost {

std::string ReadFile(const std::filesystem::path& path);  // "" when missing
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
void AppendFile(const std::filesystem::path& path, const std::string& bytes);
std::vector<std::string> Listing(const std::filesystem::path& directory);  // sorted names
// Every file and directory below `root`, as relative paths with '/' between names.
std::set<std::string> FilesBelow(const std::filesystem::path& root);

// The error number the run-time library gives for opening `path` to write it
// (fopen's "w"), as the driver's own open meets it there; 0 when it opens,
// and then the file is left empty.
int FopenError(const std::filesystem::path& path);

}  // namespace testhost
