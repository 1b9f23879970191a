/* A program of someone else's: built against an installed libTOLA_comm (CMake
 * package or pkg-config), it prints the library's version and the serial
 * number and firmware of the instrument it reaches over USB. */
#define _POSIX_C_SOURCE 200809L
#include <tola_comm.h>

#include <stdio.h>
#include <string.h>
#include <time.h>

int main(void) {
    DLL_VERSION version;
    memset(&version, 0, sizeof version);
    TOLA_Get_Dll_version_ex(&version, (int32_t)sizeof version);
    printf("TOLA_comm %s\n", version.snVersion);

    PXM_COMM comm;
    memset(&comm, 0, sizeof comm);
    comm.dSize = sizeof comm;
    comm.iPort = TOLA_PORT_USB;
    /* The library answers 2 (or 0) while its connection steps go on. */
    const struct timespec pause = {0, 100 * 1000 * 1000};
    int32_t result = 2;
    for (int step = 0; step < 300 && (result == 2 || result == 0); ++step) {
        result = iTOLA_comm_poll_initialize(&comm);
        if (result == 2 || result == 0) nanosleep(&pause, NULL);
    }
    if (result != 1) {
        printf("no instrument: %s\n", comm.ssStatus);
        TOLA_comm_close();
        return 2;
    }
    printf("serial %s firmware %s\n", comm.snSerial_number, comm.snVersion);
    TOLA_comm_close();
    return 0;
}
