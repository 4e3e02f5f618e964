#include "host/runner.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <thread>

#include "host/screen_text.h"

namespace host {

namespace {

const char* OrNull(const char* text) { return text ? text : "(null)"; }

int WriteText(const DriverCalls& driver, const std::string& text, const std::string& where) {
    if (driver.Write(text.c_str()) == 1) return kExitOk;
    std::fflush(stdout);
    std::fprintf(stderr, "lumivane-host: %sWrite returned 0: the page file could not be written\n",
                 where.c_str());
    return kExitDriverFailure;
}

}  // namespace

int CallInit(const DriverCalls& driver) {
    unsigned char flag = 0;
    const char* text = driver.Init(static_cast<int>(kColumns), static_cast<int>(kRows), 0, &flag);
    std::printf("init: %s (flag %d)\n", OrNull(text), flag);
    std::fflush(stdout);
    if (flag != 0) return kExitOk;
    std::fprintf(stderr, "lumivane-host: Init reported a failure (flag 0)\n");
    return kExitDriverFailure;
}

void PrintName(const DriverCalls& driver) {
    std::printf("name: %s\n", OrNull(driver.DriverName()));
}

void PrintUsage(const DriverCalls& driver) { std::printf("usage: %s\n", OrNull(driver.Usage())); }

void PrintDefaults(const DriverCalls& driver) {
    std::printf("defaults: %s\n", OrNull(driver.DefaultParameters()));
}

int RunCommands(const DriverCalls& driver, const std::vector<Command>& commands,
                const std::string& file_name, bool fast) {
    for (const Command& command : commands) {
        int status = kExitOk;
        switch (command.kind) {
            case CommandKind::kPos:
                driver.SetPosition(command.x, command.y);
                break;
            case CommandKind::kWrite:
                status = WriteText(driver, command.text,
                                   file_name + ":" + std::to_string(command.line) + ": ");
                break;
            case CommandKind::kInit:
                status = CallInit(driver);
                break;
            case CommandKind::kSleep:
                std::fflush(stdout);
                if (!fast)
                    std::this_thread::sleep_for(std::chrono::milliseconds(command.milliseconds));
                break;
            case CommandKind::kName:
                PrintName(driver);
                break;
            case CommandKind::kUsage:
                PrintUsage(driver);
                break;
            case CommandKind::kDefaults:
                PrintDefaults(driver);
                break;
        }
        if (status != kExitOk) return status;
    }
    return kExitOk;
}

int FollowLines(const DriverCalls& driver, std::istream& in) {
    std::deque<std::string> window;
    std::string line;
    long number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        PushLine(&window, line);
        driver.SetPosition(1, 1);
        const int status =
            WriteText(driver, ScreenText(window), "input line " + std::to_string(number) + ": ");
        if (status != kExitOk) return status;
    }
    return kExitOk;
}

}  // namespace host
