#include "view/picture_file.h"

#include <filesystem>
#include <system_error>

#include "platform/programs/platform.h"

namespace view {

namespace fs = std::filesystem;

namespace {
// A link is written through: the file it names is replaced, the link stays.
// Empty for a link that leads nowhere.
fs::path Target(const std::string& name) {
    const fs::path path = fs::u8path(name);
    if (!host::IsLink(path)) return path;
    std::error_code failed;
    const fs::path resolved = fs::canonical(path, failed);
    return failed ? fs::path() : resolved;
}
}  // namespace

std::string WhyNoPictureFile(const std::string& name) {
    if (name == kStandardOutputName) return "";
    const fs::path target = Target(name);
    return target.empty() ? "it is a link that leads nowhere" : host::WhyNotReplaceable(target);
}

bool SavePicture(const std::string& name, const std::string& png, std::string* why) {
    if (name == kStandardOutputName) {
        if (host::WriteStandardOutput(png)) return true;
        *why = "standard output can't be written";
        return false;
    }
    // Looked at again: something may have taken the name since.
    *why = WhyNoPictureFile(name);
    return why->empty() && host::ReplaceWithNewFile(Target(name), png, why);
}

}  // namespace view
