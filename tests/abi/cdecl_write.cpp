// A DLL under the driver's twelve export names whose Write is cdecl, as a
// slip at the export boundary would make it: it returns with a plain ret and
// leaves its 4 argument bytes on the caller's stack. The build's stdcall
// check must refuse it. Built only for that test, from the driver's own
// export file.
extern "C" {
__declspec(noinline) const char* __stdcall DISPLAYDLL_Init(int, int, int, unsigned char*) {
    return "";
}
__declspec(noinline) void __stdcall DISPLAYDLL_SetPosition(int, int) {}
// The decorated name a stdcall Write would have, on a cdecl function.
__declspec(noinline) int __cdecl CdeclWrite(const char*) __asm__("_DISPLAYDLL_Write@4");
int __cdecl CdeclWrite(const char* text) { return text != nullptr; }
__declspec(noinline) const char* __stdcall DISPLAYDLL_DriverName() { return ""; }
__declspec(noinline) const char* __stdcall DISPLAYDLL_Usage() { return ""; }
__declspec(noinline) const char* __stdcall DISPLAYDLL_DefaultParameters() { return ""; }
}
