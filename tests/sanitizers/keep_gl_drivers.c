// Sanitizer builds only: every program keeps Mesa's GL libraries (the DRI driver and the
// GLX and EGL vendor libraries) loaded until it exits.
//
// Mesa unloads its driver when the last display or EGL display using it closes, before
// LeakSanitizer looks at the heap at exit. What the driver still held then is reported
// as leaked, because the globals that held it are gone, and with the driver's code gone
// too the reports name no library ("<unknown module>" or a wrong one), so no suppression
// can match them. Kept loaded, the driver's globals still count, and what it really
// leaks is reported under its own name.

#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <string.h>

int dlclose(void* handle) {
    struct link_map* library = NULL;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &library) == 0 && library && library->l_name &&
        (strstr(library->l_name, "/dri/") || strstr(library->l_name, "_mesa.so")))
        return 0;
    static int (*next)(void*);
    if (!next) next = (int (*)(void*))dlsym(RTLD_NEXT, "dlclose");
    return next(handle);
}
