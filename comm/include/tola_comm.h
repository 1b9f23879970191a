/**
 * @file tola_comm.h
 * @brief Public interface of the TOLA_comm library (`libTOLA_comm.so`).
 *
 * The records below cross the library boundary as raw memory: callers allocate
 * them, the library reads and fills them in place.  Every field is declared in
 * order with natural alignment; the sizes that callers and the library compare
 * are checked at compile time at the end of this header.
 *
 * Texts are 8-bit Windows-1252 bytes, NUL-terminated ("\\xAE" is the registered
 * sign).  Handles are 32-bit integers (file descriptors or Bluetooth client
 * handles); -1 means "not open".
 *
 * The header is plain C11 and C++ (`extern "C"`).  The exported functions are
 * grouped by what they do: @ref connection, @ref structures, @ref commands,
 * @ref controller, @ref measurements, @ref bluetooth, @ref reports and
 * @ref version.  How calls wait for each other is told in @ref calls.
 *
 * @defgroup calls Calls, threads and waiting
 * @brief The interface mutex, the results of a busy call, one connection per process.
 *
 * **The interface mutex.**  Every exported function except
 * TOLA_Get_Dll_version() and TOLA_Get_Dll_version_ex() runs under one
 * interface mutex named `CKP_InterfaceMutex` (or the name in the environment
 * variable `TOLA_MUTEX_NAME`), shared by every process of the same user that
 * loads the library: a robust, recursive, process-shared mutex in POSIX shared
 * memory (`/<name>.<uid>`).  A call waits at most **4000 ms** for it.  When it
 * stays busy that long, the call does nothing and returns:
 * - `0` for the functions with a `b`, `i` or `t` prefix (bTOLA_..., iTOLA_...,
 *   tTOLA_...),
 * - #TOLA_WAIT_TIMEOUT (258) for the functions without a prefix (TOLA_...).
 *
 * A function without a prefix that did run returns 1, also when its work
 * failed inside; a prefixed function returns 0 for such a failure.  A call
 * made while the library is being unloaded returns the busy result at once.
 *
 * The mutex is held for the whole call, including every fixed pause and every
 * wait for the instrument that the call makes.  Calls from other threads and
 * other processes therefore wait until it returns, and give up after 4000 ms:
 * a call that takes longer (bTOLA_comm_clear_queue() with its pauses, a
 * Bluetooth search, a reset) makes a concurrent call return its busy result.
 * A program that polls from one thread and sends commands from another gets a
 * busy result now and then and should try again.
 *
 * A process that dies while it holds the mutex counts as having released it.
 * The next caller takes it over; when this process's connection is on USB, the
 * library first replaces its USB connection with a fresh one (the dead owner
 * may have ended in the middle of an exchange with the instrument).
 *
 * If the shared mutex cannot be used (no POSIX shared memory, or an object of
 * that name that belongs to another user or that others may write), the
 * library says so once on standard error and serialises the threads of its
 * own process only.
 *
 * **Which calls from which thread.**  Every function may be called from any
 * thread: the calls are serialised, never run at the same time.  While one
 * thread is inside a call (a measurement poll, say), a call from another
 * thread waits for it as told above; only TOLA_Get_Dll_version() and
 * TOLA_Get_Dll_version_ex() run at once, without the mutex.  For example,
 * while one thread is inside bTOLA_comm_poll_measurements(), a
 * bTOLA_comm_measure_color() from another thread waits until the poll has
 * returned and then runs; a TOLA_comm_close() from another thread waits
 * likewise and then closes, and the polling thread's next poll finds no link
 * and returns 0.  The library calls back into no caller code.
 *
 * **One connection per process.**  The library keeps one instrument connection
 * per process.  iTOLA_comm_poll_initialize() remembers the address of the
 * caller's #PXM_COMM record, and later calls (tests, commands, polls, close)
 * read and write that record in place.  The record must therefore stay at its
 * address for as long as calls may be made, and a program with several
 * threads must not read or write it while another thread is inside a call
 * (its own serialisation of the calls, as the Python package has, solves
 * both).  The same holds for the host copies whose addresses
 * bTOLA_Get_CKP_Structure_Addresses() hands out.
 *
 * **Waits inside a call.**  Over USB every request waits at most 3000 ms for
 * its reply (15000 ms for a request that carries a flash sector erase, and for
 * the request after it); a request that gets no reply in that time counts as
 * refused and the USB channel is shut, so that every later request on it
 * fails until a new connection (a search step, or a reconnection).  To a
 * kind-4 instrument memory and structures move in pieces of at most 128
 * bytes, each a request and its reply.  Over a serial port or Bluetooth a
 * link check and a
 * command of the first generation go out no sooner than 50 ms after the last
 * write; a command byte waits at most 2000 ms for its acknowledgement,
 * a packet sent (up to 500 data bytes) at most 1000 ms for its
 * acknowledgement and is followed by a 50 ms pause, and a packet received
 * ends when nothing has arrived for 2000 ms (its header) or 1000 ms (its
 * data).  The fixed pauses and further waits of each call are given with the
 * call.
 *
 * **Status texts.**  Where a call writes a fixed text into
 * PXM_COMM::ssStatus, the text is quoted with the call, as a C string
 * literal.  Besides those, the links leave their own texts after a failed
 * exchange.  Over USB, with #TOLA_STATUS_USB_FAILURE, a text such as
 * `"Read MEM - FAILED, USB write, Address = 0x..., Length = ..."`, then
 * `" - "` and a line naming the failed step: `"\r\nUSB read"`,
 * `"\r\nUSB write"`, `"\r\nUSB test"`, `"\r\nUSB reset"` or
 * `"\r\nUSB address out of range"`.  Over a serial port or Bluetooth, with
 * #TOLA_STATUS_SERIAL_FAILURE, one of `"RS232 port not available"`,
 * `"RS232 TX full"`, `"RS232 TX overrun"`, `"RS232 RX parity"`,
 * `"RS232 RX overflow"`, `"RS232 RX frame"`, `"RS232 IO access"`,
 * `"RS232 other"`, `"Chromatik did not acknowledge"`,
 * `"Chromatik checksum error"`, `"Chromatik parity error"`,
 * `"Chromatik unknown command"`, `"Chromatik wrong command"`,
 * `"Chromatik packet length error"`, `"Chromatik number packets error"`,
 * `"Chromatik packet order error"`, `"Chromatik wrong num packets error"`,
 * `"Chromatik timeout error"`.  When the instrument's structures could not
 * be loaded over USB the text is `"USB not connected or power off"` (no USB
 * device open) or `"Software not loaded"`.
 *
 * **Size-tolerant records.**  The functions ending in `_ex` take the size of
 * the caller's record.  The library copies that many bytes (at most its own
 * record's size) into a zero-filled record of its own, works on that, then
 * zero-fills the caller's @p iSize bytes and copies back at most its own
 * record's size.  A caller's record that is shorter or longer than the
 * library's therefore works; fields beyond the caller's size are never
 * written.  A NULL record, a negative size or a size above 1 MiB (1048576
 * bytes) is refused without touching caller memory: the call does nothing
 * and returns 0 (prefixed functions) or 1 (functions without a prefix).
 *
 * **Halt and error stop.**  A halt (bTOLA_Transfer_structure() with
 * #TOLA_DIRECTION_HALT) or a new USB failure text raises a stop that ends
 * every chunked transfer with failure at its next piece.  The next search
 * step of iTOLA_comm_poll_initialize() and every new USB connection lift it.
 */
#ifndef TOLA_COMM_H
#define TOLA_COMM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** @cond TOLA_INTERNAL */
#if defined(TOLA_COMM_BUILDING)
#define TOLA_API __attribute__((visibility("default")))
#else
#define TOLA_API
#endif
/** @endcond */

/* ---- text and array types ------------------------------------------------ */

/**
 * @defgroup types Text and array types
 * @brief Fixed-size texts and arrays that the records are made of.
 * @{
 */

/** A name field: 26 bytes, a NUL-terminated text of at most 25 characters. */
typedef char TNAME[26];
/** A Bluetooth name field: 51 bytes, NUL-terminated. */
typedef char TMNAME[51];
/** A status text: 501 bytes, NUL-terminated.  Callers' message buffers for
 *  status and failure texts must hold this many bytes. */
typedef char TSTRING[501];

/** A spectrum: 31 values, 400 to 700 nm in steps of 10 nm. */
typedef float TQFSPECTRUM[31];
/** The eleven colour parameters: In, L, C, H, A, B, X, Y, Z, 1st, 2nd (C is
 *  chroma, H the hue in degrees, A and B the red-green and yellow-blue axes). */
typedef float TQFPARM[11];
/** The seventeen colour differences: Delta In, L, C, H, A, B, X, Y, Z, 1st,
 *  2nd, Delta E (index 11), Sum(Deltas), Sum(WtDeltas), Sum(UnComm),
 *  Sum(NormWt), Sum(NormUncomm). */
typedef float TQFDELTA[17];
/** Sixteen unsigned words, one per sensor channel. */
typedef uint32_t TQDCKII[16];
/** Sixteen signed words, one per sensor channel. */
typedef int32_t TQICKII[16];
/** Sixteen type words, one per sensor channel. */
typedef uint32_t TQTCKII[16];
/** Sixteen values, one per sensor channel. */
typedef float TQFCKII[16];

/** @} */

/* ---- PXM_COMM: the connection record (664 bytes) -------------------------- */

/**
 * @brief The connection record (664 bytes): which port to search, what was found, the status.
 * @ingroup connection
 *
 * The caller allocates it, zero-fills it, sets #dSize to 664 and #iPort, and
 * hands it to iTOLA_comm_poll_initialize().  The library remembers its
 * address and reads and writes it in place in later calls (see @ref calls):
 * it must stay at that address while calls may be made.
 */
typedef struct PXM_COMM {
    uint32_t dSize;           /**< must be 664; a record of another size is refused */
    int32_t hUSB;             /**< USB channel handle, -1 when closed (0 counts as -1 when a search step starts) */
    int32_t hRS232;           /**< serial port or Bluetooth connection, -1 when closed (0 counts as -1 when a search step starts) */
    uint32_t iPort;           /**< 0 search, 1 USB, 2..21 COM1..COM20, 500 Bluetooth (@ref ports); set by the caller */
    /** The port's name: `"COM1"`..`"COM20"` on a serial port (the device that
     *  the environment variable `TOLA_COM<n>` names, else `/dev/ttyS<n-1>`),
     *  `"Bluetooth"` on Bluetooth; after a limited USB search (see
     *  #TOLA_STATUS_PINNED) the USB channel socket the library connected on.
     *  Before a limited search the caller may name the wanted socket here. */
    TNAME snRS232;
    TSTRING ssStatus;         /**< the library's last status text (see @ref calls for the texts of the links) */
    uint32_t tStatus;         /**< status bits, @ref status_bits */
    uint32_t iDevice;         /**< the kind of instrument found, @ref device_kinds */
    uint32_t dVID;            /**< USB vendor identifier from the device descriptor (USB only) */
    uint32_t dPID;            /**< USB product identifier from the device descriptor (USB only) */
    /** The instrument's name: on USB `"Chromatik\xAE"` (kind 1),
     *  `"Chromatik\xAE Portivo"` (kind 4), ``"Renesas H8SX\\1653 'boot' mode."``
     *  (kind 3), `"Renesas unknown device"` or `"PXM Unknown Device"`; on a
     *  serial port and Bluetooth the name in the instrument's version block. */
    TNAME snDevice;
    TNAME snVersion;          /**< firmware release, from the version block's snRelease, e.g. "511vLE" */
    TNAME snInterface;        /**< interface version that selects the structure layouts, from the version block's snVersion, e.g. "CK0A.00.31.00" */
    /** Serial number, from the version block, e.g. "H51234".  Before a limited
     *  search the caller may name the wanted serial number here (see
     *  #TOLA_STATUS_PINNED). */
    TNAME snSerial_number;
} PXM_COMM;

/**
 * @defgroup status_bits Status bits of PXM_COMM::tStatus
 * @ingroup connection
 * @brief What the search found, which link is open, and what failed.
 *
 * The library sets and clears these bits; the caller sets only
 * #TOLA_STATUS_HOLD and #TOLA_STATUS_PINNED, and writes 0 to start a new
 * search.  The bits from #TOLA_STATUS_HARD_FAILURE_MIN up to bit 23
 * (#TOLA_STATUS_HARD_FAILURES) are failures; bits 24 to 28 hold the port
 * number of COM5..COM20.
 * @{
 */
