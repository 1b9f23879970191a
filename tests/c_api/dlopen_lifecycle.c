/* Loads the library at run time the ways a program does and ends normally.
 * The test is the exit status: every way must end with 0, also under the
 * sanitizers.
 *
 *   dlopen_lifecycle LIBRARY load          load, end
 *   dlopen_lifecycle LIBRARY load-close    load, unload, end
 *   dlopen_lifecycle LIBRARY call          load, call exports, end
 *   dlopen_lifecycle LIBRARY call-close    load, call exports, unload, end
 *   dlopen_lifecycle LIBRARY reload        load, call, unload, twice over
 *   dlopen_lifecycle LIBRARY exit-in-call  end while threads are inside exports
 */
#define _GNU_SOURCE
#include "tola_comm.h"

#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

typedef void (*get_version_fn)(DLL_VERSION*);
typedef int32_t (*no_argument_fn)(void);
typedef int32_t (*open_fn)(PXM_COMM*);

static const char* library_path;

static void* load(void) {
    void* library = dlopen(library_path, RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        exit(2);
    }
    return library;
}

/* Stores the address of an export into a function pointer (ISO C has no cast
 * between object and function pointers; POSIX guarantees the copy). */
static void look_up(void* library, const char* name, void* function, size_t size) {
    void* s = dlsym(library, name);
    if (s == NULL) {
        fprintf(stderr, "dlsym %s: %s\n", name, dlerror());
        exit(2);
    }
    memcpy(function, &s, size);
}

static no_argument_fn no_argument(void* library, const char* name) {
    no_argument_fn f;
    look_up(library, name, &f, sizeof f);
    return f;
}

/* Calls that take the interface mutex and one that does not. */
static void call_exports(void* library) {
    DLL_VERSION version;
    memset(&version, 0, sizeof version);
    get_version_fn get_version;
    look_up(library, "TOLA_Get_Dll_version", &get_version, sizeof get_version);
    get_version(&version);
    if (version.dRelease != 12017) {
        fprintf(stderr, "unexpected version %u\n", (unsigned)version.dRelease);
        exit(3);
    }
    if (no_argument(library, "bTOLA_comm_test")() != 0) {
        fprintf(stderr, "a test without a connection must fail\n");
        exit(3);
    }
    no_argument(library, "TOLA_comm_close")();
}

/* --- exit while threads are inside exports --- */

static void* library_for_threads;
static PXM_COMM record;

/* Opens USB on a device that takes the request and never answers: the call
 * stays inside the library for its whole reply window. */
static void* open_on_silent_device(void* unused) {
    (void)unused;
    memset(&record, 0, sizeof record);
    record.dSize = sizeof record;
    record.iPort = TOLA_PORT_USB;
    open_fn poll_initialize;
    look_up(library_for_threads, "iTOLA_comm_poll_initialize", &poll_initialize, sizeof poll_initialize);
    poll_initialize(&record);
    return NULL;
}

/* Waits for the interface mutex the first thread holds. */
static void* test_while_busy(void* unused) {
    (void)unused;
    no_argument(library_for_threads, "bTOLA_comm_test")();
    return NULL;
}

static int exit_inside_calls(void) {
    char folder[] = "/tmp/tola-dlopen-XXXXXX";
    if (mkdtemp(folder) == NULL) return 4;
    setenv("TOLA_USB_DIR", folder, 1);
    struct sockaddr_un address;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s/Chrmtk0-0", folder);
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0 || bind(listener, (struct sockaddr*)&address, sizeof address) != 0 || listen(listener, 1) != 0)
        return 4;

    library_for_threads = load();
    pthread_t opener, tester;
    pthread_create(&opener, NULL, open_on_silent_device, NULL);
    /* Accepted: the opener is inside the library and holds its mutex. */
    const int device = accept(listener, NULL, NULL);
    if (device < 0) return 4;
    pthread_create(&tester, NULL, test_while_busy, NULL);
    /* The clean-up runs before the exit: the threads stay inside their calls. */
    unlink(address.sun_path);
    rmdir(folder);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s LIBRARY MODE\n", argv[0]);
        return 2;
    }
    library_path = argv[1];
    const char* mode = argv[2];
    if (strcmp(mode, "load") == 0) {
        load();
    } else if (strcmp(mode, "load-close") == 0) {
        dlclose(load());
    } else if (strcmp(mode, "call") == 0) {
        call_exports(load());
    } else if (strcmp(mode, "call-close") == 0) {
        void* library = load();
        call_exports(library);
        dlclose(library);
    } else if (strcmp(mode, "reload") == 0) {
        for (int round = 0; round < 2; ++round) {
            void* library = load();
            call_exports(library);
            dlclose(library);
        }
    } else if (strcmp(mode, "exit-in-call") == 0) {
        return exit_inside_calls();
    } else {
        fprintf(stderr, "unknown mode %s\n", mode);
        return 2;
    }
    return 0;
}
