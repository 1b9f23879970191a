// The function table of the communication library: one entry per export the
// program binds, each null until bound.  The program fills it by name from the
// library it loads at run time (comm_binding.h); tools that link the library
// directly fill it from their own symbols.  Everything above this table calls
// the library only through the wrappers of comm_api.h.
#pragma once

#include "tola_comm.h"

namespace ckupdate {

// Every entry of the table, in the order of the structure.
#define CKUPDATE_COMM_NAMES(X) \
    X(iTOLA_comm_poll_initialize) \
    X(TOLA_comm_close) \
    X(bTOLA_comm_test) \
    X(bTOLA_comm_poll_measurements_ex) \
    X(bTOLA_comm_poll_measurements) \
    X(bTOLA_comm_get_interface_name) \
    X(bTOLA_comm_get_queue_measurement_ex) \
    X(bTOLA_comm_get_queue_measurement) \
    X(tTOLA_comm_poll) \
    X(bTOLA_comm_reset) \
    X(bTOLA_comm_send_command_ex) \
    X(bTOLA_comm_send_command) \
    X(bTOLA_comm_set_state) \
    X(bTOLA_comm_get_current_BRLL) \
    X(bTOLA_comm_set_bias) \
    X(bTOLA_comm_set_sample_rate) \
    X(bTOLA_comm_lamp_shutter_LED) \
    X(bTOLA_comm_measure_color) \
    X(TOLA_comm_slave_mode) \
    X(bTOLA_comm_calibrate) \
    X(bTOLA_comm_defaults) \
    X(bTOLA_Transfer_structure) \
    X(TOLA_Get_COMM_structure_table) \
    X(bTOLA_Get_CKP_Structure_Addresses_ex) \
    X(bTOLA_Get_CKP_Structure_Addresses) \
    X(bTOLA_Transfer_local_structure) \
    X(TOLA_Get_COMM_version_ex) \
    X(TOLA_Get_COMM_version) \
    X(TOLA_Get_CKII_setup_ex) \
    X(TOLA_Get_CKII_setup) \
    X(TOLA_Get_CKII_norm_ex) \
    X(TOLA_Get_CKII_norm) \
    X(TOLA_Get_CKII_settings_ex) \
    X(TOLA_Get_CKII_settings) \
    X(TOLA_Get_TOLA_SHADE_MATCH_DETAILS_ex) \
    X(TOLA_Get_TOLA_SHADE_MATCH_DETAILS) \
    X(TOLA_Get_CKII_results_ex) \
    X(TOLA_Get_CKII_results) \
    X(TOLA_Get_CKNG_CalMat_ex) \
    X(bTOLA_USB_CKII_control) \
    X(bTOLA_comm_clear_queue) \
    X(TOLA_Get_Dll_version) \
    X(TOLA_Get_Dll_version_ex) \
    X(bTOLA_USB_Renesas_command) \
    X(bTOLA_USB_Renesas_read) \
    X(bTOLA_USB_Renesas_write) \
    X(bTOLA_comm_GetCpuType) \
    X(bTOLA_comm_bt_discovery_ex) \
    X(TOLA_comm_bt_set_device_ex) \
    X(bTOLA_comm_bt_get_radio_count) \
    X(bTOLA_comm_bt_reinit) \
    X(bTOLA_comm_poll_set_details)

struct CommFunctions {
#define CKUPDATE_COMM_ENTRY(name) decltype(&::name) name = nullptr;
    CKUPDATE_COMM_NAMES(CKUPDATE_COMM_ENTRY)
#undef CKUPDATE_COMM_ENTRY
};

// How BindCommFunctions treats a name.
enum class BindKind {
    Required,  // missing: the load fails
    ExFirst,   // optional _ex name; when missing, the plain name that follows is required
    Plain,     // plain partner of an ExFirst entry (bound only when the _ex name is missing)
    ExAlone,   // optional _ex name without a plain partner
    Silent,    // optional, looked up without a trace
};

struct BindEntry {
    const char* name;
    BindKind kind;
    void (*store)(CommFunctions&, void*);
};

// Every name in the order BindCommFunctions resolves them.
extern const BindEntry kBindOrder[];
extern const int kBindOrderCount;

}  // namespace ckupdate
