/*
 * tola_comm.h - public interface of the TOLA_comm library.
 *
 * The records below cross the library boundary as raw memory: callers allocate
 * them, the library reads and fills them in place.  Every field is declared in
 * order with natural alignment; the sizes that callers and the library compare
 * are checked at compile time at the end of this header.
 *
 * Texts are 8-bit Windows-1252 bytes, NUL-terminated ("\xAE" is the registered
 * sign).  Handles are 32-bit integers (file descriptors or Bluetooth client
 * handles); -1 means "not open".
 */
#ifndef TOLA_COMM_H
#define TOLA_COMM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TOLA_COMM_BUILDING)
#define TOLA_API __attribute__((visibility("default")))
#else
#define TOLA_API
#endif

/* ---- text and array types ------------------------------------------------ */

typedef char TNAME[26];
typedef char TMNAME[51];
typedef char TSTRING[501];

typedef float TQFSPECTRUM[31];
typedef float TQFPARM[11];
typedef float TQFDELTA[17];
typedef uint32_t TQDCKII[16];
typedef int32_t TQICKII[16];
typedef uint32_t TQTCKII[16];
typedef float TQFCKII[16];

/* ---- PXM_COMM: the connection record (664 bytes) -------------------------- */

typedef struct PXM_COMM {
    uint32_t dSize;           /* must be 664 */
    int32_t hUSB;             /* USB channel handle, -1 when closed */
    int32_t hRS232;           /* serial port or Bluetooth connection, -1 when closed */
    uint32_t iPort;           /* 0 search, 1 USB, 2..21 COM1..COM20, 500 Bluetooth */
    TNAME snRS232;
    TSTRING ssStatus;
    uint32_t tStatus;
    uint32_t iDevice;
    uint32_t dVID;
    uint32_t dPID;
    TNAME snDevice;
    TNAME snVersion;
    TNAME snInterface;
    TNAME snSerial_number;
} PXM_COMM;

/* tStatus bits */
#define TOLA_STATUS_INTERFACED        0x00000001u
#define TOLA_STATUS_TESTING           0x00000002u
#define TOLA_STATUS_HOLD              0x00000004u
#define TOLA_STATUS_SEARCH_ENDED      0x00000008u
#define TOLA_STATUS_USB               0x00000010u
#define TOLA_STATUS_BLUETOOTH         0x00000020u
#define TOLA_STATUS_COM1              0x00000100u
#define TOLA_STATUS_COM2              0x00000200u
#define TOLA_STATUS_COM3              0x00000400u
#define TOLA_STATUS_COM4              0x00000800u
#define TOLA_STATUS_COM_FIELD_SHIFT   24
#define TOLA_STATUS_COM_FIELD_MASK    0x1F000000u
#define TOLA_STATUS_INTERNAL_ERROR    0x00001000u
#define TOLA_STATUS_NO_INSTRUMENT     0x00002000u
#define TOLA_STATUS_UNKNOWN_PORT      0x00004000u
#define TOLA_STATUS_WRONG_DEVICE      0x00008000u
#define TOLA_STATUS_TEST_FAILED       0x00010000u
#define TOLA_STATUS_USB_FAILURE       0x00020000u
#define TOLA_STATUS_SERIAL_FAILURE    0x00040000u
#define TOLA_STATUS_DESCRIPTOR_FAILED 0x00080000u
#define TOLA_STATUS_QUEUE_RANGE       0x00200000u
#define TOLA_STATUS_QUEUE_READ_FAILED 0x00400000u
#define TOLA_STATUS_HARD_FAILURE_MIN  0x00001000u
/* The failure bits: 0x1000 and above, below the port field of COM5..COM20. */
#define TOLA_STATUS_HARD_FAILURES     0x00FFF000u
/* Set by the caller, never by the library: limits the search that this call of
 * iTOLA_comm_poll_initialize starts to one instrument.  snSerial_number names
 * its serial number (compared byte for byte, at most 25 characters) and, when
 * iPort is 0 or 1, snRS232 names the USB channel socket it sits at (a name in
 * the interface-class folder such as "dev1" or "usb-1-2.3", or "Chrmtk0-0",
 * "ezusb-0"); an empty field limits nothing.  The library takes both, clears
 * the bit and searches as usual, passing over every other instrument without
 * writing to it; on USB it writes the socket it connected on into snRS232.
 * When only others answer, the step fails with TOLA_STATUS_WRONG_DEVICE and
 * ssStatus "Instrument <wanted> not found; answering: <serial> on <where>, ...".
 * A serial number without a socket must name one USB instrument: the step looks
 * at every socket and, when two answer with it, fails with WRONG_DEVICE and
 * "Instrument <wanted> answers on dev0, dev2: more than one instrument has
 * this serial number; name the socket as well".
 * The limit holds until a call with tStatus 0 or TOLA_comm_close. */
