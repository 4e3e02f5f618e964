// A stand-in driver module for the host's tests: it records every call the
// host makes, one line each, in fake-calls.txt in the working directory.
// Built in variants: FAKE_WRITE_RESULT is what Write returns, and
// FAKE_WITHOUT_IDENTITY leaves out the Usage and DefaultParameters exports.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "driver/export_abi.h"

namespace {
void Record(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Record(const char* format, ...) {
    std::FILE* calls = std::fopen("fake-calls.txt", "ab");
    if (!calls) return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(calls, format, arguments);
    va_end(arguments);
    std::fclose(calls);
}
}  // namespace

extern "C" {

LUMIVANE_EXPORT const char* LUMIVANE_CALL DISPLAYDLL_Init(int columns, int rows, int reserved,
                                                          unsigned char* ok_flag) {
    Record("Init %d %d %d\n", columns, rows, reserved);
    *ok_flag = 1;
    return "fake ready";
}

LUMIVANE_EXPORT void LUMIVANE_CALL DISPLAYDLL_SetPosition(int x, int y) {
    Record("SetPosition %d %d\n", x, y);
}

// The text's length first, then its bytes as they came.
LUMIVANE_EXPORT int LUMIVANE_CALL DISPLAYDLL_Write(const char* text) {
    Record("Write %lu:%s\n", static_cast<unsigned long>(std::strlen(text)), text);
    return FAKE_WRITE_RESULT;
}

LUMIVANE_EXPORT const char* LUMIVANE_CALL DISPLAYDLL_DriverName() {
    Record("DriverName\n");
    return "fake v0";
}

#ifndef FAKE_WITHOUT_IDENTITY
LUMIVANE_EXPORT const char* LUMIVANE_CALL DISPLAYDLL_Usage() {
    Record("Usage\n");
    return "fake usage";
}

LUMIVANE_EXPORT const char* LUMIVANE_CALL DISPLAYDLL_DefaultParameters() {
    Record("DefaultParameters\n");
    return "fake defaults";
}
#endif

}  // extern "C"
