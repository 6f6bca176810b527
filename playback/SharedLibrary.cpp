#include "playback/SharedLibrary.h"

#include <dlfcn.h>

namespace rovanta {

void* SymbolBinder::Find(const char* name) const
{
    return dlsym(handle_, name);
}

// Bound at once, so a broken installation shows when the library is loaded and
// not halfway through a playback; kept to itself, so its symbols cannot clash
// with anything loaded later.
void* OpenSharedLibrary(const std::string& name)
{
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void CloseSharedLibrary(void* handle)
{
    dlclose(handle);
}

}  // namespace rovanta