#define TOLA_STATUS_PINNED            0x40000000u

/* iDevice values */
#define TOLA_DEVICE_NONE            0
#define TOLA_DEVICE_USB_CHROMATIK   1
#define TOLA_DEVICE_SERIAL_CLASSIC  2
#define TOLA_DEVICE_USB_H8SX_BOOT   3
#define TOLA_DEVICE_USB_PORTIVO     4
#define TOLA_DEVICE_SERIAL_MAPPED_A 8
#define TOLA_DEVICE_SERIAL_MAPPED_B 9
#define TOLA_DEVICE_BT_MAPPED_A     10
#define TOLA_DEVICE_BT_MAPPED_B     11

/* iPort values */
#define TOLA_PORT_SEARCH    0
#define TOLA_PORT_USB       1
#define TOLA_PORT_COM1      2
#define TOLA_PORT_COM20     21
#define TOLA_PORT_BLUETOOTH 500

/* ---- instrument records --------------------------------------------------- */

typedef struct COMM_VERSION {
    TNAME snName;
    TNAME snSerial_number;
    TNAME snRelease;
    TNAME snVersion;
    TNAME snRelease_date;
    TNAME snInstall_date;
    TNAME snPart;
    TNAME snMFG1;
    TNAME snMFG2;
    TNAME snMFG3;
} COMM_VERSION;

/* The instrument's structure table: 24 words, the first seventeen named. */
#define TOLA_STRUCTURE_TABLE_FIELDS \
    uint32_t dCOMM_VERSION;               \
    uint32_t dSETUP_ROM;                  \
    uint32_t dTOLA_SHADE_ROM;             \
    uint32_t dNORM;                       \
    uint32_t dMEASURE_DETAILS;            \
    uint32_t dRESULTS;                    \
    uint32_t dDATA;                       \
    uint32_t dCOMM_USB_HOST;              \
    uint32_t dADD_1;                      \
    uint32_t dADD_2;                      \
    uint32_t dADD_3;                      \
    uint32_t dADD_4;                      \
    uint32_t dCOMM_DISPLAY_TEXT;          \
    uint32_t dADD_5;                      \
    uint32_t dMEAS;                       \
    uint32_t dSETTINGS;                   \
    uint32_t dCOMM_STRUCTURE_TABLE_SIZES; \
    uint32_t dRfu17;                      \
    uint32_t dTABLEWORD18;                \
    uint32_t qdRfu19[5];

typedef struct COMM_STRUCTURE_TABLE {
    TOLA_STRUCTURE_TABLE_FIELDS
} COMM_STRUCTURE_TABLE;

/* Same shape and word order as the structure table; each word is a size. */
typedef struct COMM_STRUCTURE_SIZES {
    TOLA_STRUCTURE_TABLE_FIELDS
} COMM_STRUCTURE_SIZES;

/* Host command block: word roles are documented with the command set. */
typedef struct COMM_USB_HOST {
    uint32_t qdWord[16];
} COMM_USB_HOST;

typedef struct TOOTH_AREA {
    TQFSPECTRUM qfSpectrum;
    TQFPARM qfParm;
    TNAME snClassical;
    TNAME snClassical2;
    TNAME snClassical3;
    TQFDELTA qfClassical_delta;
    TNAME sn3D;
    TQFDELTA qf3D_delta;
} TOOTH_AREA;

