#include "service_library.h"

#include <dlfcn.h>

ServiceLibraryHandle loadServiceLibrary() {
    // RTLD_NOW: a library with unresolved imports fails here, at start-up, instead of in the
    // middle of a command.
    static const ServiceLibraryHandle handle = dlopen(KELBRIN_LIBRARY_NAME, RTLD_NOW | RTLD_LOCAL);
    return handle;
}

void* findSymbol(ServiceLibraryHandle library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    return dlsym(library, name);
}