#define TOLA_STATUS_INTERFACED        0x00000001u /**< connected: the search step found an instrument it serves */
#define TOLA_STATUS_TESTING           0x00000002u /**< a search step is trying a port */
#define TOLA_STATUS_HOLD              0x00000004u /**< set by the caller: iTOLA_comm_poll_initialize() returns 4 and does nothing */
#define TOLA_STATUS_SEARCH_ENDED      0x00000008u /**< the search gave up or refused the record */
#define TOLA_STATUS_USB               0x00000010u /**< the port being tried or connected is USB */
#define TOLA_STATUS_BLUETOOTH         0x00000020u /**< connected over Bluetooth */
#define TOLA_STATUS_COM1              0x00000100u /**< the port being tried or connected is COM1 */
#define TOLA_STATUS_COM2              0x00000200u /**< the port being tried or connected is COM2 */
#define TOLA_STATUS_COM3              0x00000400u /**< the port being tried or connected is COM3 */
#define TOLA_STATUS_COM4              0x00000800u /**< the port being tried or connected is COM4 */
#define TOLA_STATUS_COM_FIELD_SHIFT   24          /**< shift of the port field: COM5..COM20 are held as port number - 4 */
#define TOLA_STATUS_COM_FIELD_MASK    0x1F000000u /**< the port field of COM5..COM20 */
#define TOLA_STATUS_INTERNAL_ERROR    0x00001000u /**< the record was refused: wrong dSize, or an unterminated text of a limited search */
#define TOLA_STATUS_NO_INSTRUMENT     0x00002000u /**< no instrument answered */
#define TOLA_STATUS_UNKNOWN_PORT      0x00004000u /**< iPort names no port; for queue access: no link is open */
#define TOLA_STATUS_WRONG_DEVICE      0x00008000u /**< the device is not one the library serves, or not the wanted one */
#define TOLA_STATUS_TEST_FAILED       0x00010000u /**< bTOLA_comm_test() found the instrument silent, or the boot-mode handshake failed; also set alone by the calls that find the record's dSize wrong */
#define TOLA_STATUS_USB_FAILURE       0x00020000u /**< a USB exchange failed (the text is in ssStatus) */
#define TOLA_STATUS_SERIAL_FAILURE    0x00040000u /**< a serial or Bluetooth exchange failed (the text is in ssStatus) */
#define TOLA_STATUS_DESCRIPTOR_FAILED 0x00080000u /**< the USB device descriptor could not be read */
#define TOLA_STATUS_QUEUE_RANGE       0x00200000u /**< queue access: the entry asked for lies outside the queue */
#define TOLA_STATUS_QUEUE_READ_FAILED 0x00400000u /**< queue access: the entry could not be read */
#define TOLA_STATUS_HARD_FAILURE_MIN  0x00001000u /**< the lowest failure bit */
/** The failure bits: 0x1000 and above, below the port field of COM5..COM20. */
#define TOLA_STATUS_HARD_FAILURES     0x00FFF000u
/** Set by the caller, never by the library: limits the search that this call of
 * iTOLA_comm_poll_initialize() starts to one instrument.  PXM_COMM::snSerial_number
 * names its serial number (compared byte for byte, at most 25 characters) and, when
 * iPort is 0 or 1, PXM_COMM::snRS232 names the USB channel socket it sits at (a name in
 * the interface-class folder such as "dev1" or "usb-1-2.3", or "Chrmtk0-0",
 * "ezusb-0"); an empty field limits nothing.  The library takes both, clears
 * the bit and searches as usual, passing over every other instrument without
 * writing to it; on USB it writes the socket it connected on into snRS232.
 * When only others answer, the step fails with #TOLA_STATUS_WRONG_DEVICE and
 * ssStatus
 * `"Instrument <wanted> not found; answering: <serial> on <where>, ..."`
 * (`"no serial number"` stands for an instrument whose serial number could not be read).
 * A serial number without a socket must name one USB instrument: the step looks
 * at every socket and, when two answer with it, fails with WRONG_DEVICE and
 * ssStatus (one text)
 * `"Instrument <wanted> answers on dev0, dev2: more than one instrument has this serial number; name the socket as well"`.
 * A field that holds no NUL within its 26 bytes is refused: the call returns 3
 * with #TOLA_STATUS_INTERNAL_ERROR | #TOLA_STATUS_SEARCH_ENDED and ssStatus
 * `"Instrument limit refused: snSerial_number is not a terminated text"` or
 * `"Instrument limit refused: snRS232 is not a terminated text"`.
 * The limit holds until a call with tStatus 0 or TOLA_comm_close(). */
#define TOLA_STATUS_PINNED            0x40000000u
/** @} */

/**
 * @defgroup device_kinds Instrument kinds of PXM_COMM::iDevice
 * @ingroup connection
 * @brief Which instrument the search found, and over which link.
 * @{
 */
#define TOLA_DEVICE_NONE            0  /**< nothing identified yet */
#define TOLA_DEVICE_USB_CHROMATIK   1  /**< first generation on USB (EZ-USB; vendor 0xE1A7, product 0x5061) */
#define TOLA_DEVICE_SERIAL_CLASSIC  2  /**< first generation on a serial port */
#define TOLA_DEVICE_USB_H8SX_BOOT   3  /**< an H8SX controller in its boot mode on USB (vendor 0x045B, product 0x0025) */
#define TOLA_DEVICE_USB_PORTIVO     4  /**< memory-mapped generation on USB (vendor 0xE1A7, product 0x5062) */
#define TOLA_DEVICE_SERIAL_MAPPED_A 8  /**< memory-mapped generation on a serial port, answering the link check with 230 */
#define TOLA_DEVICE_SERIAL_MAPPED_B 9  /**< memory-mapped generation on a serial port, answering the link check with 231 */
#define TOLA_DEVICE_BT_MAPPED_A     10 /**< memory-mapped generation over Bluetooth, answering the link check with 230 */
#define TOLA_DEVICE_BT_MAPPED_B     11 /**< memory-mapped generation over Bluetooth, answering the link check with 231 */
/** @} */

/**
 * @defgroup ports Ports of PXM_COMM::iPort
 * @ingroup connection
 * @brief Where iTOLA_comm_poll_initialize() looks for an instrument.
 * @{
 */
#define TOLA_PORT_SEARCH    0   /**< automatic search: USB, then COM1..COM20, 5000 ms each (never Bluetooth) */
#define TOLA_PORT_USB       1   /**< USB only: the first socket of the USB channel folder that opens */
#define TOLA_PORT_COM1      2   /**< COM1; COM<n> is 1 + n */
#define TOLA_PORT_COM20     21  /**< COM20, the last serial port */
#define TOLA_PORT_BLUETOOTH 500 /**< Bluetooth: the device last given to TOLA_comm_bt_set_device_ex() */
/** @} */

/* ---- instrument records --------------------------------------------------- */

/**
 * @brief The instrument's identity and version block (260 bytes, structure #CKPSTRUCT_COMMVERSION).
 * @ingroup structures
 *
 * Ten name fields as the instrument keeps them; the search copies snName,
 * snRelease, snVersion and snSerial_number into the connection record.
 * TOLA_Get_COMM_version() renders it.
 */
typedef struct COMM_VERSION {
    TNAME snName;          /**< product name ("Name" in the version report) */
    TNAME snSerial_number; /**< serial number, e.g. "H51234" ("Serial #") */
    TNAME snRelease;       /**< firmware release, e.g. "511vLE" ("Release") */
    TNAME snVersion;       /**< interface version that selects the structure layouts, e.g. "CK0A.00.31.00" ("Version") */
    TNAME snRelease_date;  /**< date of the firmware release ("Release Date") */
    TNAME snInstall_date;  /**< installation date ("Intalled") */
    TNAME snPart;          /**< part number ("Part #") */
    TNAME snMFG1;          /**< manufacturing field 1 ("MFG1") */
    TNAME snMFG2;          /**< manufacturing field 2 ("MFG2") */
    TNAME snMFG3;          /**< manufacturing field 3 ("MFG3") */
} COMM_VERSION;

/** @cond TOLA_INTERNAL */
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
/** @endcond */

/**
 * @brief The instrument's structure table: 24 words, the first seventeen named (96 bytes, structure #CKPSTRUCT_COMMSTRUCTURETABLE).
 * @ingroup structures
 *
 * Each word is the address in the instrument's memory where a structure
 * lies; 0 where the instrument's layout release has none.  The words, in
 * order: `dCOMM_VERSION` (word 0), `dSETUP_ROM`, `dTOLA_SHADE_ROM`, `dNORM`,
 * `dMEASURE_DETAILS`, `dRESULTS`, `dDATA`, `dCOMM_USB_HOST` (word 7),
 * `dADD_1`, `dADD_2`, `dADD_3`, `dADD_4`, `dCOMM_DISPLAY_TEXT` (word 12),
 * `dADD_5`, `dMEAS`, `dSETTINGS` (word 15), `dCOMM_STRUCTURE_TABLE_SIZES`
 * (word 16: where the instrument's sizes table lies), `dRfu17`,
 * `dTABLEWORD18` (word 18) and `qdRfu19[5]` (words 19 to 23).  The fields are
 * declared by the macro `TOLA_STRUCTURE_TABLE_FIELDS`, shared with
 * #COMM_STRUCTURE_SIZES.  TOLA_Get_COMM_structure_table() renders it.
 */
typedef struct COMM_STRUCTURE_TABLE {
    TOLA_STRUCTURE_TABLE_FIELDS
} COMM_STRUCTURE_TABLE;

/**
 * @brief Same shape and word order as the structure table; each word is a size (96 bytes, structure #CKPSTRUCT_COMMSTRUCTURESIZES).
 * @ingroup structures
 *
 * The sizes in bytes that the instrument gives for its structures, word for
 * word as in #COMM_STRUCTURE_TABLE.  The library reads it when a
 * memory-mapped instrument (kinds 4, 8 to 11) connects; all zero when the
 * instrument's table names no sizes table.
 */
typedef struct COMM_STRUCTURE_SIZES {
    TOLA_STRUCTURE_TABLE_FIELDS
} COMM_STRUCTURE_SIZES;

/**
 * @brief Host command block: word roles are documented with the command set (64 bytes, structure #CKPSTRUCT_COMMUSBHOST).
 * @ingroup commands
 *
 * The block through which a host commands a memory-mapped instrument: the
 * library writes a block into the instrument's memory and reads its answer
 * back.  The words the library itself uses:
 * - word 0: the command: 0x1 lamp, shutter and LEDs; 0x2 set state; 0x4
 *   start (kind 1); 0x8 select a queue entry; 0x10 sample rate rewritten
 *   (kind 1); 0x20 bias; 0x200 (a step of storing the shade tables); 0x302
 *   host mode; 0x10000 service; 0x40000 sample rate; 0x800000 colour
 *   measurement; 0x1000000 calibration.  An instrument with the STM32
 *   controller clears it when it has carried the command out.
 * - word 1: the state for command 0x2 (20 operating, 53 store the settings);
 *   the mode for command 0x302.
 * - word 2: lamp, shutter and LED bits for command 0x1.
 * - word 3: for command 0x4, 1 measure, 2 calibrate.
 * - word 5: the queue index for command 0x8.
 * - word 6: the bias for command 0x20; word 7: the sample-rate index for
 *   command 0x40000.
 * - word 8: the instrument's state (a measurement is taken only in the
 *   states the instrument reports it in).
 * - word 9: the lamp, shutter and LED bits the instrument has switched.
 * - word 11: the service number for command 0x10000 (22 clear the queue,
 *   30 restore the defaults).
 * - word 12: the queue: position in the low 16 bits, count in the high 16.
 * - word 13: the bias in its low 16 bits.
 * - word 14: the command time in ms: bTOLA_comm_send_command() waits this
 *   long (at most 2000 ms) for the answer; the commands of the library wait
 *   word 14 / 20 ms.
 * - word 15: event flags: 0x2 a measurement is ready, 0x4 a measurement is
 *   sent again (echo), 0x8 the sample interval applies.
 */
typedef struct COMM_USB_HOST {
    uint32_t qdWord[16]; /**< the sixteen words, see above */
} COMM_USB_HOST;

/**
 * @brief The result of one measured area (412 bytes).
 * @ingroup measurements
 */
typedef struct TOOTH_AREA {
    TQFSPECTRUM qfSpectrum;      /**< the spectrum, 400 to 700 nm in steps of 10 nm */
    TQFPARM qfParm;              /**< the eleven colour parameters (see #TQFPARM) */
    TNAME snClassical;           /**< best shade of the classical shade guide ("---": none) */
    TNAME snClassical2;          /**< second best classical shade */
    TNAME snClassical3;          /**< third best classical shade */
    TQFDELTA qfClassical_delta;  /**< the colour differences to the best classical shade (zero when there is none) */
    TNAME sn3D;                  /**< best shade of the second shade system */
    TQFDELTA qf3D_delta;         /**< the colour differences to the second system's shade */
} TOOTH_AREA;

/**
 * @brief One measurement as the library hands it over (2392 bytes).
 * @ingroup measurements
 *
 * Filled by bTOLA_comm_poll_measurements(), bTOLA_comm_get_queue_measurement()
 * (and their `_ex` forms) and by bTOLA_Transfer_local_structure() with
 * #CKPSTRUCT_COMMMEASUREMENT.  #tStatus tells the kind of measurement:
 * - 0x1000 tooth; 0x800 tooth with average; 0x80000 tooth, average and
 *   whiteness; 0x2000 tab; 0x8000 ceramic; 0x4000 verification;
 * - tooth area: 0x1, 0x10, 0x100 area 1, 2, 3 measured; 0x2, 0x20 area 1, 2
 *   complete; 0x222 all three areas complete;
 * - 0x40000 alone: the instrument sent an earlier measurement again (echo).
 */
