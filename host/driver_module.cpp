#include "host/driver_module.h"

namespace host {

namespace {

template <typename Fn>
void Bind(void* module, const char* name, Fn* slot, std::vector<std::string>* missing) {
    void* address = FindExport(module, name);
    if (!address) missing->push_back(name);
    *slot = reinterpret_cast<Fn>(address);
}

}  // namespace

std::vector<std::string> BindDriver(void* module, DriverCalls* calls) {
    std::vector<std::string> missing;
    Bind(module, "DISPLAYDLL_Init", &calls->Init, &missing);
    Bind(module, "DISPLAYDLL_SetPosition", &calls->SetPosition, &missing);
    Bind(module, "DISPLAYDLL_Write", &calls->Write, &missing);
    Bind(module, "DISPLAYDLL_DriverName", &calls->DriverName, &missing);
    Bind(module, "DISPLAYDLL_Usage", &calls->Usage, &missing);
    Bind(module, "DISPLAYDLL_DefaultParameters", &calls->DefaultParameters, &missing);
    return missing;
}

}  // namespace host