typedef struct COMM_MEASUREMENT {
    uint32_t dSize; /* 2392 */
    uint32_t dTime;
    uint32_t tStatus;
    TNAME snMaterial;
    TOOTH_AREA Single;
    TOOTH_AREA qArea[3];
    uint32_t iVerify_shade_system;
    TNAME snVerify_shade;
    TNAME snVerify_result;
    TQFDELTA qfVerDelta;
    uint32_t dQueue;
    uint32_t iQueue;
    uint32_t iAverageCount;
    TNAME qsn3DInterp[3];
    TNAME qsnClassicalBlock[3];
    TNAME qsn3DBlock[3];
    TNAME qsn3DBleached[3];
    TNAME qsnRfu1[3];
    TNAME qsnRfu2[3];
    TNAME qsnRfu3[3];
    uint32_t iWIO2BGU;
    uint32_t qdAux[4];
} COMM_MEASUREMENT;

typedef struct CKII_REFERENCE_TILE {
    TNAME snName;
    float qfOuterLED[16];
    float qfInnerLED[16];
    float fL;
    float fa;
    float fb;
    float fDeltaE;
} CKII_REFERENCE_TILE;

typedef struct CKII_SETUP {
    uint32_t dSensor;
    TQTCKII qtType;
    TQDCKII qdFilter_center;
    TQDCKII qdFilter_width;
    uint32_t dSensor_spec;
    TQICKII qiSensor_spec;
    uint32_t dSensor_LED;
    TQICKII qiSensor_LED;
    float qqfTri[31][3];
    CKII_REFERENCE_TILE qRef[4];
} CKII_SETUP;

typedef struct CKNG_SETTINGS {
    float fGain_lin;
    TQFCKII qfRef_slope;
    TQFCKII qfB;
    TQFCKII qfScale_outer;
    TQFCKII qfScale_inner;
    uint32_t dACB_id;
    uint32_t dAuto_min;
    uint32_t dAuto_max;
    uint32_t dSamples;
    uint32_t dLED_stable;
    float fLED_drift_max;
    float fMeas_stable_black;
    uint32_t dMeas_sample_black;
    float fMeas_stable_white;
    uint32_t dMeas_sample_white;
    uint32_t dTimeout_standby;
    uint32_t dTimeout_power;
    uint32_t dBattery_ADC_full;
    uint32_t dBattery_ADC_low;
    float qfDeltaE[4];
    uint32_t dBitValues1;
    float qfNNThreshold[4];
    float qfFilterLimits[4];
    uint8_t bySapTabCounts;
    uint8_t byTftBackLight;
    uint8_t qbyRfu[2];
    uint32_t dwSampleTime_ms;
    uint32_t dwHidConnectTimeout_ms;
    uint8_t byDarkDeltaLimitWarning;
    uint8_t byDarkDeltaLimitError;
    uint8_t byRfu1;
    uint8_t byRfu2;
    TQFCKII qfMCDCScale_outer;
    TQFCKII qfMCDCScale_inner;
} CKNG_SETTINGS;

typedef struct BT_DEVICE {
    TMNAME snBtAddress;
    TMNAME snBtDeviceName;
} BT_DEVICE;

#define TOLA_BT_DEVICES_MAX 50

typedef struct BT_DEVICES {
    uint32_t iCount;
    BT_DEVICE qBtDevice[TOLA_BT_DEVICES_MAX];
} BT_DEVICES;

typedef struct DLL_VERSION {
    uint32_t dMajor;
    uint32_t dMinor;
    uint32_t dRelease;
    uint32_t dBuild;
    TNAME snVersion;
    TNAME snDate;
    TNAME snTime;
} DLL_VERSION;

/* ---- report records ------------------------------------------------------- */

typedef struct CKII_NORM {
    float qfGain_inner[16];
    float qfGain_outer[16];
    uint8_t qbyFurther[128];
} CKII_NORM;

