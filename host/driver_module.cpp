#include "host/driver_module.h"

#include "driver/export_list.h"

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
#define LUMIVANE_BIND(call, bytes) Bind(module, LUMIVANE_EXPORT_NAME(call), &calls->call, &missing);
    LUMIVANE_EXPORT_LIST(LUMIVANE_BIND)
#undef LUMIVANE_BIND
    return missing;
}

}  // namespace host
