// What each OS adds to tests that every build shares: the things only it can
// put in the driver's way, and what only it can count. One source per OS
// lists them: os_cases_posix.cpp, os_cases_win32.cpp.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"

namespace oscases {

// Something standing in one of the driver's files' way, from its placing
// until Release or its end.
class Block {
public:
    virtual ~Block() = default;
    // Takes the block away, first checking that the driver left it as placed.
    virtual void Release() = 0;
    // The bytes at the page's place once the block is gone, when no call
    // wrote the page meanwhile.
    virtual std::string PageLeft() const { return ""; }
};

template <typename B>
std::unique_ptr<Block> Place(const testhost::DriverSession& driver) {
    return std::make_unique<B>(driver);
}

// --- a call that meets a block (blocked_call_test.cpp) ----------------------------

// What the block costs the call that meets it.
enum class Cost {
    kPageFails,           // the page cannot be opened: the call fails and logs why
    kPageWrittenInPlace,  // the page cannot be replaced: it is rewritten where it stands
    kLogRefused,          // the log cannot be opened: said on standard output, nothing logged
};

struct Blocker {
    const char* name;
    std::unique_ptr<Block> (*place)(const testhost::DriverSession& driver);
    Cost cost;
};

// The call that meets the block.
enum class Call {
    kFirstInit,  // Init of a fresh load
    kInitAgain,  // a second Init, drawing the picture the page already shows
    kWrite,      // a Write after Init
};

struct BlockedCall {
    Call call;
    const Blocker* blocker;
};

// This OS's own rows.
std::vector<BlockedCall> ThisOsBlockedCalls();

// --- a full log that cannot be renamed (log_bound_test.cpp) ------------------------

struct RenameBlocker {
    const char* name;
    std::unique_ptr<Block> (*place)(const testhost::DriverSession& driver);
};

std::vector<RenameBlocker> ThisOsRenameBlockers();

// --- load cycles (unload_test.cpp) -------------------------------------------------

struct UnloadChecks {
    int cycles;                                         // how many the driver runs
    std::size_t (*held)();                              // descriptors or handles the process holds
    bool (*log_is_free)(const std::filesystem::path&);  // nothing in the process holds it open
    std::size_t (*heap_in_use)();                       // bytes; 0 where not counted
};

UnloadChecks ThisOsUnloadChecks();

}  // namespace oscases