typedef struct COMM_MEASUREMENT {
    uint32_t dSize;                /**< 2392 */
    uint32_t dTime;                /**< the host's millisecond tick when the record was filled */
    uint32_t tStatus;              /**< the kind of measurement, see above */
    TNAME snMaterial;              /**< "Tooth", "Tooth Area", "Tab", "Ceramic", "Verify" or "Verify Ceramic" */
    TOOTH_AREA Single;             /**< the result of a single-area measurement */
    TOOTH_AREA qArea[3];           /**< the three areas of a tooth-area measurement */
    uint32_t iVerify_shade_system; /**< verification: the shade system of the verified shade */
    TNAME snVerify_shade;          /**< verification: the shade that was verified */
    TNAME snVerify_result;         /**< verification: "Excellent", "Good", "Fair" or "Adjust" */
    TQFDELTA qfVerDelta;           /**< verification: the colour differences */
    uint32_t dQueue;               /**< number of measurements in the instrument's queue (12 for the first generation) */
    uint32_t iQueue;               /**< position of the measurement in the queue; on entry to queue access mode 2 the index wanted */
    uint32_t iAverageCount;        /**< number of averaged readings */
    TNAME qsn3DInterp[3];          /**< interpolated shades of the second system, one per area */
    TNAME qsnClassicalBlock[3];    /**< classical block shades, one per area */
    TNAME qsn3DBlock[3];           /**< block shades of the second system, one per area */
    TNAME qsn3DBleached[3];        /**< bleached shades, one per area */
    TNAME qsnRfu1[3];              /**< reserved */
    TNAME qsnRfu2[3];              /**< reserved */
    TNAME qsnRfu3[3];              /**< reserved */
    uint32_t iWIO2BGU;             /**< the whiteness value reported with the measurement */
    uint32_t qdAux[4];             /**< filled only by #CKPSTRUCT_COMMMEASUREMENT for a whiteness measurement over Bluetooth: the first four further values of the results */
} COMM_MEASUREMENT;

/**
 * @brief One reference tile of the optical set-up (172 bytes).
 * @ingroup structures
 */
typedef struct CKII_REFERENCE_TILE {
    TNAME snName;          /**< the tile's name */
    float qfOuterLED[16];  /**< values per sensor channel under the outer LEDs ("OuterLED" in the set-up report) */
    float qfInnerLED[16];  /**< values per sensor channel under the inner LEDs ("InnerLED") */
    float fL;              /**< the tile's L value */
    float fa;              /**< the tile's a value */
    float fb;              /**< the tile's b value */
    float fDeltaE;         /**< the tile's Delta E */
} CKII_REFERENCE_TILE;

/**
 * @brief The optical set-up of the sensor (1392 bytes, structure #CKPSTRUCT_SETUPROM).
 * @ingroup structures
 *
 * Read when a memory-mapped instrument (kinds 4, 8 to 11) connects; it cannot be written
 * (a download of #CKPSTRUCT_SETUPROM reads it instead).  TOLA_Get_CKII_setup()
 * renders it.
 */
typedef struct CKII_SETUP {
    uint32_t dSensor;             /**< the sensor */
    TQTCKII qtType;               /**< type of each channel: bit 0x1 "S", bit 0x100 "L" in the reports' channel labels */
    TQDCKII qdFilter_center;      /**< filter centre of each channel */
    TQDCKII qdFilter_width;       /**< filter width of each channel */
    uint32_t dSensor_spec;        /**< number of entries used in qiSensor_spec */
    TQICKII qiSensor_spec;        /**< channel list "dSensor_spec" */
    uint32_t dSensor_LED;         /**< number of entries used in qiSensor_LED */
    TQICKII qiSensor_LED;         /**< channel list "dSensor_LED" */
    float qqfTri[31][3];          /**< X, Y, Z weights for each of the 31 wavelengths 400 to 700 nm */
    CKII_REFERENCE_TILE qRef[4];  /**< the four reference tiles */
} CKII_SETUP;

/**
 * @brief The instrument's operating settings (512 bytes, structure #CKPSTRUCT_SETTINGS).
 * @ingroup structures
 *
 * Read when a memory-mapped instrument (kinds 4, 8 to 11) connects.  TOLA_Get_CKII_settings()
 * renders it.  The names are the instrument's; the library itself uses only
 * dSamples (the event poll's interval, see tTOLA_comm_poll()).
 */
typedef struct CKNG_SETTINGS {
    float fGain_lin;                 /**< "fGain_lin" */
    TQFCKII qfRef_slope;             /**< per channel, "Lin.qfA" in the settings report */
    TQFCKII qfB;                     /**< per channel, "Lin.qfB" */
    TQFCKII qfScale_outer;           /**< per channel, "qfScale_outer" */
    TQFCKII qfScale_inner;           /**< per channel, "qfScale_inner" */
    uint32_t dACB_id;                /**< "dACB_id" */
    uint32_t dAuto_min;              /**< "dAuto_min" */
    uint32_t dAuto_max;              /**< "dAuto_max" */
    uint32_t dSamples;               /**< "dSamples"; with the sample-interval flag the event poll runs every dSamples / 40 ms (at most 2000) */
    uint32_t dLED_stable;            /**< "dLED_stable" */
    float fLED_drift_max;            /**< "fLED_drift_max" */
    float fMeas_stable_black;        /**< "fMeas_stable_black" */
    uint32_t dMeas_sample_black;     /**< "dMeas_sample_black" */
    float fMeas_stable_white;        /**< "fMeas_stable_white" */
    uint32_t dMeas_sample_white;     /**< "dMeas_sample_white" */
    uint32_t dTimeout_standby;       /**< "dTimeout_standby" */
    uint32_t dTimeout_power;         /**< "dTimeout_power" */
    uint32_t dBattery_ADC_full;      /**< "dBattery_ADC_full" */
    uint32_t dBattery_ADC_low;       /**< "dBattery_ADC_low" */
    float qfDeltaE[4];               /**< one Delta E per reference tile */
    uint32_t dBitValues1;            /**< bit values */
    float qfNNThreshold[4];          /**< four thresholds */
    float qfFilterLimits[4];         /**< four filter limits */
    uint8_t bySapTabCounts;          /**< a count */
    uint8_t byTftBackLight;          /**< display back light */
    uint8_t qbyRfu[2];               /**< reserved */
    uint32_t dwSampleTime_ms;        /**< a sample time in ms */
    uint32_t dwHidConnectTimeout_ms; /**< a connection time-out in ms */
    uint8_t byDarkDeltaLimitWarning; /**< dark delta limit, warning */
    uint8_t byDarkDeltaLimitError;   /**< dark delta limit, error */
    uint8_t byRfu1;                  /**< reserved */
    uint8_t byRfu2;                  /**< reserved */
    TQFCKII qfMCDCScale_outer;       /**< per channel, outer */
    TQFCKII qfMCDCScale_inner;       /**< per channel, inner */
} CKNG_SETTINGS;

/**
 * @brief One Bluetooth instrument: address and name (102 bytes).
 * @ingroup bluetooth
 */
typedef struct BT_DEVICE {
    TMNAME snBtAddress;    /**< Bluetooth address, e.g. "00:80:25:AB:CD:01" */
    TMNAME snBtDeviceName; /**< device name the search found */
} BT_DEVICE;

/** @ingroup bluetooth
 *  Most devices a Bluetooth search reports. */
#define TOLA_BT_DEVICES_MAX 50

/**
 * @brief The result of a Bluetooth search (5104 bytes).
 * @ingroup bluetooth
 */
typedef struct BT_DEVICES {
    uint32_t iCount;                          /**< number of devices found, at most #TOLA_BT_DEVICES_MAX */
    BT_DEVICE qBtDevice[TOLA_BT_DEVICES_MAX]; /**< the devices; the first iCount are filled */
} BT_DEVICES;

/**
 * @brief The library's own version (96 bytes).
 * @ingroup version
 */
typedef struct DLL_VERSION {
    uint32_t dMajor;   /**< 1 */
    uint32_t dMinor;   /**< 0 */
    uint32_t dRelease; /**< 12017 */
    uint32_t dBuild;   /**< 385 */
    TNAME snVersion;   /**< "1.0.12017.385" */
    TNAME snDate;      /**< "2022-01-18" */
    TNAME snTime;      /**< "15:17:11" */
} DLL_VERSION;

/* ---- report records ------------------------------------------------------- */

/**
 * @brief Normalisation data (256 bytes, structure #CKPSTRUCT_NORM).
 * @ingroup structures
 *
 * TOLA_Get_CKII_norm() renders it.
 */
typedef struct CKII_NORM {
    float qfGain_inner[16];  /**< gain of each sensor channel, inner ("qfGain_inner" in the norm report) */
    float qfGain_outer[16];  /**< gain of each sensor channel, outer ("qfGain_outer") */
    uint8_t qbyFurther[128]; /**< further bytes, moved as they are */
} CKII_NORM;

/**
 * @brief The instrument's results of the last measurement (876 bytes, structure #CKPSTRUCT_RESULTS).
 * @ingroup structures
 *
 * The measurement polls turn it into a #COMM_MEASUREMENT;
 * TOLA_Get_CKII_results() renders it.  Arrays of three hold one entry per
 * area of a tooth-area measurement.
 */
typedef struct CKII_RESULTS {
    int32_t iMode;                /**< kind of measurement: 1 tooth, 2 tooth area, 3 verification, 4 and 7 tab, 5 ceramic, 6 tooth with average, 12 whiteness alone */
    int32_t iMaterial;            /**< the material */
    int32_t qiAreaState[3];       /**< tooth area: 2 the area is measured, 4 it is complete */
    TNAME qsn3D[3];               /**< shade of the second shade system, per area */
    TNAME qsnClassical[3];        /**< classical shades: the best three for a single area, else one per area ("---": none) */
    float qfParm[3][11];          /**< the eleven colour parameters (see #TQFPARM), per area */
    float qfDelta[3][17];         /**< the seventeen colour differences (see #TQFDELTA), per area */
    int32_t iVerify_system;       /**< verification: 0 the classical shade guide, 1 the second system, 2 both */
    int32_t iVerify_quality;      /**< verification: 1 "Fair", 2 "Good", 3 "Excellent", anything else "Adjust" */
    int32_t iVerify_shade;        /**< verification: the index of the verified shade in the shade names of iVerify_system 0 or 1 */
    TNAME qsn3DInterp[3];         /**< interpolated shades of the second system, per area */
    TNAME qsn3DBlock[3];          /**< block shades of the second system, per area */
    TNAME qsn3DBleached[3];       /**< bleached shades, per area */
    TNAME qsnClassicalBlock[3];   /**< classical block shades, per area */
    int32_t iAverageCount;        /**< number of averaged readings */
    uint32_t qdFurther[7];        /**< further values */
    int32_t iWhiteness;           /**< the whiteness value */
    uint8_t byFlags;              /**< flags */
    uint8_t qbyRfu[3];            /**< reserved */
} CKII_RESULTS;

/**
 * @brief One shade-match result of the measurement details (124 bytes).
 * @ingroup structures
 */
typedef struct SHADE_MATCH {
    int32_t iShade;         /**< the shade found ("iShade" in the details report) */
    int32_t iStatus;        /**< its status ("iStatus") */
    uint32_t dHits;         /**< number of hits ("dHits") */
    TQFDELTA qfDelta;       /**< the seventeen colour differences to the shade */
    int32_t qiBest_fit[11]; /**< best fits ("qiBest_fit") */
} SHADE_MATCH;

/**
 * @brief The values of one sensor in the measurement details (328 bytes).
 * @ingroup structures
 */
typedef struct SENSOR_DETAILS {
    float qfSensor[40];   /**< the sensor's 40 readings */
    float qfParmWt[11];   /**< weights of the eleven colour parameters */
    float qfSpectrum[31]; /**< the spectrum, 400 to 700 nm in steps of 10 nm */
} SENSOR_DETAILS;

/**
 * @brief The measurement details (7316 bytes, structure #CKPSTRUCT_MEASUREDETAILS).
 * @ingroup structures
 *
 * Fetched by the measurement polls when bit 0x2 of
 * bTOLA_comm_poll_set_details() is set; TOLA_Get_TOLA_SHADE_MATCH_DETAILS()
 * renders it.  The `qbyFurther` arrays keep the offsets of the fields after
 * them; their bytes are moved as they are.
 */
