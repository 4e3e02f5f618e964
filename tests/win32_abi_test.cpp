// 32-bit Windows only: the DLL's calls as the 32-bit host makes them, stdcall
// under plain and decorated names. What every Windows build shares is in
// windows_files_test.cpp and in the rows of os_cases_win32.cpp.
#include "driver/export_list.h"
#include "host/driver_module.h"
#include "tests/support/driver_session.h"

#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using testhost::DriverSession;

// Calls `function` the way the host does: `count` 32-bit arguments pushed
// from last to first, then a near call. Stores what the callee left in EAX
// into *result and returns how far the stack pointer moved across the call:
// 0 when the callee removed its arguments (stdcall), -4 * count when it left
// them to the caller (cdecl). The compiler never sees the call, so it cannot
// paper over a mismatch.
extern "C" int CallMeasuringStack(const void* function, const std::uint32_t* arguments, int count,
                                  std::uint32_t* result);
asm(R"(
    .text
    .globl _CallMeasuringStack
    .def _CallMeasuringStack; .scl 2; .type 32; .endef
_CallMeasuringStack:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl %esp, %esi          # the stack pointer before the arguments
    movl 12(%ebp), %edx      # arguments
    movl 16(%ebp), %ecx      # count
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%edx,%ecx,4)
    jmp 1b
2:  movl 8(%ebp), %eax
    call *%eax
    movl 20(%ebp), %edx
    movl %eax, (%edx)
    movl %esp, %eax
    subl %esi, %eax          # how far the callee left the stack pointer
    movl %esi, %esp
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    ret
)");

namespace {

std::uint32_t Slot(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

const char* Text(std::uint32_t slot) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(slot));
}

// Two functions of known convention, to show that the harness tells them apart.
extern "C" __attribute__((noinline)) int __cdecl SumCdecl(int a, int b) { return a + b; }
extern "C" __attribute__((noinline)) int __stdcall SumStdcall(int a, int b) { return a + b; }

// The names in a loaded module's export table, in the table's (sorted) order.
std::vector<std::string> ExportTableNames(void* module) {
    const auto* base = static_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        result.push_back(reinterpret_cast<const char*>(base + names[i]));
    return result;
}

struct ExportPair {
    const char* plain;
    const char* decorated;
};

#define LUMIVANE_EXPORT_PAIR(call, bytes) \
    {LUMIVANE_EXPORT_NAME(call), LUMIVANE_DECORATED_NAME(call, bytes)},
constexpr ExportPair kExports[] = {LUMIVANE_EXPORT_LIST(LUMIVANE_EXPORT_PAIR)};
#undef LUMIVANE_EXPORT_PAIR

}  // namespace

// --- the export table and the calling convention ----------------------------

TEST(Win32Exports, TableHoldsExactlyTheTwelveNames) {
    DriverSession driver;
    std::vector<std::string> expected;
    for (const ExportPair& pair : kExports) {
        expected.push_back(pair.plain);
        expected.push_back(pair.decorated);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ExportTableNames(driver.module()), expected);
}

TEST(Win32Exports, PlainAndDecoratedNamesResolveToTheSameFunction) {
    DriverSession driver;
    for (const ExportPair& pair : kExports) {
        void* plain = host::FindExport(driver.module(), pair.plain);
        void* decorated = host::FindExport(driver.module(), pair.decorated);
        EXPECT_NE(plain, nullptr) << pair.plain;
        EXPECT_EQ(plain, decorated) << pair.plain << " and " << pair.decorated;
    }
    EXPECT_EQ(host::FindExport(driver.module(), "DISPLAYDLL_Init@12"), nullptr);
    EXPECT_EQ(host::FindExport(driver.module(), "_DISPLAYDLL_Init@16"), nullptr);
}

TEST(Win32Exports, HarnessTellsStdcallFromCdecl) {
    const std::uint32_t arguments[] = {2, 40};
    std::uint32_t result = 0;
    EXPECT_EQ(CallMeasuringStack(reinterpret_cast<const void*>(&SumStdcall), arguments, 2, &result),
              0);
    EXPECT_EQ(result, 42u);
    EXPECT_EQ(CallMeasuringStack(reinterpret_cast<const void*>(&SumCdecl), arguments, 2, &result),
              -8);
    EXPECT_EQ(result, 42u);
}

// Every export, under both its names, called over and over as the host calls
// it: each call must remove exactly its own arguments and answer as usual.
TEST(Win32Exports, EveryCallRemovesItsOwnArgumentsUnderBothNames) {
    DriverSession driver;
    unsigned char flag = 0;
    const std::string text = "stack check";
    const std::string name = testhost::DriverNameOf("lumivane");
    struct Call {
        const char* name;
        std::vector<std::uint32_t> arguments;
        int repeats;
        const char* returned_text;  // nullptr: no text to check
    };
    const Call calls[] = {
        {"DISPLAYDLL_Init", {80, 4, 0, Slot(&flag)}, 20, "Lumivane v0.1"},
        {"DISPLAYDLL_Init@16", {80, 4, 0, Slot(&flag)}, 20, "Lumivane v0.1"},
        {"DISPLAYDLL_SetPosition", {3, 2}, 100, nullptr},
        {"DISPLAYDLL_SetPosition@8", {300, 9}, 100, nullptr},
        {"DISPLAYDLL_Write", {Slot(text.c_str())}, 100, nullptr},
        {"DISPLAYDLL_Write@4", {Slot(text.c_str())}, 100, nullptr},
        {"DISPLAYDLL_DriverName", {}, 100, name.c_str()},
        {"DISPLAYDLL_DriverName@0", {}, 100, name.c_str()},
        {"DISPLAYDLL_Usage", {}, 100, "my_plugin usage"},
        {"DISPLAYDLL_Usage@0", {}, 100, "my_plugin usage"},
        {"DISPLAYDLL_DefaultParameters", {}, 100, "default"},
        {"DISPLAYDLL_DefaultParameters@0", {}, 100, "default"},
    };
    for (const Call& call : calls) {
        SCOPED_TRACE(call.name);
        const void* function = host::FindExport(driver.module(), call.name);
        ASSERT_NE(function, nullptr);
        int drifting_calls = 0;
        int first_drift = 0;
        std::uint32_t result = 0;
        for (int i = 0; i < call.repeats; ++i) {
            const int drift = CallMeasuringStack(function, call.arguments.data(),
                                                 static_cast<int>(call.arguments.size()), &result);
            if (drift != 0 && drifting_calls++ == 0) first_drift = drift;
        }
        EXPECT_EQ(drifting_calls, 0)
            << "the first one moved the stack pointer by " << first_drift << " bytes";
        if (call.returned_text != nullptr) {
            EXPECT_STREQ(Text(result), call.returned_text);
        }
        if (std::string(call.name).rfind("DISPLAYDLL_Write", 0) == 0) {
            EXPECT_EQ(result, 1u);  // the page is up to date
        }
    }
    EXPECT_EQ(flag, 1);
}