typedef struct CKII_RESULTS {
    int32_t iMode;
    int32_t iMaterial;
    int32_t qiAreaState[3];
    TNAME qsn3D[3];
    TNAME qsnClassical[3];
    float qfParm[3][11];
    float qfDelta[3][17];
    int32_t iVerify_system;
    int32_t iVerify_quality;
    int32_t iVerify_shade;
    TNAME qsn3DInterp[3];
    TNAME qsn3DBlock[3];
    TNAME qsn3DBleached[3];
    TNAME qsnClassicalBlock[3];
    int32_t iAverageCount;
    uint32_t qdFurther[7];
    int32_t iWhiteness;
    uint8_t byFlags;
    uint8_t qbyRfu[3];
} CKII_RESULTS;

typedef struct SHADE_MATCH {
    int32_t iShade;
    int32_t iStatus;
    uint32_t dHits;
    TQFDELTA qfDelta;
    int32_t qiBest_fit[11];
} SHADE_MATCH;

typedef struct SENSOR_DETAILS {
    float qfSensor[40];
    float qfParmWt[11];
    float qfSpectrum[31];
} SENSOR_DETAILS;

typedef struct TOLA_SHADE_MATCH_DETAILS {
    SENSOR_DETAILS qSensor[3];
    float qfT[11];
    TNAME qsnClassical[3];
    uint32_t tClassical_method;
    SHADE_MATCH qClassical;
    uint8_t qbyFurther1236[3096 - 1236];
    TNAME sn3D;
    uint32_t t3D_method;
    SHADE_MATCH q3D;
    uint8_t qbyFurther3252[6724 - 3252];
    float qf3D[3];
    float qf3D_shade_parm[11];
    TQFDELTA qf3D_delta;
    uint32_t dRfu6848;
    float fThickness;
    int32_t iMaterial;
    int32_t iArea;
    int32_t iMode;
    int32_t qiStatus[3];
    TNAME snVerify_shade;
    int32_t iVerify_quality;
    TNAME snVerify_quality;
    int32_t iVerify_system;
    uint8_t qbyFurther6944[7312 - 6944];
    int32_t iAverageCount;
} TOLA_SHADE_MATCH_DETAILS;

typedef struct CKNG_CALMAT {
    float qfValue[669];
} CKNG_CALMAT;

/* ---- structure identifiers ------------------------------------------------ */

#define CKPSTRUCT_COMMSTRUCTURETABLE          1
#define CKPSTRUCT_COMMSTRUCTURESIZES          2
#define CKPSTRUCT_COMMVERSION                 3
#define CKPSTRUCT_SHADEROM_TOOTH              4
#define CKPSTRUCT_SHADEROM_TAB                5
#define CKPSTRUCT_SHADEROM_CERAMICVERIFY      6
#define CKPSTRUCT_SHADEROM_CERAMICMEASURE     7
#define CKPSTRUCT_COMMUSBHOST                 8
#define CKPSTRUCT_MEASUREDETAILS              9
#define CKPSTRUCT_COMMDISPLAYTEXT             10
#define CKPSTRUCT_COMMVERIFYSHADE             11
#define CKPSTRUCT_CKIIVERSIONDEFAULT          12
#define CKPSTRUCT_CKIISHADEROM_TOOTH          13
#define CKPSTRUCT_CKIISHADEROM_TAB            14
#define CKPSTRUCT_CKIISHADEROM_CERAMICVERIFY  15
#define CKPSTRUCT_CKIISHADEROM_CERAMICMEASURE 16
#define CKPSTRUCT_DATA                        17
#define CKPSTRUCT_CKIISETUP                   18
#define CKPSTRUCT_SETUPROM                    19
#define CKPSTRUCT_NORM                        20
#define CKPSTRUCT_SETTINGS                    21
#define CKPSTRUCT_ADD2                        22
#define CKPSTRUCT_MEAS                        23
#define CKPSTRUCT_RESULTS                     24
#define CKPSTRUCT_COMMMEASUREMENT             25
#define CKPSTRUCT_ADD3                        26
#define CKPSTRUCT_ADD4                        27
#define CKPSTRUCT_ADD5                        28
#define CKPSTRUCT_TABLEWORD18                 30
#define CKPSTRUCT_LOCAL                       0x800

/* transfer directions */
#define TOLA_DIRECTION_DOWNLOAD 1
#define TOLA_DIRECTION_UPLOAD   2
#define TOLA_DIRECTION_HALT     3