typedef struct TOLA_SHADE_MATCH_DETAILS {
    SENSOR_DETAILS qSensor[3];              /**< the three sensors: inner, ring, principal */
    float qfT[11];                          /**< "qfT" */
    TNAME qsnClassical[3];                  /**< the best three classical shades */
    uint32_t tClassical_method;             /**< the classical match's method */
    SHADE_MATCH qClassical;                 /**< the classical shade match */
    uint8_t qbyFurther1236[3096 - 1236];    /**< bytes 1236 to 3095 */
    TNAME sn3D;                             /**< the shade of the second shade system */
    uint32_t t3D_method;                    /**< the second system's match method */
    SHADE_MATCH q3D;                        /**< the second system's shade match */
    uint8_t qbyFurther3252[6724 - 3252];    /**< bytes 3252 to 6723 */
    float qf3D[3];                          /**< "qf3D" */
    float qf3D_shade_parm[11];              /**< the eleven colour parameters of the second system's shade */
    TQFDELTA qf3D_delta;                    /**< the colour differences to the second system's shade */
    uint32_t dRfu6848;                      /**< reserved */
    float fThickness;                       /**< thickness */
    int32_t iMaterial;                      /**< the material */
    int32_t iArea;                          /**< the area */
    int32_t iMode;                          /**< kind of measurement, as CKII_RESULTS::iMode */
    int32_t qiStatus[3];                    /**< state of each area of a tooth area */
    TNAME snVerify_shade;                   /**< verification: the shade verified */
    int32_t iVerify_quality;                /**< verification: 1 "Fair", 2 "Good", 3 "Excellent", anything else "Adjust" */
    TNAME snVerify_quality;                 /**< verification: the verdict as the instrument words it */
    int32_t iVerify_system;                 /**< verification: 0 the classical system, else the second system */
    uint8_t qbyFurther6944[7312 - 6944];    /**< bytes 6944 to 7311 */
    int32_t iAverageCount;                  /**< number of averaged readings */
} TOLA_SHADE_MATCH_DETAILS;

/**
 * @brief The calibration matrix: 669 values (2676 bytes, structure #CKPSTRUCT_ADD3).
 * @ingroup structures
 *
 * TOLA_Get_CKNG_CalMat_ex() renders it: the inner block from value 1 and the
 * outer block from value 100, nine values per wavelength 400 to 700 nm.
 */
typedef struct CKNG_CALMAT {
    float qfValue[669]; /**< the values */
} CKNG_CALMAT;

/* ---- structure identifiers ------------------------------------------------ */

/**
 * @defgroup structure_ids Structure identifiers
 * @ingroup structures
 * @brief The structures bTOLA_Transfer_local_structure() moves, by identifier.
 *
 * Which identifiers a link serves: USB 1 to 27; a serial port (kinds 8 and 9)
 * 1 to 25; Bluetooth 1 to 28 and 30.  Over a serial port and Bluetooth the
 * shade tables and the set-up are read only, #CKPSTRUCT_ADD3,
 * #CKPSTRUCT_ADD4 and #CKPSTRUCT_TABLEWORD18 are served over Bluetooth only
 * and #CKPSTRUCT_ADD5 is read over Bluetooth only.  Sizes are those of the
 * library's host layout, which the library converts to and from the layout
 * of the instrument's release.
 * @{
 */
#define CKPSTRUCT_COMMSTRUCTURETABLE          1     /**< #COMM_STRUCTURE_TABLE (96 bytes), read from the instrument */
#define CKPSTRUCT_COMMSTRUCTURESIZES          2     /**< #COMM_STRUCTURE_SIZES (96 bytes): the library's copy, no exchange */
#define CKPSTRUCT_COMMVERSION                 3     /**< #COMM_VERSION (260 bytes) */
#define CKPSTRUCT_SHADEROM_TOOTH              4     /**< the four shade tables, moved together (4 x 8788 bytes) */
#define CKPSTRUCT_SHADEROM_TAB                5     /**< the four shade tables, as #CKPSTRUCT_SHADEROM_TOOTH */
#define CKPSTRUCT_SHADEROM_CERAMICVERIFY      6     /**< the four shade tables, as #CKPSTRUCT_SHADEROM_TOOTH */
#define CKPSTRUCT_SHADEROM_CERAMICMEASURE     7     /**< the four shade tables, as #CKPSTRUCT_SHADEROM_TOOTH */
#define CKPSTRUCT_COMMUSBHOST                 8     /**< #COMM_USB_HOST (64 bytes); download and upload only */
#define CKPSTRUCT_MEASUREDETAILS              9     /**< #TOLA_SHADE_MATCH_DETAILS (7316 bytes) */
#define CKPSTRUCT_COMMDISPLAYTEXT             10    /**< the display text (216 bytes) */
#define CKPSTRUCT_COMMVERIFYSHADE             11    /**< not built into this library: always fails */
#define CKPSTRUCT_CKIIVERSIONDEFAULT          12    /**< not built into this library: always fails */
#define CKPSTRUCT_CKIISHADEROM_TOOTH          13    /**< not built into this library: always fails */
#define CKPSTRUCT_CKIISHADEROM_TAB            14    /**< not built into this library: always fails */
#define CKPSTRUCT_CKIISHADEROM_CERAMICVERIFY  15    /**< not built into this library: always fails */
#define CKPSTRUCT_CKIISHADEROM_CERAMICMEASURE 16    /**< not built into this library: always fails */
#define CKPSTRUCT_DATA                        17    /**< the data block (168 bytes) */
#define CKPSTRUCT_CKIISETUP                   18    /**< not built into this library: always fails */
#define CKPSTRUCT_SETUPROM                    19    /**< #CKII_SETUP (1392 bytes); always read, also when asked to download */
#define CKPSTRUCT_NORM                        20    /**< #CKII_NORM (256 bytes) */
#define CKPSTRUCT_SETTINGS                    21    /**< #CKNG_SETTINGS (512 bytes) */
#define CKPSTRUCT_ADD2                        22    /**< additional block 2 (68 bytes) */
#define CKPSTRUCT_MEAS                        23    /**< the measurement block (2280 bytes) */
#define CKPSTRUCT_RESULTS                     24    /**< #CKII_RESULTS (876 bytes) */
#define CKPSTRUCT_COMMMEASUREMENT             25    /**< #COMM_MEASUREMENT (2392 bytes) composed from the library's copies of the last measurement; only with #CKPSTRUCT_LOCAL, never downloaded */
#define CKPSTRUCT_ADD3                        26    /**< #CKNG_CALMAT (2676 bytes) */
#define CKPSTRUCT_ADD4                        27    /**< additional block 4 (576 bytes) */
#define CKPSTRUCT_ADD5                        28    /**< the short result record (624 bytes), Bluetooth only, read only */
#define CKPSTRUCT_TABLEWORD18                 30    /**< the record at table word 18 (11 bytes), Bluetooth only */
/** Added to an identifier: no exchange with the instrument.  A download
 *  writes the caller's bytes into the library's copy, an upload gives the
 *  caller the library's copy as last read.  Identifiers 1 and 8 exchange
 *  with the instrument all the same. */
#define CKPSTRUCT_LOCAL                       0x800
/** @} */

/**
 * @defgroup directions Transfer directions
 * @ingroup structures
 * @brief The iDirection of the structure transfers.
 * @{
 */
#define TOLA_DIRECTION_DOWNLOAD 1 /**< from the caller to the instrument (write) */
#define TOLA_DIRECTION_UPLOAD   2 /**< from the instrument to the caller (read) */
#define TOLA_DIRECTION_HALT     3 /**< bTOLA_Transfer_structure() only: raise the halt that ends chunked transfers */
/** @} */

/* ---- address records of bTOLA_Get_CKP_Structure_Addresses ----------------- */

/**
 * @brief Where the library keeps its copies of the instrument's structures, first list.
 * @ingroup structures
 *
 * Filled by bTOLA_Get_CKP_Structure_Addresses().  The addresses point into the
 * library's own static memory and stay valid while the library is loaded; the
 * `lpDEFAULT_...` ones point at the library's read-only built-in defaults,
 * which must not be written.  Read and write through them only while no call
 * is running (see @ref calls).
 */
typedef struct CKP_STRUCTURE_ADDRESSES_1 {
    void* lpCOMM_STRUCTURE_TABLE;             /**< #COMM_STRUCTURE_TABLE */
    void* lpCOMM_STRUCTURE_SIZES;             /**< #COMM_STRUCTURE_SIZES */
    void* lpCOMM_VERSION;                     /**< #COMM_VERSION */
    void* lpSHADE_ROM_TOOTH;                  /**< first shade table (8788 bytes) */
    void* lpSHADE_ROM_TAB;                    /**< second shade table */
    void* lpSHADE_ROM_CERAMICVERIFY;          /**< third shade table */
    void* lpSHADE_ROM_CERAMICMEASURE;         /**< fourth shade table */
    void* lpCOMM_USB_HOST;                    /**< #COMM_USB_HOST */
    void* lpMEASURE_DETAILS;                  /**< #TOLA_SHADE_MATCH_DETAILS */
    void* lpCOMM_DISPLAY_TEXT;                /**< the display text (216 bytes) */
    void* lpCOMM_VERIFY_SHADE;                /**< reserved (256 bytes), never filled */
    void* lpDEFAULT_VERSION;                  /**< built-in default #COMM_VERSION */
    void* lpDEFAULT_SHADE_ROM_TOOTH;          /**< built-in default first shade table */
    void* lpDEFAULT_SHADE_ROM_TAB;            /**< built-in default second shade table */
    void* lpDEFAULT_SHADE_ROM_CERAMICVERIFY;  /**< built-in default third shade table */
    void* lpDEFAULT_SHADE_ROM_CERAMICMEASURE; /**< built-in default fourth shade table */
} CKP_STRUCTURE_ADDRESSES_1;

/**
 * @brief Where the library keeps its copies of the instrument's structures, second list.
 * @ingroup structures
 *
 * As #CKP_STRUCTURE_ADDRESSES_1.
 */
typedef struct CKP_STRUCTURE_ADDRESSES_2 {
    void* lpDATA;          /**< the data block (168 bytes) */
    void* lpSETUP_ROM;     /**< #CKII_SETUP */
    void* lpDEFAULT_SETUP; /**< built-in default #CKII_SETUP */
    void* lpNORM;          /**< #CKII_NORM */
    void* lpSETTINGS;      /**< #CKNG_SETTINGS */
    void* lpADD_2;         /**< additional block 2 (68 bytes) */
    void* lpMEAS;          /**< the measurement block (2280 bytes) */
    void* lpRESULTS;       /**< #CKII_RESULTS */
    void* lpADD_3;         /**< #CKNG_CALMAT (2676 bytes) */
    void* lpADD_4;         /**< additional block 4 (576 bytes) */
} CKP_STRUCTURE_ADDRESSES_2;

/** @ingroup calls
 *  Result of the functions without a prefix when the interface mutex stayed busy. */
#define TOLA_WAIT_TIMEOUT 258

/* ---- exported functions, in the order of the library's export table ------- */

/**
 * @defgroup connection Connection: search, test, close
 * @brief Finding an instrument, keeping the connection, closing it.
 *
 * A host zero-fills a #PXM_COMM, sets its dSize and iPort and calls
 * iTOLA_comm_poll_initialize() until it returns 1 (connected) or 3 (failed),
 * with a short pause between the calls: each call is one step of the search
 * and returns 2 while it goes on (0 when the interface mutex was busy).
 * TOLA_comm_close() ends the connection.
 *
 * @defgroup structures Structures
 * @brief Reading and writing the instrument's structures.
 *
 * The library keeps a host copy of each structure of the connected
 * instrument, converted to and from the layout of the instrument's release.
 * bTOLA_Transfer_local_structure() moves a structure by identifier between
 * the caller's buffer, the host copy and the instrument.
 *
 * @defgroup commands Device commands
 * @brief Commands to the connected instrument: reset, states, lamp, measure, calibrate.
 *
 * Each command is carried in the way of the instrument kind: on the
 * memory-mapped generation (kinds 4, 8 to 11) through the host command block
 * (#COMM_USB_HOST) written into the instrument's memory and read back; on
 * the first generation on USB (kind 1) through the host command block or its
 * command pipe; on the first generation on a serial port (kind 2) as a
 * command byte.  A command the connected kind does not take returns 0
 * without any exchange, as does every command when no instrument is
 * connected (TOLA_comm_slave_mode() returns 1 all the same).
 *
 * Over the host command block a command writes the block and, unless its
 * wait is 0, reads the answer back after the wait (at most 2000 ms); an
 * instrument with the STM32 controller is read every 40 ms instead until it
 * has cleared word 0, and the command fails when it has not cleared it
 * within the wait.  The "command wait" below is 50 ms, or the interval that
 * the last event poll (tTOLA_comm_poll()) worked out.
 *
 * @defgroup controller Controller and boot loader
 * @brief The controller's memory and its boot-loader commands, for firmware updates.
 *
 * Served on USB by kind 4 and, in part, over a serial port (kinds 8 and 9)
 * and Bluetooth (kinds 10 and 11).  Each operation has two names that share
 * one implementation: `bTOLA_USB_Renesas_...` and `bTOLA_comm_Controller_...`.
 *
 * @defgroup measurements Measurements
 * @brief Polling for new measurements, the instrument's queue, the event poll.
 *
 * The first measurement poll (bTOLA_comm_poll_measurements() or
 * bTOLA_comm_poll_measurements_ex()) after the library is loaded, and the
 * first after every call of iTOLA_comm_poll_initialize(), returns 0 whatever
 * it found: what the instrument held before is not new.  A host therefore
 * polls once right after connecting and discards the result.
 *
 * @defgroup bluetooth Bluetooth
 * @brief Searching for Bluetooth instruments and choosing one.
 *
 * These functions pass through to the Bluetooth client library, which the
 * library loads on first need: `libTolaBtClient.so` by its plain name, or the
 * file that the environment variable `TOLA_BT_CLIENT` names.  How long a
 * search takes is the client's: the BlueZ client searches for 10000 ms, or
 * for the milliseconds in `TOLA_BT_SCAN_MS` (0 to 120000), and waits up to
 * 10000 ms for a connection.
 *
 * @defgroup reports Text reports
 * @brief Service texts of the records the caller passes.
 *
 * The reports format the record they are given and exchange nothing with the
 * instrument; they still take the interface mutex.  The text buffer must hold
 * 10000 bytes: a report never writes past them (a piece that does not fit is
 * cut or left out).  Lines end with `"\r\n"`, columns are separated by tabs.
 * A NULL text makes the report write nothing.
 *
 * @defgroup version Library version
 * @brief The library's own version; callable at any time from any thread.
 */

