// Lumivane: the six calls a display host makes into this driver.
//
// The driver mirrors a 4 x 80 character display into logs/index.htm (which
// a browser reloads every 5 s) and traces every step into logs/<module>.log.
// All texts it returns live in the module's static storage and stay valid
// while the module is loaded; the host never frees them.
//
// The host calls these from one thread, one call at a time: the driver's
// state is plain static storage, with no locks. Unloading the module closes
// its log; nothing it opened outlives the load.
#pragma once

#include "driver/export_abi.h"

extern "C" {

// Starts the driver: writes the start-up page and stores 1 (page written) or
// 0 (page file could not be written) into *ok_flag. The first three arguments
// are the host's and are not read. Returns "Lumivane v0.1" on success and
// "Failed to create web page" on failure.
LUMIVANE_EXPORT const char* LUMIVANE_CALL DISPLAYDLL_Init(int columns, int rows, int reserved,
                                                          unsigned char* ok_flag);

// Moves the cursor to column x (1..80) of row y (1..4). Only the low 8 bits
// of each argument are read; larger values are held at the last column/row.
LUMIVANE_EXPORT void LUMIVANE_CALL DISPLAYDLL_SetPosition(int x, int y);

// Stores text at the cursor, running on to the next row (row 4 wraps to row
// 1), then rewrites the page if any row changed. Returns 1 when the page is
// up to date, 0 when it could not be written.
LUMIVANE_EXPORT int LUMIVANE_CALL DISPLAYDLL_Write(const char* text);

// "<module base name> v1.0.14.79".
LUMIVANE_EXPORT const char* LUMIVANE_CALL DISPLAYDLL_DriverName();

// "my_plugin usage".
LUMIVANE_EXPORT const char* LUMIVANE_CALL DISPLAYDLL_Usage();

// "default".
LUMIVANE_EXPORT const char* LUMIVANE_CALL DISPLAYDLL_DefaultParameters();

}  // extern "C"

// Pointer types for hosts that look the exports up at run time.
using DisplayInitFn = const char*(LUMIVANE_CALL*)(int, int, int, unsigned char*);
using DisplaySetPositionFn = void(LUMIVANE_CALL*)(int, int);
using DisplayWriteFn = int(LUMIVANE_CALL*)(const char*);
using DisplayTextFn = const char*(LUMIVANE_CALL*)();