/* ---- address records of bTOLA_Get_CKP_Structure_Addresses ----------------- */

typedef struct CKP_STRUCTURE_ADDRESSES_1 {
    void* lpCOMM_STRUCTURE_TABLE;
    void* lpCOMM_STRUCTURE_SIZES;
    void* lpCOMM_VERSION;
    void* lpSHADE_ROM_TOOTH;
    void* lpSHADE_ROM_TAB;
    void* lpSHADE_ROM_CERAMICVERIFY;
    void* lpSHADE_ROM_CERAMICMEASURE;
    void* lpCOMM_USB_HOST;
    void* lpMEASURE_DETAILS;
    void* lpCOMM_DISPLAY_TEXT;
    void* lpCOMM_VERIFY_SHADE;
    void* lpDEFAULT_VERSION;
    void* lpDEFAULT_SHADE_ROM_TOOTH;
    void* lpDEFAULT_SHADE_ROM_TAB;
    void* lpDEFAULT_SHADE_ROM_CERAMICVERIFY;
    void* lpDEFAULT_SHADE_ROM_CERAMICMEASURE;
} CKP_STRUCTURE_ADDRESSES_1;

typedef struct CKP_STRUCTURE_ADDRESSES_2 {
    void* lpDATA;
    void* lpSETUP_ROM;
    void* lpDEFAULT_SETUP;
    void* lpNORM;
    void* lpSETTINGS;
    void* lpADD_2;
    void* lpMEAS;
    void* lpRESULTS;
    void* lpADD_3;
    void* lpADD_4;
} CKP_STRUCTURE_ADDRESSES_2;

/* Result of the functions without a prefix when the interface mutex stayed busy. */
#define TOLA_WAIT_TIMEOUT 258

/* ---- exported functions, in the order of the library's export table ------- */

TOLA_API int32_t iTOLA_comm_poll_initialize(PXM_COMM* lpComm);
TOLA_API int32_t TOLA_comm_close(void);
TOLA_API int32_t bTOLA_comm_test(void);
TOLA_API int32_t bTOLA_comm_poll_measurements(COMM_MEASUREMENT* lpMeasurement, int32_t iKind);
TOLA_API int32_t bTOLA_comm_poll_measurements_ex(COMM_MEASUREMENT* lpMeasurement, int32_t iSize, int32_t iKind);
TOLA_API int32_t bTOLA_comm_get_interface_name(char* lpText);
TOLA_API int32_t bTOLA_comm_get_queue_measurement(COMM_MEASUREMENT* lpMeasurement, int32_t iWhich);
TOLA_API int32_t bTOLA_comm_get_queue_measurement_ex(COMM_MEASUREMENT* lpMeasurement, int32_t iSize, int32_t iWhich);
TOLA_API uint32_t tTOLA_comm_poll(int32_t iFlags);
TOLA_API int32_t bTOLA_comm_reset(void);
TOLA_API int32_t bTOLA_comm_set_state(int32_t iState);
TOLA_API int32_t bTOLA_comm_get_current_BRLL(int16_t* lpBias, int32_t* lpRate, int32_t* lpLamp);
TOLA_API int32_t bTOLA_comm_set_bias(int32_t iBias);
TOLA_API int32_t bTOLA_comm_set_sample_rate(int32_t iIndex);
TOLA_API int32_t bTOLA_comm_lamp_shutter_LED(int32_t iBits);
TOLA_API int32_t bTOLA_comm_measure_color(void);
TOLA_API int32_t TOLA_comm_slave_mode(void);
TOLA_API int32_t bTOLA_comm_calibrate(void);
TOLA_API int32_t bTOLA_comm_defaults(void);
TOLA_API int32_t bTOLA_Transfer_structure(int32_t x, PXM_COMM* lpComm, void* lpStructure, int32_t y,
                                          int32_t iDirection, char* lpMessage);
TOLA_API int32_t TOLA_Get_COMM_structure_table(char* lpText, const COMM_STRUCTURE_TABLE* lpTable,
                                               const COMM_STRUCTURE_SIZES* lpSizes);