/**
 * @ingroup connection
 * @brief One step of the search for an instrument: call again while it returns 2.
 *
 * Before the first call the caller zero-fills @p lpComm, sets
 * PXM_COMM::dSize to 664 and PXM_COMM::iPort (@ref ports); a tStatus of 0
 * starts a new search, a tStatus left from the previous step goes on with it.
 * Every call remembers @p lpComm as the connection record (see @ref calls),
 * loads the Bluetooth client library when it is not loaded yet, and makes the
 * next measurement poll return 0; the last is done before the call waits for
 * the interface mutex, so also when the call itself finds it busy.
 *
 * - iPort 0 tries USB, then COM1 to COM20: each port through successive calls
 *   for 5000 ms from its first step, or until its device turns out to be a
 *   wrong one.  After COM20 the search ends with #TOLA_STATUS_NO_INSTRUMENT |
 *   #TOLA_STATUS_SEARCH_ENDED and `"Can't find a comm port"`.  Bluetooth is
 *   never tried by the automatic search.
 * - iPort 1 (USB) gives up 5000 ms after the last call with tStatus 0:
 *   #TOLA_STATUS_NO_INSTRUMENT is added and the call returns 3.
 * - iPort 2 to 21 (COM1 to COM20) and 500 (Bluetooth) are tried until an
 *   instrument connects or a failure bit (#TOLA_STATUS_HARD_FAILURES) is set.
 *
 * The USB step opens the first socket of the USB channel folder that opens
 * (the folder `$TOLA_USB_DIR`, else `$XDG_RUNTIME_DIR/tola/usb`, else
 * `/tmp/tola-<uid>/usb`: the sockets of its interface-class folder in name
 * order, then `Chrmtk0-0`, then `ezusb-0`), reads the device descriptor and
 * tells the instrument by vendor and product (@ref device_kinds).  For kinds
 * 1 and 4 it loads the structure table and the version block (for kind 1
 * also its set-up, for kind 4 the sizes table, the set-up and the settings);
 * for kind 3 it makes the
 * boot-mode handshake (#TOLA_STATUS_TEST_FAILED when that fails).  The serial
 * step opens the port and sends the link check: an answer of 230 or 231 is
 * the memory-mapped generation (kinds 8, 9), whose structures are loaded;
 * any other answer is the first generation (kind 2); no answer fails the
 * step with #TOLA_STATUS_NO_INSTRUMENT.  The Bluetooth step has
 * the client connect to the device given to TOLA_comm_bt_set_device_ex() and
 * sends the link check (a second time after 300 ms when unanswered); 230 or
 * 231 are kinds 10 and 11, anything else is disconnected.  A connected step
 * fills iDevice, snDevice, snVersion, snInterface and snSerial_number, sets
 * #TOLA_STATUS_INTERFACED with the bits of the link, and returns 1.
 * #TOLA_STATUS_PINNED limits the search to one instrument.
 *
 * Status texts: every step first empties ssStatus; then
 * - `"Testing USB"`: no instrument on USB yet (the step goes on);
 * - `"USB Open"`: a USB device was opened and identified (replaced by
 *   `"USB not connected or power off"` or `"Software not loaded"` when its
 *   structures could not be loaded);
 * - `"Testing COM<n> for interface"`, and `"Testing RS232 COM<n>"` when the
 *   step did not connect;
 * - `"Testing Bluetooth for interface"`, and `"Testing Bluetooth"` when the
 *   step did not connect (`"Testing "` when the client made no connection:
 *   that clears snRS232);
 * - `"Can't find a comm port"`: the automatic search tried every port;
 * - `"Unknown Interface Port"`: iPort names no port; whatever link was open is
 *   closed, tStatus becomes #TOLA_STATUS_UNKNOWN_PORT |
 *   #TOLA_STATUS_SEARCH_ENDED;
 * - `"Internal errror\r\nsizeof(PXM_COMM) != dSize"`: dSize is not 664;
 *   written only where the size the record declares holds ssStatus, and
 *   tStatus becomes #TOLA_STATUS_INTERNAL_ERROR | #TOLA_STATUS_SEARCH_ENDED
 *   only where it holds tStatus; nothing else of the record is written;
 * - the texts of a limited search (#TOLA_STATUS_PINNED).
 *
 * With @p lpComm NULL the library writes `"ERROR: lpComm not defined"` on
 * standard error and returns 3.
 *
 * Blocks for one step: a step that finds nothing returns at once (a failed
 * serial open or Bluetooth connection after a 300 ms pause); the USB step
 * pauses 5 ms before and after reading the descriptor, and one that connects
 * loads the structures (each USB request waiting at most 3000 ms); the serial link check waits 200 ms, the Bluetooth one 800 ms,
 * for the answer; a serial or Bluetooth step that connects pauses 300 ms
 * two to four times and loads the structures; the Bluetooth client's
 * connection takes as long as the client does (BlueZ: up to 10000 ms).
 *
 * @param[in,out] lpComm the connection record; remembered, see @ref calls
 * @retval 1 connected: #TOLA_STATUS_INTERFACED is set
 * @retval 2 not yet: call again (after a short pause)
 * @retval 3 failed: the search ended or the record was refused (tStatus and ssStatus tell why)
 * @retval 4 tStatus holds #TOLA_STATUS_HOLD: nothing was done
 * @retval 0 the interface mutex stayed busy for 4000 ms (or an unexpected failure): call again
 */
TOLA_API int32_t iTOLA_comm_poll_initialize(PXM_COMM* lpComm);

/**
 * @ingroup connection
 * @brief Closes the connection and empties the connection record.
 *
 * Closes the USB channel, the serial port or the Bluetooth connection of the
 * connection record (and any link still open from an earlier record), and
 * lifts the limit of a limited search (#TOLA_STATUS_PINNED).  When the record
 * is a valid one (dSize 664) it is zero-filled and left with dSize 664, hUSB
 * and hRS232 -1, tStatus 0 and ssStatus `"Ports closed, not interfaced"`; a
 * record of another size is not written.  Without any record (no search
 * yet) nothing is done.  The library still remembers the record's address:
 * later calls read it (they find no link open).
 *
 * Blocks: closing a serial port or a Bluetooth connection pauses 200 ms.
 *
 * @retval 1 done
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms; nothing was closed
 */
TOLA_API int32_t TOLA_comm_close(void);

/**
 * @ingroup connection
 * @brief Tells whether the connected instrument still answers.
 *
 * - USB: answers 1 at once when a memory transfer succeeded within the last
 *   2000 ms, else reads the device descriptor (one request).  On failure:
 *   #TOLA_STATUS_TEST_FAILED | #TOLA_STATUS_USB_FAILURE and
 *   `"USB failure, no responce"`.
 * - Serial port: answers 1 at once when bytes arrived within the last
 *   5000 ms; otherwise sends a link check (at most once every 5000 ms) and
 *   answers 1, and the next call waits up to 2000 ms for its answer; the
 *   second answer in a row that does not come makes it 0:
 *   #TOLA_STATUS_TEST_FAILED | #TOLA_STATUS_SERIAL_FAILURE and
 *   `"RS232 failure, no responce"`.
 * - Bluetooth (kinds 10, 11): as the serial port with 1000 ms, 1000 ms and
 *   the first missed answer; the text is `"Bluetooth failure, no responce"`.
 *
 * A success clears #TOLA_STATUS_TEST_FAILED.  With no link open, or no
 * record, the result is 0 and nothing is written.  A record whose dSize is
 * not 664 gets `"Interface Failure, wrong version"` and
 * #TOLA_STATUS_WRONG_DEVICE (each only where its declared size holds the
 * field).
 *
 * Blocks: at most one USB request (3000 ms), or up to 2000 ms (serial) or
 * 1000 ms (Bluetooth) for the answer to a check sent by an earlier call.
 *
 * @retval 1 the instrument answers
 * @retval 0 it does not, no link is open, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_test(void);

/**
 * @ingroup measurements
 * @brief The newest measurement of the instrument, when there is a new one.
 *
 * With @p iKind not 0 ("only new") the call is rate-limited: within 500 ms of
 * the last poll that passed the limit it returns 0 at once, without any
 * exchange (poll every 520 ms or so).  It then reads the instrument's host
 * command block and fetches the measurement only when the block reports one
 * (event flag 0x2 or 0x4 in word 15) in a state that counts as measured.
 * With @p iKind 0 it fetches the current results whether they are new or not.
 * A fetched measurement is acknowledged: the event flags are cleared and the
 * block is written back (with a 100 ms wait).  A measurement that could not
 * be fetched is not acknowledged, so the next poll fetches it again.
 *
 * What is fetched: kind 1 the results table and the details; kinds 8 and 9
 * the results and the details; kinds 4, 10 and 11 what
 * bTOLA_comm_poll_set_details() chose (results, details, or the short
 * result record).  Kind 2 (first generation on a serial port) is asked for
 * its results (code 41, waiting up to 4000 ms for them) with @p iKind 0, and
 * with @p iKind not 0 delivers a results message that arrived.  The
 * measurement is interpreted into @p lpMeasurement: zero-filled first, dSize
 * 2392, dTime the host's tick, the kind bits in tStatus (see
 * #COMM_MEASUREMENT), iQueue and dQueue from the host block's queue word
 * (dQueue 12 for the first generation).  A measurement the instrument sent again comes with
 * tStatus 0x40000 alone.
 *
 * The result is 0 with the record filled all the same on the first poll
 * after loading and after every iTOLA_comm_poll_initialize() (see
 * @ref measurements).  It is 0 with tStatus 0x8000 in the measurement when
 * the instrument's layout release is not one whose measurements the library
 * reads (first generation CK0A.00.11.00, .14.00, .15.00; later generations
 * before CK0A.00.24.00).  With @p lpMeasurement NULL the instrument is asked
 * and the measurement acknowledged, and the result is 0.  When the
 * connection record's dSize is not 664 its tStatus becomes 0x10000 and the
 * result is 0.
 *
 * @p lpMeasurement must hold a whole #COMM_MEASUREMENT (2392 bytes);
 * bTOLA_comm_poll_measurements_ex() takes the caller's size.
 *
 * Blocks: reading the host block, fetching the structures (the details are
 * 7316 bytes in the host layout; to kind 4 in pieces of 128 bytes), the
 * write-back with its 100 ms wait; each USB request waits at most 3000 ms.
 *
 * @param[out] lpMeasurement the measurement, or NULL to acknowledge only
 * @param[in] iKind 0: the current results; anything else: only a new measurement
 * @retval 1 a measurement was interpreted into @p lpMeasurement
 * @retval 0 nothing new, the rate limit, the first poll, no link, a failed
 *           fetch, a layout not served, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_poll_measurements(COMM_MEASUREMENT* lpMeasurement, int32_t iKind);

/**
 * @ingroup measurements
 * @brief bTOLA_comm_poll_measurements() with the size of the caller's record.
 *
 * The record is exchanged size-tolerantly (see @ref calls).
 *
 * @param[out] lpMeasurement the measurement record
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @param[in] iKind 0: the current results; anything else: only a new measurement
 * @retval 1 a measurement was interpreted into @p lpMeasurement
 * @retval 0 as bTOLA_comm_poll_measurements(), or @p lpMeasurement NULL or @p iSize unusable
 */
TOLA_API int32_t bTOLA_comm_poll_measurements_ex(COMM_MEASUREMENT* lpMeasurement, int32_t iSize, int32_t iKind);

