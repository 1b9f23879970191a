/* Sees the records through tola_comm.h alone, as a C caller of the library does. */
#include "tola_comm.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

static int failures = 0;

#define CHECK_EQ(actual, expected)                                                              \
    do {                                                                                        \
        unsigned long a_ = (unsigned long)(actual), e_ = (unsigned long)(expected);             \
        if (a_ != e_) {                                                                         \
            fprintf(stderr, "%s:%d: %s is %lu, expected %lu\n", __FILE__, __LINE__, #actual, a_, e_); \
            ++failures;                                                                         \
        }                                                                                       \
    } while (0)

int main(void) {
    DLL_VERSION version;
    PXM_COMM comm;

    CHECK_EQ(sizeof(PXM_COMM), 664);
    CHECK_EQ(sizeof(COMM_VERSION), 260);
    CHECK_EQ(sizeof(COMM_STRUCTURE_TABLE), 96);
    CHECK_EQ(sizeof(COMM_USB_HOST), 64);
    CHECK_EQ(sizeof(COMM_MEASUREMENT), 2392);
    CHECK_EQ(offsetof(COMM_MEASUREMENT, iWIO2BGU) + sizeof(uint32_t), 2376);
    CHECK_EQ(sizeof(CKII_SETUP), 1392);
    CHECK_EQ(sizeof(CKNG_SETTINGS), 512);
    CHECK_EQ(sizeof(BT_DEVICE), 102);
    CHECK_EQ(sizeof(BT_DEVICES), 5104);
    CHECK_EQ(sizeof(DLL_VERSION), 96);
    CHECK_EQ(sizeof(CKII_NORM), 256);
    CHECK_EQ(sizeof(CKII_RESULTS), 876);
    CHECK_EQ(sizeof(SHADE_MATCH), 124);
    CHECK_EQ(sizeof(TOLA_SHADE_MATCH_DETAILS), 7316);
    CHECK_EQ(offsetof(TOLA_SHADE_MATCH_DETAILS, qClassical), 1112);
    CHECK_EQ(offsetof(TOLA_SHADE_MATCH_DETAILS, sn3D), 3096);
    CHECK_EQ(offsetof(TOLA_SHADE_MATCH_DETAILS, qf3D), 6724);
    CHECK_EQ(offsetof(TOLA_SHADE_MATCH_DETAILS, fThickness), 6852);
    CHECK_EQ(offsetof(TOLA_SHADE_MATCH_DETAILS, iVerify_system), 6940);
    CHECK_EQ(sizeof(CKNG_CALMAT), 2676);

    /* The library answers a C caller, through the shared library. */
    memset(&version, 0xEE, sizeof version);
    TOLA_Get_Dll_version(&version);
    CHECK_EQ(version.dMajor, 1);
    CHECK_EQ(version.dRelease, 12017);
    CHECK_EQ(strcmp(version.snVersion, "1.0.12017.385"), 0);

    memset(&comm, 0, sizeof comm);
    comm.dSize = 600;
    CHECK_EQ(iTOLA_comm_poll_initialize(&comm), 3);
    CHECK_EQ(comm.tStatus, 0x1008);

    if (failures == 0) printf("layout and calls as declared\n");
    return failures == 0 ? 0 : 1;
}
