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
    Bind(module, "DISPLAYDLL_Init", &calls->init, &missing);
    Bind(module, "DISPLAYDLL_SetPosition", &calls->set_position, &missing);
    Bind(module, "DISPLAYDLL_Write", &calls->write, &missing);
    Bind(module, "DISPLAYDLL_DriverName", &calls->driver_name, &missing);
    Bind(module, "DISPLAYDLL_Usage", &calls->usage, &missing);
    Bind(module, "DISPLAYDLL_DefaultParameters", &calls->default_parameters, &missing);
    return missing;
}

}  // namespace host