TOLA_API int32_t TOLA_Get_COMM_version(char* lpText, COMM_VERSION* lpVersion);
TOLA_API int32_t TOLA_Get_COMM_version_ex(char* lpText, COMM_VERSION* lpVersion, int32_t iSize);
TOLA_API int32_t TOLA_Get_CKII_setup(char* lpText, CKII_SETUP* lpSetup);
TOLA_API int32_t TOLA_Get_CKII_setup_ex(char* lpText, CKII_SETUP* lpSetup, int32_t iSize);
TOLA_API int32_t TOLA_Get_CKII_norm(char* lpText, CKII_NORM* lpNorm);
TOLA_API int32_t TOLA_Get_CKII_norm_ex(char* lpText, CKII_NORM* lpNorm, int32_t iSize);
TOLA_API int32_t TOLA_Get_CKII_settings(char* lpText, CKNG_SETTINGS* lpSettings);
TOLA_API int32_t TOLA_Get_CKII_settings_ex(char* lpText, CKNG_SETTINGS* lpSettings, int32_t iSize);
TOLA_API int32_t TOLA_Get_TOLA_SHADE_MATCH_DETAILS(char* lpText, TOLA_SHADE_MATCH_DETAILS* lpDetails,
                                                   int32_t iOption);
TOLA_API int32_t TOLA_Get_TOLA_SHADE_MATCH_DETAILS_ex(char* lpText, TOLA_SHADE_MATCH_DETAILS* lpDetails,
                                                      int32_t iSize, int32_t iOption);
TOLA_API int32_t TOLA_Get_CKII_results(char* lpText, CKII_RESULTS* lpResults);
TOLA_API int32_t TOLA_Get_CKII_results_ex(char* lpText, CKII_RESULTS* lpResults, int32_t iSize);
TOLA_API int32_t bTOLA_Get_CKP_Structure_Addresses(CKP_STRUCTURE_ADDRESSES_1* lpAddresses1,
                                                   CKP_STRUCTURE_ADDRESSES_2* lpAddresses2);
TOLA_API int32_t bTOLA_Get_CKP_Structure_Addresses_ex(CKP_STRUCTURE_ADDRESSES_1* lpAddresses1, int32_t iSize1,
                                                      CKP_STRUCTURE_ADDRESSES_2* lpAddresses2, int32_t iSize2);
TOLA_API int32_t bTOLA_Transfer_local_structure(PXM_COMM* lpComm, void* lpBuffer, int32_t iId, int32_t iSize,
                                                int32_t iDirection, char* lpMessage);
TOLA_API int32_t bTOLA_USB_CKII_control(int32_t iValue);
TOLA_API int32_t bTOLA_comm_clear_queue(void);
TOLA_API void TOLA_Get_Dll_version(DLL_VERSION* lpVersion);
TOLA_API void TOLA_Get_Dll_version_ex(DLL_VERSION* lpVersion, int32_t iSize);
TOLA_API int32_t bTOLA_comm_send_command(COMM_USB_HOST* lpHost);
TOLA_API int32_t bTOLA_comm_send_command_ex(COMM_USB_HOST* lpHost, int32_t iSize);
TOLA_API int32_t bTOLA_USB_Renesas_command(int32_t iCommand, int32_t iValue);
TOLA_API int32_t bTOLA_USB_Renesas_read(uint8_t* lpData, uint32_t dAddress, int32_t iLength);
TOLA_API int32_t bTOLA_USB_Renesas_write(uint8_t* lpData, uint32_t dAddress, int32_t iLength, int32_t iPause);
TOLA_API int32_t bTOLA_comm_GetCpuType(int32_t* lpType);
TOLA_API int32_t bTOLA_comm_Controller_command(int32_t iCommand, int32_t iValue);
TOLA_API int32_t bTOLA_comm_Controller_read(uint8_t* lpData, uint32_t dAddress, int32_t iLength);
TOLA_API int32_t bTOLA_comm_Controller_write(uint8_t* lpData, uint32_t dAddress, int32_t iLength, int32_t iPause);
TOLA_API int32_t bTOLA_comm_bt_discovery_ex(BT_DEVICES* lpDevices, int32_t iSize);
TOLA_API int32_t TOLA_comm_bt_set_device_ex(BT_DEVICE* lpDevice, int32_t iSize);
TOLA_API int32_t bTOLA_comm_bt_get_radio_count(int32_t iValue);
TOLA_API int32_t bTOLA_comm_bt_reinit(void);
TOLA_API int32_t bTOLA_comm_poll_set_details(int32_t iDetails);
TOLA_API int32_t TOLA_Get_CKNG_CalMat_ex(char* lpText, CKNG_CALMAT* lpCalMat, int32_t iSize);

