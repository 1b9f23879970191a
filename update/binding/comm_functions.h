// The function table of the communication library: one entry per export the
// program binds, each null until bound.  The program fills it by name from the
// library it loads at run time (comm_binding.h); tools that link the library
// directly fill it from their own symbols.  Everything above this table calls
// the library only through the wrappers of comm_api.h.
#pragma once

#include "tola_comm.h"

namespace ckupdate {

#define CKUPDATE_COMM_ENTRY(name) decltype(&::name) name = nullptr

struct CommFunctions {
    CKUPDATE_COMM_ENTRY(iTOLA_comm_poll_initialize);
    CKUPDATE_COMM_ENTRY(TOLA_comm_close);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_test);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_poll_measurements_ex);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_poll_measurements);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_get_interface_name);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_get_queue_measurement_ex);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_get_queue_measurement);
    CKUPDATE_COMM_ENTRY(tTOLA_comm_poll);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_reset);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_send_command_ex);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_send_command);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_set_state);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_get_current_BRLL);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_set_bias);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_set_sample_rate);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_lamp_shutter_LED);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_measure_color);
    CKUPDATE_COMM_ENTRY(TOLA_comm_slave_mode);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_calibrate);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_defaults);
    CKUPDATE_COMM_ENTRY(bTOLA_Transfer_structure);
    CKUPDATE_COMM_ENTRY(TOLA_Get_COMM_structure_table);
    CKUPDATE_COMM_ENTRY(bTOLA_Get_CKP_Structure_Addresses_ex);
    CKUPDATE_COMM_ENTRY(bTOLA_Get_CKP_Structure_Addresses);
    CKUPDATE_COMM_ENTRY(bTOLA_Transfer_local_structure);
    CKUPDATE_COMM_ENTRY(TOLA_Get_COMM_version_ex);
    CKUPDATE_COMM_ENTRY(TOLA_Get_COMM_version);
    CKUPDATE_COMM_ENTRY(TOLA_Get_CKII_setup_ex);
    CKUPDATE_COMM_ENTRY(TOLA_Get_CKII_setup);
    CKUPDATE_COMM_ENTRY(TOLA_Get_CKII_norm_ex);
    CKUPDATE_COMM_ENTRY(TOLA_Get_CKII_norm);
    CKUPDATE_COMM_ENTRY(TOLA_Get_CKII_settings_ex);
    CKUPDATE_COMM_ENTRY(TOLA_Get_CKII_settings);
    CKUPDATE_COMM_ENTRY(TOLA_Get_TOLA_SHADE_MATCH_DETAILS_ex);
    CKUPDATE_COMM_ENTRY(TOLA_Get_TOLA_SHADE_MATCH_DETAILS);
    CKUPDATE_COMM_ENTRY(TOLA_Get_CKII_results_ex);
    CKUPDATE_COMM_ENTRY(TOLA_Get_CKII_results);
    CKUPDATE_COMM_ENTRY(TOLA_Get_CKNG_CalMat_ex);
    CKUPDATE_COMM_ENTRY(bTOLA_USB_CKII_control);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_clear_queue);
    CKUPDATE_COMM_ENTRY(TOLA_Get_Dll_version);
    CKUPDATE_COMM_ENTRY(TOLA_Get_Dll_version_ex);
    CKUPDATE_COMM_ENTRY(bTOLA_USB_Renesas_command);
    CKUPDATE_COMM_ENTRY(bTOLA_USB_Renesas_read);
    CKUPDATE_COMM_ENTRY(bTOLA_USB_Renesas_write);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_GetCpuType);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_bt_discovery_ex);
    CKUPDATE_COMM_ENTRY(TOLA_comm_bt_set_device_ex);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_bt_get_radio_count);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_bt_reinit);
    CKUPDATE_COMM_ENTRY(bTOLA_comm_poll_set_details);
};

#undef CKUPDATE_COMM_ENTRY

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
