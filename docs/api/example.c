/* Getting started with libTOLA_comm: connect to the instrument on USB, read
 * its version block, take one measurement, close.
 *
 *   cc -std=c11 example.c $(pkg-config --cflags --libs tola-comm) -o example
 *   ./example
 *
 * Without an instrument, a virtual one answers: build/bin/chromatik-sim.
 * Exit status: 0 a measurement came, 1 no instrument, 2 no measurement. */
#define _POSIX_C_SOURCE 200809L
#include <tola_comm.h>

#include <stdio.h>
#include <string.h>
#include <time.h>

/* The library keeps the address of the connection record and writes into it
 * in later calls: it lives as long as the program. */
static PXM_COMM comm;

static void pause_ms(long ms) {
    const struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}

/* A name field holds up to 26 bytes and need not end with a NUL. */
#define NAME(field) (int)strnlen((field), sizeof(field)), (field)

int main(void) {
    DLL_VERSION library;
    TOLA_Get_Dll_version_ex(&library, (int32_t)sizeof library);
    printf("library %s\n", library.snVersion);

    /* 1. Connect.  Each call is one step of the search: 2 means "not yet",
     *    0 that another caller held the interface mutex; both ask for another
     *    call.  On USB the search gives up by itself after 5 s (result 3). */
    memset(&comm, 0, sizeof comm);
    comm.dSize = sizeof comm;
    comm.iPort = TOLA_PORT_USB;
    int32_t result = 2;
    for (int step = 0; step < 300 && (result == 2 || result == 0); ++step) {
        result = iTOLA_comm_poll_initialize(&comm);
        if (result != 1) pause_ms(100);
    }
    if (result != 1) {
        printf("no instrument (%d): %s\n", (int)result, comm.ssStatus);
        TOLA_comm_close();
        return 1;
    }
    char port[sizeof(TSTRING)];
    bTOLA_comm_get_interface_name(port);
    printf("connected: %s, serial %.*s, firmware %.*s\n", port, NAME(comm.snSerial_number), NAME(comm.snVersion));

    /* 2. Read a structure: the version block, by its identifier. */
    COMM_VERSION version;
    char message[sizeof(TSTRING)] = "";
    memset(&version, 0, sizeof version);
    if (bTOLA_Transfer_local_structure(&comm, &version, CKPSTRUCT_COMMVERSION, (int32_t)sizeof version,
                                       TOLA_DIRECTION_UPLOAD, message) == 1)
        printf("version block: %.*s, release %.*s, interface %.*s\n", NAME(version.snName), NAME(version.snRelease),
               NAME(version.snVersion));
    else
        printf("version block not read: %s\n", message);

    /* 3. Poll a measurement.  The first poll after connecting reports nothing
     *    (what the instrument held before is not new); then the instrument is
     *    asked to measure, as a trigger press would, and polled for the new
     *    measurement, no more often than every 500 ms.  A trigger press by
     *    the user is found by the same polls. */
    COMM_MEASUREMENT measurement;
    bTOLA_comm_poll_measurements_ex(&measurement, (int32_t)sizeof measurement, 1);
    if (bTOLA_comm_measure_color() != 1)
        printf("the instrument did not confirm the measure command; waiting for a trigger press\n");
    int found = 0;
    for (int poll = 0; poll < 40 && !found; ++poll) {
        pause_ms(520);
        found = bTOLA_comm_poll_measurements_ex(&measurement, (int32_t)sizeof measurement, 1) == 1;
    }
    if (found) {
        const TOOTH_AREA* area = &measurement.Single;
        printf("measurement: %.*s (kind 0x%X), shade %.*s, L %.2f a %.2f b %.2f, queue %u of %u\n",
               NAME(measurement.snMaterial), (unsigned)measurement.tStatus, NAME(area->snClassical),
               (double)area->qfParm[1], (double)area->qfParm[4], (double)area->qfParm[5],
               (unsigned)measurement.iQueue + 1u, (unsigned)measurement.dQueue);
    } else {
        printf("no measurement: %s\n", comm.ssStatus);
    }

    /* 4. Close: the link is given back and the record emptied. */
    TOLA_comm_close();
    return found ? 0 : 2;
}
