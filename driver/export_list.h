// The six calls the driver exports, each with the bytes its arguments take
// on the 32-bit Windows stack, which its stdcall name carries after an @
// (DISPLAYDLL_Init@16). The one list of them: the loader binds these names,
// the tests call them, and the build reads it too (cmake/export_list.cmake)
// to make the Windows export file and check the built modules' exports.
// One call a line, X(Name, argument bytes).
#pragma once

// clang-format off
#define LUMIVANE_EXPORT_LIST(X) \
    X(Init, 16)                 \
    X(SetPosition, 8)           \
    X(Write, 4)                 \
    X(DriverName, 0)            \
    X(Usage, 0)                 \
    X(DefaultParameters, 0)
// clang-format on

// "DISPLAYDLL_Init", and so on: the name each call is exported under.
#define LUMIVANE_EXPORT_NAME(call) "DISPLAYDLL_" #call
// "DISPLAYDLL_Init@16": the same call under its stdcall-decorated name.
#define LUMIVANE_DECORATED_NAME(call, bytes) "DISPLAYDLL_" #call "@" #bytes
