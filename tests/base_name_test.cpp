// The platform layer's cut of a module file name to its base name, linked
// straight in: every name of the table, those no module file can have on this
// OS included (an empty name, one shorter than an extension).
#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"
#include "tests/support/module_names.h"

namespace {

TEST(ModuleFileNames, AreCutToTheirBaseNames) {
    for (const testhost::ModuleFileName& name : testhost::ModuleFileNames()) {
        // Exactly the name's bytes, no terminator: nothing past them may be read.
        const std::vector<char> bytes(name.file.begin(), name.file.end());
        EXPECT_EQ(platform::BaseNameLength(bytes.data(), bytes.size()),
                  testhost::OnThisOs(name).base.size())
            << name.name;
    }
}

}  // namespace