/**
 * @ingroup connection
 * @brief The instrument's name and port as a text, and whether it is connected.
 *
 * Writes into @p lpText, which must hold 501 bytes, the instrument's name
 * (PXM_COMM::snDevice) followed by the port: `"<snDevice> - USB"`,
 * `"<snDevice> - RS232 comm <n>"` (n = 1 to 20), or `"<snDevice> - Unknown Port"`
 * for any other link (Bluetooth among them).  When not connected the text is
 * `"Not Interfaced"`; when the record's dSize is not 664 it is
 * `"Not Interfaced, incompatable version version"` and the record's tStatus
 * becomes #TOLA_STATUS_TEST_FAILED (where its declared size holds it).  No
 * exchange with the instrument.
 *
 * @param[out] lpText the text (501 bytes), or NULL for the result alone
 * @retval 1 connected (#TOLA_STATUS_INTERFACED)
 * @retval 0 not connected, no record, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_get_interface_name(char* lpText);

/**
 * @ingroup measurements
 * @brief One measurement of the instrument's queue.
 *
 * @p iWhich chooses the entry: 1 the one before the current one, 2 the
 * index in lpMeasurement->iQueue, 3 the one after the current one, 4 the
 * newest, any other value the first (index 0).  The current entry is, for
 * the later generations, the position the instrument's host block tells and,
 * for the first generation, the entry this library selected last.  The first
 * generation keeps 12 entries (a serial port, kind 2, sends entries 0 to 2);
 * its newest is entry 0.  For the later generations the host block tells the
 * count; an entry is selected with host command 0x8 (word 5 the index, a
 * 500 ms wait), and its results are fetched and interpreted; the newest are
 * the current results, fetched without selecting.  The measurement is
 * written as by the polls, with iQueue its index and dQueue the count.
 *
 * The connection record's failure bits are cleared first (the port field
 * stays); then a failure sets #TOLA_STATUS_QUEUE_RANGE (the entry lies
 * outside the queue), #TOLA_STATUS_QUEUE_READ_FAILED (it could not be read)
 * or #TOLA_STATUS_UNKNOWN_PORT (no link is open).  When the record's dSize
 * is not 664 its tStatus becomes 0x10000.
 *
 * @p lpMeasurement must hold a whole #COMM_MEASUREMENT (2392 bytes).
 *
 * Blocks: reading the host block, selecting the entry (500 ms wait), fetching
 * the results (each USB request at most 3000 ms);
 * for kind 2 the request for its results waits up to 4000 ms.
 *
 * @param[in,out] lpMeasurement the measurement; on entry iQueue is the index for @p iWhich 2
 * @param[in] iWhich 1 previous, 2 index, 3 next, 4 newest, other values the first
 * @retval 1 the entry was read into @p lpMeasurement
 * @retval 0 out of range, not read, no link, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_get_queue_measurement(COMM_MEASUREMENT* lpMeasurement, int32_t iWhich);

/**
 * @ingroup measurements
 * @brief bTOLA_comm_get_queue_measurement() with the size of the caller's record.
 *
 * The record is exchanged size-tolerantly (see @ref calls); iQueue is read
 * from the caller's record when its size covers it.
 *
 * @param[in,out] lpMeasurement the measurement record
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @param[in] iWhich 1 previous, 2 index, 3 next, 4 newest, other values the first
 * @retval 1 the entry was read
 * @retval 0 as bTOLA_comm_get_queue_measurement(), or @p lpMeasurement NULL or @p iSize unusable
 */
TOLA_API int32_t bTOLA_comm_get_queue_measurement_ex(COMM_MEASUREMENT* lpMeasurement, int32_t iSize, int32_t iWhich);

/**
 * @ingroup measurements
 * @brief The event poll: which of the events asked for in @p iFlags happened.
 *
 * For the memory-mapped generation and kind 1 the call reads the host block
 * and answers, for the bits of @p iFlags:
 * - 0x80 (asked with any of 0x4, 0x8, 0x80): the instrument sends a
 *   measurement again (echo);
 * - 0x8 (asked with 0x8 or 0x80): a new measurement was fetched into the
 *   library's copies and acknowledged (#CKPSTRUCT_COMMMEASUREMENT with
 *   #CKPSTRUCT_LOCAL composes it);
 * - 0x4: a measurement (or an echo) is waiting, not fetched;
 * - 0x2: the instrument's data block changed (it is read for that);
 * - 0x10: the host block differs from when this bit was last answered.
 *
 * Kinds 4 and 8 to 11 are polled at most once an interval: 50 ms, or, when
 * the host block's word 14 is 4000 or more and word 15 has flag 0x8, the
 * settings' dSamples / 40 ms, at most 2000 ms.  A call within the interval
 * returns 0 without exchange.  The interval also becomes the command wait of
 * the @ref commands.
 *
 * For kind 2 (first generation on a serial port) @p iFlags chooses what the
 * instrument echoes: 0x4 measurements and results, 0x2 live data, 0x10 lamp,
 * shutter and switches.  A call with flags other than the last call's sends
 * the echo on and off codes and returns 0; a call with the same flags takes
 * one message that arrived: 0x4 measurement data, 0x8 results, 0x2 live data,
 * 0x10 lamp and shutter or switches (then in words 9 and 10 of the library's
 * host block copy).
 *
 * Blocks: one request for the host block; with 0x8 the fetch of a
 * measurement as by the polls; with 0x2 the read of the data block.
 *
 * @param[in] iFlags the events asked for
 * @return the events that happened (0: none, not connected, kind 3, within the interval, or the interface mutex stayed busy)
 */
TOLA_API uint32_t tTOLA_comm_poll(int32_t iFlags);

