#include "tests/support/module_names.h"

#include "platform/programs/platform.h"
#include "tests/support/driver_session.h"

namespace testhost {

namespace {
// `stem` with the extension modules have on the OS that runs the test.
std::string WithOwnExtension(const std::string& stem) { return stem + host::kModuleExtension; }

// 247 characters and ".so": 250 in all, longer than a Windows path to it may be.
std::string LongStem() {
    std::string stem;
    while (stem.size() < 247) stem += static_cast<char>('a' + stem.size() % 26);
    return stem;
}
}  // namespace

const std::vector<ModuleFileName>& ModuleFileNames() {
    const std::string longest(84, 'n');  // beside " v" and the version: 95 characters in all
    const std::string longer(85, 'o');
    const std::string far_longer = std::string(40, 'p') + std::string(80, 'q');
    const std::string stem = LongStem();
    static const std::vector<ModuleFileName> names = {
        // name, file, POSIX's {base, loads}, Windows' {base, loads}
        {"Lumivane", WithOwnExtension("lumivane"), {"lumivane", true}, {"lumivane", true}},
        {"Mirror", WithOwnExtension("mirror"), {"mirror", true}, {"mirror", true}},
        {"HyphenAndDigit", WithOwnExtension("lcd-2"), {"lcd-2", true}, {"lcd-2", true}},
        {"LongestThatFits", WithOwnExtension(longest), {longest, true}, {longest, true}},
        // Longer ones are cut to 84 in the driver's name, and the version stays whole.
        {"OneTooLongIsCut", WithOwnExtension(longer), {longer, true}, {longer, true}},
        {"FarTooLongIsCutToItsFirst84",
         WithOwnExtension(far_longer),
         {far_longer, true},
         {far_longer, true}},
        {"UpperCaseExtension", "MIRROR.DLL", {"MIRROR", true}, {"MIRROR", true}},
        {"TwoDots", "mirror.v2.dll", {"mirror.v2", true}, {"mirror.v2", true}},
        {"LongExtension", "odd.plugin", {"odd", true}, {"odd.pl", true}},
        // Windows loads a file named without a dot as that name plus ".dll".
        {"NoDot", "plainmirror", {"plainmirror", true}, {"plainmi", false}},
        {"FiveCharactersNoDot", "abcde", {"abcde", true}, {"a", false}},
        {"FourCharactersNoDot", "abcd", {"abcd", true}, {"", false}},
        {"ThreeCharactersNoDot", "abc", {"abc", true}, {"", false}},
        {"Empty", "", {"", false}, {"", false}},
        // The log's name is cut too. Windows file calls take whole paths of at
        // most 260 characters (MAX_PATH): such a module cannot be loaded there.
        {"LongFileNameIsCutToFitItsBuffers",
         stem + ".so",
         {stem, true},
         {stem.substr(0, 246), false}},
    };
    return names;
}

std::vector<ModuleFileName> LoadableModuleFileNames() {
    std::vector<ModuleFileName> loadable;
    for (const ModuleFileName& name : ModuleFileNames())
        if (OnThisOs(name).loads) loadable.push_back(name);
    return loadable;
}

std::string DriverNameFor(const std::string& base) { return DriverNameOf(base.substr(0, 84)); }

std::string LogNameFor(const std::string& base) { return base.substr(0, 255 - 5 - 4) + ".log"; }

}  // namespace testhost