/* ---- layout checks -------------------------------------------------------- */

#if defined(__cplusplus)
#define TOLA_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define TOLA_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#include <stddef.h>

TOLA_STATIC_ASSERT(sizeof(PXM_COMM) == 664, "PXM_COMM is 664 bytes");
TOLA_STATIC_ASSERT(offsetof(PXM_COMM, ssStatus) == 42, "ssStatus follows snRS232");
TOLA_STATIC_ASSERT(offsetof(PXM_COMM, tStatus) == 544, "tStatus on a word boundary");
TOLA_STATIC_ASSERT(offsetof(PXM_COMM, snDevice) == 560, "snDevice after dPID");
TOLA_STATIC_ASSERT(sizeof(COMM_VERSION) == 260, "COMM_VERSION is 260 bytes");
TOLA_STATIC_ASSERT(offsetof(COMM_VERSION, snVersion) == 78, "snVersion is the fourth name");
TOLA_STATIC_ASSERT(sizeof(COMM_STRUCTURE_TABLE) == 96, "structure table is 96 bytes");
TOLA_STATIC_ASSERT(offsetof(COMM_STRUCTURE_TABLE, dCOMM_STRUCTURE_TABLE_SIZES) == 64, "word 16");
TOLA_STATIC_ASSERT(offsetof(COMM_STRUCTURE_TABLE, dTABLEWORD18) == 72, "word 18");
TOLA_STATIC_ASSERT(sizeof(COMM_STRUCTURE_SIZES) == 96, "sizes table is 96 bytes");
TOLA_STATIC_ASSERT(sizeof(COMM_USB_HOST) == 64, "host block is 64 bytes");
TOLA_STATIC_ASSERT(sizeof(TOOTH_AREA) == 412, "TOOTH_AREA is 412 bytes");
TOLA_STATIC_ASSERT(sizeof(COMM_MEASUREMENT) == 2392, "COMM_MEASUREMENT is 2392 bytes");
TOLA_STATIC_ASSERT(offsetof(COMM_MEASUREMENT, iWIO2BGU) + 4 == 2376, "iWIO2BGU ends at 2376");
TOLA_STATIC_ASSERT(sizeof(CKII_SETUP) == 1392, "CKII_SETUP is 1392 bytes");
TOLA_STATIC_ASSERT(offsetof(CKII_SETUP, qRef) == 704, "qRef follows qqfTri");
TOLA_STATIC_ASSERT(sizeof(CKII_REFERENCE_TILE) == 172, "a reference tile is 172 bytes");
TOLA_STATIC_ASSERT(sizeof(CKNG_SETTINGS) == 512, "CKNG_SETTINGS is 512 bytes");
TOLA_STATIC_ASSERT(offsetof(CKNG_SETTINGS, bySapTabCounts) == 368, "byte fields at 368");
TOLA_STATIC_ASSERT(offsetof(CKNG_SETTINGS, byDarkDeltaLimitWarning) == 380, "byte fields at 380");
TOLA_STATIC_ASSERT(offsetof(CKNG_SETTINGS, qfMCDCScale_outer) == 384, "MCDC scales at 384");
TOLA_STATIC_ASSERT(sizeof(BT_DEVICE) == 102, "BT_DEVICE is 102 bytes");
TOLA_STATIC_ASSERT(sizeof(BT_DEVICES) == 5104, "BT_DEVICES is 5104 bytes");
TOLA_STATIC_ASSERT(sizeof(DLL_VERSION) == 96, "DLL_VERSION is 96 bytes");
TOLA_STATIC_ASSERT(sizeof(CKII_NORM) == 256, "CKII_NORM is 256 bytes");
TOLA_STATIC_ASSERT(offsetof(CKII_NORM, qfGain_outer) == 64, "qfGain_outer at 64");
TOLA_STATIC_ASSERT(sizeof(CKII_RESULTS) == 876, "CKII_RESULTS is 876 bytes");
TOLA_STATIC_ASSERT(offsetof(CKII_RESULTS, qsn3D) == 20, "qsn3D at 20");
TOLA_STATIC_ASSERT(offsetof(CKII_RESULTS, qsnClassical) == 98, "qsnClassical at 98");
TOLA_STATIC_ASSERT(offsetof(CKII_RESULTS, qfParm) == 176, "qfParm at 176");
TOLA_STATIC_ASSERT(offsetof(CKII_RESULTS, qfDelta) == 308, "qfDelta at 308");
TOLA_STATIC_ASSERT(offsetof(CKII_RESULTS, iVerify_system) == 512, "iVerify_system at 512");
TOLA_STATIC_ASSERT(offsetof(CKII_RESULTS, iVerify_shade) == 520, "iVerify_shade at 520");
TOLA_STATIC_ASSERT(offsetof(CKII_RESULTS, qsn3DInterp) == 524, "further fields at 524");
TOLA_STATIC_ASSERT(offsetof(CKII_RESULTS, iAverageCount) == 836, "average count at 836");
TOLA_STATIC_ASSERT(offsetof(CKII_RESULTS, iWhiteness) == 868, "whiteness at 868");
TOLA_STATIC_ASSERT(sizeof(SHADE_MATCH) == 124, "SHADE_MATCH is 124 bytes");
TOLA_STATIC_ASSERT(offsetof(SHADE_MATCH, qfDelta) == 12, "qfDelta at 12");
TOLA_STATIC_ASSERT(offsetof(SHADE_MATCH, qiBest_fit) == 80, "qiBest_fit at 80");
TOLA_STATIC_ASSERT(sizeof(SENSOR_DETAILS) == 328, "a sensor record is 328 bytes");
TOLA_STATIC_ASSERT(sizeof(TOLA_SHADE_MATCH_DETAILS) == 7316, "details are 7316 bytes");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, qfT) == 984, "qfT at 984");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, qsnClassical) == 1028, "qsnClassical at 1028");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, tClassical_method) == 1108, "tClassical_method at 1108");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, qClassical) == 1112, "qClassical at 1112");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, sn3D) == 3096, "sn3D at 3096");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, t3D_method) == 3124, "t3D_method at 3124");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, q3D) == 3128, "q3D at 3128");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, qf3D) == 6724, "qf3D at 6724");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, qf3D_shade_parm) == 6736, "qf3D_shade_parm at 6736");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, qf3D_delta) == 6780, "qf3D_delta at 6780");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, fThickness) == 6852, "fThickness at 6852");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, iMaterial) == 6856, "iMaterial at 6856");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, iArea) == 6860, "iArea at 6860");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, iMode) == 6864, "iMode at 6864");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, qiStatus) == 6868, "qiStatus at 6868");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, snVerify_shade) == 6880, "snVerify_shade at 6880");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, iVerify_quality) == 6908, "iVerify_quality at 6908");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, snVerify_quality) == 6912, "snVerify_quality at 6912");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, iVerify_system) == 6940, "iVerify_system at 6940");
TOLA_STATIC_ASSERT(offsetof(TOLA_SHADE_MATCH_DETAILS, iAverageCount) == 7312, "average count at 7312");
TOLA_STATIC_ASSERT(sizeof(CKNG_CALMAT) == 2676, "CKNG_CALMAT is 2676 bytes");
TOLA_STATIC_ASSERT(sizeof(CKP_STRUCTURE_ADDRESSES_1) == 16 * sizeof(void*), "16 pointers");
TOLA_STATIC_ASSERT(sizeof(CKP_STRUCTURE_ADDRESSES_2) == 10 * sizeof(void*), "10 pointers");

#undef TOLA_STATIC_ASSERT

#ifdef __cplusplus
}
#endif

#endif /* TOLA_COMM_H */