/**
 * @ingroup commands
 * @brief Restarts the instrument.
 *
 * Kind 1: the reset command on the command pipe, then its status; ssStatus
 * `"Reset Chromatik - OK - "`, or on failure (with #TOLA_STATUS_USB_FAILURE)
 * `"Reset Chromatik - FAILED - \r\nUSB reset"`,
 * `"Reset Chromatik FAILED, Error reading status message - \r\nUSB reset"` or
 * `"Reset Chromatik - FAILED, unknown message - \r\nUSB reset"`.  Kind 2:
 * command byte 2.  Kinds 4, 8 to 11: controller command 10, as
 * bTOLA_comm_Controller_command() (10, 0).
 *
 * Blocks: after a success the call keeps the interface mutex for another
 * 2500 ms while the instrument restarts, so no call reaches it meanwhile.
 *
 * @retval 1 the reset was sent and taken
 * @retval 0 it failed, the kind takes no reset, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_reset(void);

/**
 * @ingroup commands
 * @brief Sets the instrument's state; state 53 stores the settings.
 *
 * Kind 1: host command 0x2 with the state in word 1 and a 100 ms wait.
 * Kind 2: the state (0 to 255) as a command byte.  Kinds 4, 8 to 11: host
 * command 0x2 with the state in word 1, waiting word 14 / 20 ms of the
 * library's copy of the host block.  After a successful state 53 the call
 * pauses 3000 ms and sets state 20 (operating); its result is then that of
 * state 20.
 *
 * @param[in] iState the state; the library itself uses 1, 20 (operating), 51 (clearing the queue) and 53 (store the settings)
 * @retval 1 done
 * @retval 0 the exchange failed, the kind takes no state, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_set_state(int32_t iState);

/**
 * @ingroup commands
 * @brief Reads bias, sample-rate index and lamp bits.
 *
 * Kind 1: the lamp bits from word 9 of the library's host block copy, bias
 * and rate from the instrument's parameter record (read now).  Kind 2:
 * command byte 32 reads the parameter record; @p lpLamp is not written.
 * Kinds 4, 8 to 11: no exchange: from the library's copy of the host block,
 * the lamp bits of word 9, the bias in the low 16 bits of word 13, and as
 * the rate the first index 0 to 12 whose command time (50000, 25000, 16666,
 * 10000, 5000, 3000, 2000, 1000, 500, 300, 200, 100, 50) word 14 reaches,
 * else 0.  Each pointer may be NULL.
 *
 * @param[out] lpBias the bias
 * @param[out] lpRate the sample-rate index, 0 to 12
 * @param[out] lpLamp the lamp, shutter and LED bits
 * @retval 1 read
 * @retval 0 the read failed, no instrument is connected, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_get_current_BRLL(int16_t* lpBias, int32_t* lpRate, int32_t* lpLamp);

/**
 * @ingroup commands
 * @brief Sets the bias.
 *
 * Kinds 1 and 2 keep bias and sample rate in one parameter record: the call
 * reads it first unless it was read on this connection, changes the bias and
 * writes it back (kind 1: then host command 0x20 without a wait; kind 2:
 * command byte 142 carries the record).  Kinds 4, 8 to 11: host command 0x20
 * with the low 16 bits of @p iBias in word 6, waiting word 14 / 20 ms.
 *
 * @param[in] iBias the bias (16 bits are kept)
 * @retval 1 done
 * @retval 0 the exchange failed, no instrument is connected, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_set_bias(int32_t iBias);

/**
 * @ingroup commands
 * @brief Sets the sample rate by its index.
 *
 * Kinds 1 and 2: @p iIndex 0 to 12 (others fail) selects the rate settings
 * written into the parameter record, as for bTOLA_comm_set_bias() (kind 1:
 * then host command 0x10 without a wait).  Kinds 4, 8 to 11: host command
 * 0x40000 with @p iIndex in word 7, waiting word 14 / 20 ms.
 *
 * @param[in] iIndex the sample-rate index, 0 to 12
 * @retval 1 done
 * @retval 0 the index or the exchange failed, no instrument is connected, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_set_sample_rate(int32_t iIndex);

/**
 * @ingroup commands
 * @brief Switches lamp, shutter and LEDs.
 *
 * Kind 1: host command 0x1 with @p iBits in word 2 and a 200 ms wait.
 * Kind 2: bit 0x1 switches the lamp (command byte 19 on, 20 off), 100 ms
 * later bit 0x2 the shutter (21 on, 22 off); the result is always 1.  Kinds
 * 4, 8 to 11: host command 0x1 with @p iBits in word 2 and the command wait;
 * then the host block is read back, and once more after 300 ms, until word 9
 * shows the bits.
 *
 * @param[in] iBits the lamp, shutter and LED bits
 * @retval 1 switched (kinds 4, 8 to 11: the instrument reports the bits in word 9)
 * @retval 0 not, no instrument is connected, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_lamp_shutter_LED(int32_t iBits);

/**
 * @ingroup commands
 * @brief Starts a colour measurement, as a trigger press does.
 *
 * Kind 1: host command 0x4 with 1 in word 3, without a wait.  Kinds 4, 8 to
 * 11: a zero host block, then host command 0x800000, each with the command
 * wait.  Kind 2 takes no such command.  The measurement arrives as any other:
 * poll for it with bTOLA_comm_poll_measurements().
 *
 * @retval 1 the command was taken
 * @retval 0 it was not, the kind takes no such command, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_measure_color(void);

/**
 * @ingroup commands
 * @brief Puts the instrument under host control.
 *
 * Kinds 1 and 4 (USB): writes the text "Slave Mode" into the instrument's
 * display text, pauses 200 ms and sends host command 0x302 with mode 7
 * (kind 1) or 5 (kind 4) in word 1, without a wait.  Kind 2: command bytes 3,
 * 128 (display clear), the display text "Idle State", 11 (echo switches) and
 * 17 (idle on), with 50 ms pauses before each.  Other kinds: nothing.
 * Whether the instrument took it is not reported.
 *
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_comm_slave_mode(void);

/**
 * @ingroup commands
 * @brief Starts a calibration.
 *
 * Kind 1: host command 0x4 with 2 in word 3, without a wait.  Kinds 4, 8 to
 * 11: a zero host block, then host command 0x1000000, each with the command
 * wait.  Kind 2 takes no such command.
 *
 * @retval 1 the command was taken
 * @retval 0 it was not, the kind takes no such command, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_calibrate(void);

/**
 * @ingroup commands
 * @brief Restores the instrument's default settings (kind 4 only).
 *
 * State 1, a 1000 ms pause, host command 0x10000 with service 30 in word 11
 * (100 ms wait), a 1000 ms pause, state 20; the states as
 * bTOLA_comm_set_state() sends them.
 *
 * Blocks: at least 2000 ms of pauses, plus the exchanges.
 *
 * @retval 1 done
 * @retval 0 a step failed, the instrument is not kind 4 on USB, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_defaults(void);

/**
 * @ingroup structures
 * @brief Moves a structure by the address of its host copy (from bTOLA_Get_CKP_Structure_Addresses()).
 *
 * @p lpStructure names the structure by the address of the library's host
 * copy of it; the transfer moves it between that copy and the instrument
 * (the caller reads or writes the copy through the address).
 *
 * On USB: the structure table's address reads the table anew; the set-up is
 * always read; the host block moves in @p iDirection 1 or 2 (failing with
 * `"Missing host address 'dCOMM_USB_HOST'"` when the instrument's table has
 * no host block); the other copies are read (2) or written (1).  An address
 * that is not such a copy (NULL among them), and the copies that move only by
 * identifier (additional blocks 3 and 4, the short result record, the table
 * word 18 record): #TOLA_DIRECTION_HALT raises the halt and returns 1, other
 * directions fail with `"Not available"`.  A failed transfer writes
 * `"Download FAILED"`, `"Upload FAILED"` or `"Halted FAILED"` (for 1, 2 and
 * any other direction).
 *
 * Without USB (the first generation on a serial port sends its structures
 * on request): direction 1 fails with `"Download Not Available"`; 3 raises
 * the halt and returns 1; directions other than 1, 2 and 3 fail with
 * `"Transfer unknown"`; 2 asks for the structure table, the version block,
 * one of the four shade tables or the details (other copies:
 * `"Not supported by Chromatik RS232"`), and fails with `"Upload FAILED"`
 * unless the instrument is kind 2 and sends it.
 *
 * The halt ends every chunked transfer with failure until the next search
 * step or USB connection (see @ref calls).
 *
 * Blocks: the transfer's requests (each USB request at most 3000 ms); over
 * a serial port up to 4000 ms for the structure.
 *
 * @param x ignored
 * @param[in] lpComm the connection record; must be valid (dSize 664), else `"lpComm not defined"`
 * @param[in] lpStructure the address of a host copy
 * @param y ignored
 * @param[in] iDirection #TOLA_DIRECTION_DOWNLOAD, #TOLA_DIRECTION_UPLOAD or #TOLA_DIRECTION_HALT
 * @param[out] lpMessage receives the failure text (501 bytes), or NULL
 * @retval 1 done (or the halt raised)
 * @retval 0 failed (the text is in @p lpMessage), or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_Transfer_structure(int32_t x, PXM_COMM* lpComm, void* lpStructure, int32_t y,
                                          int32_t iDirection, char* lpMessage);

/**
 * @ingroup reports
 * @brief Report of the structure table: each structure's address and sizes.
 *
 * Replaces the text in @p lpText with a header line
 * `"Structure\tTarget Address\tTarget size\tWindows size\r\n\r\n"` and one
 * line per structure: its name, its address from @p lpTable (eight hex
 * digits), its size from @p lpSizes, and the size of the instrument's
 * layout release as the library moves it; for the compared structures
 * `"\t!! diff !!"` marks sizes that differ.  A NULL table or sizes record
 * counts as all zero.
 *
 * @param[out] lpText the text, 10000 bytes; NULL: nothing is written
 * @param[in] lpTable the structure table, or NULL
 * @param[in] lpSizes the sizes table, or NULL
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_COMM_structure_table(char* lpText, const COMM_STRUCTURE_TABLE* lpTable,
                                               const COMM_STRUCTURE_SIZES* lpSizes);

/**
 * @ingroup reports
 * @brief Report of the version block: one line per field.
 *
 * Replaces the text in @p lpText with the lines `"Name\t..."`,
 * `"Serial #\t..."`, `"Release\t..."`, `"Release Date\t..."`,
 * `"Version\t..."`, `"Intalled\t..."`, `"Part #\t..."`, `"MFG1\t..."`,
 * `"MFG2\t..."`, `"MFG3\t..."`.  A NULL record writes nothing.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpVersion the version block
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_COMM_version(char* lpText, COMM_VERSION* lpVersion);

/**
 * @ingroup reports
 * @brief TOLA_Get_COMM_version() with the size of the caller's record.
 *
 * The record is taken size-tolerantly (see @ref calls); an unusable pointer
 * or size writes nothing.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpVersion the version block
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_COMM_version_ex(char* lpText, COMM_VERSION* lpVersion, int32_t iSize);

/**
 * @ingroup reports
 * @brief Report of the optical set-up: channels, filters, tristimulus weights, reference tiles.
 *
 * Replaces the text in @p lpText: channel types, filter centres and widths,
 * the channel lists, the X, Y, Z weights per wavelength and the four
 * reference tiles.  A NULL record writes nothing.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpSetup the set-up
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_CKII_setup(char* lpText, CKII_SETUP* lpSetup);

/**
 * @ingroup reports
 * @brief TOLA_Get_CKII_setup() with the size of the caller's record.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpSetup the set-up
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_CKII_setup_ex(char* lpText, CKII_SETUP* lpSetup, int32_t iSize);

/**
 * @ingroup reports
 * @brief Report of the normalisation data, appended to the text.
 *
 * Appends to what @p lpText holds (it must hold a NUL-terminated text, empty
 * for a report alone): the channel numbers and labels, then the rows
 * `"qfGain_inner"` and `"qfGain_outer"`.  The channel labels (`"S:"`, `"L:"`
 * or `"?:"` by the channel type, with the filter centre) come from the library's host copy of the
 * set-up, the connected instrument's.  A NULL record writes nothing.
 *
 * @param[in,out] lpText the text, 10000 bytes
 * @param[in] lpNorm the normalisation data
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_CKII_norm(char* lpText, CKII_NORM* lpNorm);

/**
 * @ingroup reports
 * @brief TOLA_Get_CKII_norm() with the size of the caller's record.
 *
 * @param[in,out] lpText the text, 10000 bytes; the report is appended
 * @param[in] lpNorm the normalisation data
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_CKII_norm_ex(char* lpText, CKII_NORM* lpNorm, int32_t iSize);

/**
 * @ingroup reports
 * @brief Report of the operating settings.
 *
 * Replaces the text in @p lpText: fGain_lin, the per-channel rows (labelled
 * from the library's host copy of the set-up, as in TOLA_Get_CKII_norm()),
 * one line per setting, and one Delta E line per reference tile, named as
 * the tiles of the library's built-in default set-up.  A NULL record writes
 * nothing.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpSettings the settings
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_CKII_settings(char* lpText, CKNG_SETTINGS* lpSettings);

/**
 * @ingroup reports
 * @brief TOLA_Get_CKII_settings() with the size of the caller's record.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpSettings the settings
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_CKII_settings_ex(char* lpText, CKNG_SETTINGS* lpSettings, int32_t iSize);

/**
 * @ingroup reports
 * @brief Report of the measurement details: sensors, spectra, both shade matches.
 *
 * Replaces the text in @p lpText.  With @p iOption 2 the report ends with the
 * mode, the areas' states and the verification lines; with any other value
 * it leaves them out.  A NULL record writes nothing.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpDetails the details
 * @param[in] iOption 2: with the verification lines
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_TOLA_SHADE_MATCH_DETAILS(char* lpText, TOLA_SHADE_MATCH_DETAILS* lpDetails,
                                                   int32_t iOption);

/**
 * @ingroup reports
 * @brief TOLA_Get_TOLA_SHADE_MATCH_DETAILS() with the size of the caller's record.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpDetails the details
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @param[in] iOption 2: with the verification lines
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_TOLA_SHADE_MATCH_DETAILS_ex(char* lpText, TOLA_SHADE_MATCH_DETAILS* lpDetails,
                                                      int32_t iSize, int32_t iOption);

/**
 * @ingroup reports
 * @brief Report of the results record.
 *
 * Replaces the text in @p lpText: mode, material, the shades per area, the
 * colour parameters and differences per area, the verification values.  A
 * NULL record writes nothing.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpResults the results
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_CKII_results(char* lpText, CKII_RESULTS* lpResults);

/**
 * @ingroup reports
 * @brief TOLA_Get_CKII_results() with the size of the caller's record.
 *
 * @param[out] lpText the text, 10000 bytes
 * @param[in] lpResults the results
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_CKII_results_ex(char* lpText, CKII_RESULTS* lpResults, int32_t iSize);

/**
 * @ingroup structures
 * @brief The addresses of the library's host copies and built-in defaults.
 *
 * Fills each list given (see #CKP_STRUCTURE_ADDRESSES_1 and
 * #CKP_STRUCTURE_ADDRESSES_2).  No exchange with the instrument.
 *
 * @param[out] lpAddresses1 the first list, or NULL
 * @param[out] lpAddresses2 the second list, or NULL
 * @retval 1 at least one list was filled
 * @retval 0 both are NULL, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_Get_CKP_Structure_Addresses(CKP_STRUCTURE_ADDRESSES_1* lpAddresses1,
                                                   CKP_STRUCTURE_ADDRESSES_2* lpAddresses2);

/**
 * @ingroup structures
 * @brief bTOLA_Get_CKP_Structure_Addresses() with the sizes of the caller's lists.
 *
 * Each list given is exchanged size-tolerantly (see @ref calls); either may
 * be NULL.
 *
 * @param[out] lpAddresses1 the first list, or NULL
 * @param[in] iSize1 its size in bytes (0 to 1048576)
 * @param[out] lpAddresses2 the second list, or NULL
 * @param[in] iSize2 its size in bytes (0 to 1048576)
 * @retval 1 the lists given were filled
 * @retval 0 both are NULL, a size is unusable (nothing is written then), or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_Get_CKP_Structure_Addresses_ex(CKP_STRUCTURE_ADDRESSES_1* lpAddresses1, int32_t iSize1,
                                                      CKP_STRUCTURE_ADDRESSES_2* lpAddresses2, int32_t iSize2);

/**
 * @ingroup structures
 * @brief Reads or writes a structure of the instrument by its identifier.
 *
 * @p iId is a structure identifier (@ref structure_ids), plus
 * #CKPSTRUCT_LOCAL to work on the library's host copy alone.  The link is
 * that of the connection: USB when hUSB is open, else the serial port or
 * Bluetooth of kinds 8 to 11; the first generation on a serial port (kind 2)
 * has none here (the call returns 0 without a text).  A download (#TOLA_DIRECTION_DOWNLOAD) copies at most
 * @p iSize bytes of @p lpBuffer into the host copy and writes it to the
 * instrument; an upload (#TOLA_DIRECTION_UPLOAD) reads it from the
 * instrument into the host copy.  Either way the caller then gets the host
 * copy back (at most @p iSize bytes, at most the structure's size), also
 * after a failed transfer, which may have cleared the copy.  Identifier 1
 * reads the structure table anew; 2 gives the library's sizes table without
 * exchange; 8 (the host block) moves in directions 1 and 2 only; 19 (the
 * set-up) is always read; 25 composes a #COMM_MEASUREMENT from the host
 * copies of the last measurement, only with #CKPSTRUCT_LOCAL and not as a
 * download, and fails with #TOLA_STATUS_WRONG_DEVICE in lpComm->tStatus for a
 * layout release before CK0A.00.24.00.  A download of the shade tables to a
 * kind-4 instrument writes them and then sends the store sequence: four
 * host commands, each after a 200 ms pause.  On kind 1 the shade tables, the
 * version block, the settings and additional block 2 are written into flash.
 *
 * When @p lpMessage is not NULL it is emptied first for identifiers 1, 2, 9,
 * 17 to 27 and 30 (with or without #CKPSTRUCT_LOCAL), and receives the
 * failure text: `"lpComm not defined"` (@p lpComm NULL or not 664 bytes),
 * `"Structure type not defined"` (an identifier the link does not serve, or
 * bits beyond 0xFFF), ``"Missing host address 'dCOMM_USB_HOST'"`` (identifier 8
 * on USB when the instrument's table has no host block), `"Download FAILED"`,
 * `"Upload FAILED"` or `"Halted FAILED"` (the transfer failed in direction 1,
 * 2 or any other), or for the identifiers not built into this library
 * `"Download FAILED.\n "`, `"Upload FAILED.\n "` or `"Halted FAILED.\n "`
 * followed by `"CKPSTRUCT_COMMVERIFYSHADE under construction"` (11),
 * `"CKPSTRUCT_CKIIVERSIONDEFAULT under construction"` (12),
 * `"CKPSTRUCT_CKIISETUP under construction"` (18) or, for 13 to 16, the four
 * CKIISHADEROM names each followed by `"\n "` and then `"under construction"`.
 *
 * Blocks: the transfer's requests (each USB request at most 3000 ms), the
 * pauses of the store sequence; none with
 * #CKPSTRUCT_LOCAL (save identifiers 1 and 8).
 *
 * @param[in,out] lpComm the connection record; must be valid (dSize 664)
 * @param[in,out] lpBuffer the caller's copy of the structure
 * @param[in] iId the structure identifier, optionally plus #CKPSTRUCT_LOCAL
 * @param[in] iSize the size of @p lpBuffer in bytes
 * @param[in] iDirection #TOLA_DIRECTION_DOWNLOAD or #TOLA_DIRECTION_UPLOAD
 * @param[out] lpMessage receives the failure text (501 bytes), or NULL
 * @retval 1 done
 * @retval 0 failed (the text is in @p lpMessage), no link is open, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_Transfer_local_structure(PXM_COMM* lpComm, void* lpBuffer, int32_t iId, int32_t iSize,
                                                int32_t iDirection, char* lpMessage);

/**
 * @ingroup commands
 * @brief Sends a host command with @p iValue in word 0 (kinds 4, 8 to 11).
 *
 * Writes a host block whose word 0 is @p iValue (the other words 0) and
 * reads the answer back after the command wait.
 *
 * @param[in] iValue the command word
 * @retval 1 done
 * @retval 0 the exchange failed, the kind takes no host commands, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_USB_CKII_control(int32_t iValue);

/**
 * @ingroup measurements
 * @brief Deletes every measurement in the instrument's queue.
 *
 * Sets state 51 (as bTOLA_comm_set_state()); for an instrument whose firmware
 * release (PXM_COMM::snVersion at connection) sorts at or before "2K1", a
 * 1000 ms pause and host command 0x10000 with service 22 in word 11 follow;
 * then a 3000 ms pause and state 20.
 *
 * Blocks: at least 3000 ms (4000 ms with the service command) with the
 * interface mutex held: a call from another thread meanwhile may give up
 * with its busy result.
 *
 * @retval 1 done
 * @retval 0 a state could not be set, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_clear_queue(void);

/**
 * @ingroup version
 * @brief The library's version: 1.0.12017.385 of 2022-01-18 15:17:11.
 *
 * Fills @p lpVersion (see #DLL_VERSION); NULL: nothing.  Takes no mutex and
 * never waits: callable at any time, from any thread, also while another
 * call runs.
 *
 * @param[out] lpVersion the version record (96 bytes), or NULL
 */
