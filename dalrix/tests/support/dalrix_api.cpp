#include "dalrix_api.h"

namespace dalrix_test {

std::string driverPath()
{
    return platform::programDirectory() + "/Dalrix.so";
}

DalrixApi& dalrix()
{
    static DalrixApi api = [] {
        DalrixApi a;
        a.library = platform::SharedLibrary::open(driverPath());
        a.library.keepLoaded();
#define DALRIX_BIND(name)                                                                                    \
    a.name = reinterpret_cast<decltype(a.name)>(a.library.symbol(#name));                                    \
    if (!a.name && a.missing.empty())                                                                         \
        a.missing = #name;
        DALRIX_EXPORTS(DALRIX_BIND)
#undef DALRIX_BIND
        return a;
    }();
    return api;
}

} // namespace dalrix_test
