// How the driver's calls cross the module boundary on each platform. The
// Windows host calls stdcall functions (the callee removes the arguments);
// elsewhere the platform's usual convention is used.
#pragma once

#if defined(_WIN32)
#define LUMIVANE_CALL __stdcall
#define LUMIVANE_EXPORT  // the export file is made from driver/export_list.h
#else
#define LUMIVANE_CALL
#define LUMIVANE_EXPORT __attribute__((visibility("default")))
#endif