TOLA_API void TOLA_Get_Dll_version(DLL_VERSION* lpVersion);

/**
 * @ingroup version
 * @brief TOLA_Get_Dll_version() with the size of the caller's record.
 *
 * The record is exchanged size-tolerantly (see @ref calls); an unusable
 * pointer or size writes nothing.  Takes no mutex and never waits.
 *
 * @param[out] lpVersion the version record
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 */
TOLA_API void TOLA_Get_Dll_version_ex(DLL_VERSION* lpVersion, int32_t iSize);

/**
 * @ingroup commands
 * @brief Sends a host command block and returns the instrument's answer in it (kinds 4, 8 to 11).
 *
 * Writes @p lpHost into the instrument's host block; unless its word 14 is 0
 * the call waits word 14 ms (at most 2000) and reads the answer back into
 * @p lpHost.  An instrument with the STM32 controller is read every 40 ms
 * instead until it has cleared word 0, and the call fails when it has not
 * within the wait; a block whose word 0 is 0 is read back at once.
 * @p lpHost is written only when the whole exchange succeeded.
 *
 * Blocks: word 14 ms, at most 2000 ms, plus two exchanges.
 *
 * @param[in,out] lpHost the block: the command in, the answer out
 * @retval 1 done
 * @retval 0 the exchange failed, @p lpHost is NULL, the kind takes no host commands, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_send_command(COMM_USB_HOST* lpHost);

/**
 * @ingroup commands
 * @brief bTOLA_comm_send_command() with the size of the caller's block.
 *
 * The block is exchanged size-tolerantly (see @ref calls).
 *
 * @param[in,out] lpHost the block
 * @param[in] iSize the size of the caller's block in bytes (0 to 1048576)
 * @retval 1 done
 * @retval 0 as bTOLA_comm_send_command(), or @p iSize unusable
 */
TOLA_API int32_t bTOLA_comm_send_command_ex(COMM_USB_HOST* lpHost, int32_t iSize);

/**
 * @ingroup controller
 * @brief A controller (boot-loader) command: 9 erase a sector, 10 leave the boot loader, 11 enter it.
 *
 * Same as bTOLA_comm_Controller_command().
 *
 * On USB (kind 4) a 12-byte request block carries @p iCommand and
 * @p iValue.  The STM32 controller answers each with a reply block; command
 * 10 restarts the instrument, so its block is sent twice and no reply is
 * read.  To the H8SX controller the block is sent until it is taken, at most
 * three times with pauses of 200, 400 and 600 ms after each refusal, and then
 * once more.  The block of command 9 (an erase) and the request after it
 * wait up to 15000 ms for their replies.
 *
 * Over a serial port (kinds 8, 9) and Bluetooth (10, 11) command 9 is sent
 * as code 59 with @p iValue, commands 10, 11 and 12 as codes 60, 61 and 62
 * (over Bluetooth with a confirmation value), any other command as code 1;
 * each waits up to 2000 ms for the acknowledgement of its code (and
 * 1000 ms for that of a value packet), after any link check still waiting
 * for its answer (up to 2000 ms).
 *
 * @param[in] iCommand the controller command
 * @param[in] iValue its value (for command 9 the sector)
 * @retval 1 the command was taken
 * @retval 0 it was not, the kind has no controller access, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_USB_Renesas_command(int32_t iCommand, int32_t iValue);

/**
 * @ingroup controller
 * @brief Reads controller memory: 1 to 128 bytes on USB, 1 to 65535 over Bluetooth.
 *
 * Same as bTOLA_comm_Controller_read().
 *
 * On USB (kind 4) the range must lie inside one address space of the
 * controller (start address from the first to the last address given, start
 * plus @p iLength at most the end):
 * - STM32 (CPU type 2): RAM 0x20000000 to 0x2000FFFE, end 0x2000FFFF;
 *   peripherals 0x40000000 to 0x5003FFFE, end 0x5003FFFF; system control
 *   0xE000E010 to 0xE000EF02, end 0xE000EF03; flash 0x08000000 to
 *   0x080FFFFF, end 0x08100000.
 * - H8SX (CPU type 1): RAM 0x00FF2000 to 0x00FFBFFE, end 0x00FFBFFF;
 *   external area 0x00200000 to 0x0023FFFF, end 0x00240000; flash
 *   0x00000000 to 0x0005FFFE, end 0x0005FFFF.
 *
 * The read goes in at most two parts of 64 bytes, each a request and its
 * reply.  Over Bluetooth (kinds
 * 10, 11) it is a memory read of the link.  A serial port has no controller
 * reads.
 *
 * @param[out] lpData receives @p iLength bytes
 * @param[in] dAddress the controller address
 * @param[in] iLength the number of bytes
 * @retval 1 read
 * @retval 0 out of range, failed, not served on this link, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_USB_Renesas_read(uint8_t* lpData, uint32_t dAddress, int32_t iLength);

/**
 * @ingroup controller
 * @brief Writes controller memory: 1 to 128 bytes on USB, 1 to 65535 over Bluetooth.
 *
 * Same as bTOLA_comm_Controller_write().
 *
 * On USB (kind 4 only) the range must lie inside one address space, as for
 * bTOLA_USB_Renesas_read().  The STM32 controller takes the data in pieces
 * of 64 bytes, each acknowledged.  The H8SX controller takes two halves of
 * 64 bytes with a pause of @p iPause ms (at most 2000; negative counts as 0)
 * between each half's request and its data, and after each half when there
 * are two; a flash write must start on
 * a 128-byte boundary (else the library writes
 * `"Error: FLASH write must be on a 128 byte boundry!\r\n\r\nAddress = 0x... is illegal"`
 * on standard error and fails) and is padded to 128 bytes with 0xFF.  Over
 * Bluetooth (kinds 10, 11) it is a memory write of the link; @p iPause is not
 * used.  A serial port has no controller writes.
 *
 * @param[in] lpData the bytes to write
 * @param[in] dAddress the controller address
 * @param[in] iLength the number of bytes
 * @param[in] iPause H8SX: the pause between the steps in ms
 * @retval 1 written
 * @retval 0 out of range, refused, not served on this link, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_USB_Renesas_write(uint8_t* lpData, uint32_t dAddress, int32_t iLength, int32_t iPause);

/**
 * @ingroup controller
 * @brief The controller type: 1 H8SX, 2 STM32.
 *
 * 2 when the USB device descriptor read last in this process has release
 * number 0x0103, else 1 (also when none was read).  No exchange.
 *
 * @param[out] lpType the type, or NULL
 * @retval 1 always, unless the interface mutex stayed busy (0)
 */
TOLA_API int32_t bTOLA_comm_GetCpuType(int32_t* lpType);

/**
 * @ingroup controller
 * @brief A controller (boot-loader) command: the same as bTOLA_USB_Renesas_command().
 *
 * @param[in] iCommand the controller command: 9 erase a sector, 10 leave the boot loader, 11 enter it
 * @param[in] iValue its value (for command 9 the sector)
 * @retval 1 the command was taken
 * @retval 0 it was not, the kind has no controller access, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_Controller_command(int32_t iCommand, int32_t iValue);

/**
 * @ingroup controller
 * @brief Reads controller memory: the same as bTOLA_USB_Renesas_read().
 *
 * @param[out] lpData receives @p iLength bytes
 * @param[in] dAddress the controller address
 * @param[in] iLength the number of bytes
 * @retval 1 read
 * @retval 0 out of range, failed, not served on this link, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_Controller_read(uint8_t* lpData, uint32_t dAddress, int32_t iLength);

/**
 * @ingroup controller
 * @brief Writes controller memory: the same as bTOLA_USB_Renesas_write().
 *
 * @param[in] lpData the bytes to write
 * @param[in] dAddress the controller address
 * @param[in] iLength the number of bytes
 * @param[in] iPause H8SX: the pause between the steps in ms
 * @retval 1 written
 * @retval 0 out of range, refused, not served on this link, or the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_Controller_write(uint8_t* lpData, uint32_t dAddress, int32_t iLength, int32_t iPause);

/**
 * @ingroup bluetooth
 * @brief Searches for Bluetooth instruments.
 *
 * Loads the Bluetooth client when it is not loaded yet, zero-fills the
 * record and lets the client's search fill it; a count above
 * #TOLA_BT_DEVICES_MAX is cut down to it.  The record is exchanged
 * size-tolerantly (see @ref calls).
 *
 * Blocks: as long as the client's search (BlueZ: 10000 ms, or
 * `TOLA_BT_SCAN_MS`), with the interface mutex held: calls from other
 * threads meanwhile give up with their busy result after 4000 ms.
 *
 * @param[out] lpDevices the devices found
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @return the client's result: 1 searched (the BlueZ client and the stand-in);
 *         0 the search failed, @p lpDevices is NULL, @p iSize is unusable, or the
 *         interface mutex stayed busy; -1 no client library, or it lacks its search
 */
TOLA_API int32_t bTOLA_comm_bt_discovery_ex(BT_DEVICES* lpDevices, int32_t iSize);

/**
 * @ingroup bluetooth
 * @brief Chooses the Bluetooth instrument that the next search step with iPort 500 connects to.
 *
 * Loads the Bluetooth client when it is not loaded yet and hands it the
 * device (its address is what counts).  The record is taken size-tolerantly
 * (see @ref calls).  The client's own result is not passed on.
 *
 * @param[in] lpDevice the device, e.g. one found by bTOLA_comm_bt_discovery_ex()
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_comm_bt_set_device_ex(BT_DEVICE* lpDevice, int32_t iSize);

/**
 * @ingroup bluetooth
 * @brief The number of Bluetooth radios, as the client counts them.
 *
 * Passes @p iValue to the client's count.  This call does not load the
 * client: before a search step, a Bluetooth search or a device choice has
 * loaded it the result is -1.
 *
 * @param[in] iValue passed to the client
 * @return the client's count (the BlueZ client: the adapters; the stand-in: 1
 *         when its folder exists, else 0); -1 no client loaded, or it lacks the
 *         function; 0 also when the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_bt_get_radio_count(int32_t iValue);

/**
 * @ingroup bluetooth
 * @brief Has the Bluetooth client start afresh (both clients close their connection).
 *
 * Does not load the client.
 *
 * @return the client's result (1 for the BlueZ client and the stand-in);
 *         -1 no client loaded, or it lacks the function; 0 when the interface
 *         mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_bt_reinit(void);

/**
 * @ingroup measurements
 * @brief Chooses what the measurement polls fetch and interpret.
 *
 * The flags (1 when the library is loaded; kept for the process, also
 * across connections):
 * - 0x1: fetch the results (#CKII_RESULTS) and interpret them;
 * - 0x2: fetch the measurement details (#TOLA_SHADE_MATCH_DETAILS) too;
 *   without 0x1 the details are interpreted (the areas of a tooth area
 *   collected over three measurements) and the results are fetched for the
 *   last area's shade names;
 * - 0x4: over Bluetooth, for the layout releases CK0A.00.31.00 and
 *   CK0A.00.32.00, fetch the short result record instead.
 *
 * With neither 0x1 nor 0x2 nothing is fetched and the details as last read
 * are interpreted.  What is fetched follows the flags for kinds 4, 10 and 11
 * (kinds 1, 8 and 9 always fetch results and details); the interpretation
 * follows 0x1 for kinds 4 and 8 to 11.  No exchange.
 *
 * @param[in] iDetails the flags
 * @retval 1 set
 * @retval 0 the interface mutex stayed busy
 */
TOLA_API int32_t bTOLA_comm_poll_set_details(int32_t iDetails);

/**
 * @ingroup reports
 * @brief Report of the calibration matrix, appended to the text.
 *
 * Appends to what @p lpText holds (it must hold a NUL-terminated text, empty
 * for a report alone): an inner and an outer block, each a row per
 * wavelength 400 to 700 nm with six columns (D430nm to D690nm).  The record
 * is taken size-tolerantly (see @ref calls); an unusable pointer or size
 * writes nothing.
 *
 * @param[in,out] lpText the text, 10000 bytes
 * @param[in] lpCalMat the calibration matrix
 * @param[in] iSize the size of the caller's record in bytes (0 to 1048576)
 * @retval 1 the call ran
 * @retval TOLA_WAIT_TIMEOUT the interface mutex stayed busy for 4000 ms
 */
TOLA_API int32_t TOLA_Get_CKNG_CalMat_ex(char* lpText, CKNG_CALMAT* lpCalMat, int32_t iSize);

/* ---- layout checks -------------------------------------------------------- */

/** @cond TOLA_INTERNAL */
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
/** @endcond */

#ifdef __cplusplus
}
#endif

#endif /* TOLA_COMM_H */
