// Making the driver's calls: the start-up report, scripts and the follow
// mode.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "host/driver_module.h"
#include "host/script.h"

namespace host {

// Exit status of lumivane-host.
constexpr int kExitOk = 0;
constexpr int kExitDriverFailure = 1;  // module unusable, Init flag 0, a Write returning 0
constexpr int kExitUsage = 2;          // bad command line or script

// Calls Init as a 4 x 80 display host does, prints "init: <text> (flag N)"
// and returns kExitOk, or kExitDriverFailure when the flag is 0.
int CallInit(const DriverCalls& driver);

// Calls DriverName and prints "name: <text>".
void PrintName(const DriverCalls& driver);
void PrintUsage(const DriverCalls& driver);
void PrintDefaults(const DriverCalls& driver);

// Runs parsed commands, stopping at the first driver failure. `file_name`
// names the script in messages; with `fast` every sleep is skipped.
int RunCommands(const DriverCalls& driver, const std::vector<Command>& commands,
                const std::string& file_name, bool fast);

// Reads lines from `in` until it ends, showing the last four on the screen
// after each one (a single Write from column 1 of row 1).
int FollowLines(const DriverCalls& driver, std::istream& in);

}  // namespace host
