#include "update/binding/comm_functions.h"

namespace ckupdate {

#define ENTRY(kind, name)                                                                       \
    BindEntry {                                                                                 \
        #name, BindKind::kind, [](CommFunctions& t, void* p) {                                  \
            t.name = reinterpret_cast<decltype(t.name)>(p);                                     \
        }                                                                                       \
    }

const BindEntry kBindOrder[] = {
    ENTRY(Required, iTOLA_comm_poll_initialize),
    ENTRY(Required, TOLA_comm_close),
    ENTRY(Required, bTOLA_comm_test),
    ENTRY(ExFirst, bTOLA_comm_poll_measurements_ex),
    ENTRY(Plain, bTOLA_comm_poll_measurements),
    ENTRY(Required, bTOLA_comm_get_interface_name),
    ENTRY(ExFirst, bTOLA_comm_get_queue_measurement_ex),
    ENTRY(Plain, bTOLA_comm_get_queue_measurement),
    ENTRY(Required, tTOLA_comm_poll),
    ENTRY(Required, bTOLA_comm_reset),
    ENTRY(ExFirst, bTOLA_comm_send_command_ex),
    ENTRY(Plain, bTOLA_comm_send_command),
    ENTRY(Required, bTOLA_comm_set_state),
    ENTRY(Required, bTOLA_comm_get_current_BRLL),
    ENTRY(Required, bTOLA_comm_set_bias),
    ENTRY(Required, bTOLA_comm_set_sample_rate),
    ENTRY(Required, bTOLA_comm_lamp_shutter_LED),
    ENTRY(Required, bTOLA_comm_measure_color),
    ENTRY(Required, TOLA_comm_slave_mode),
    ENTRY(Required, bTOLA_comm_calibrate),
    ENTRY(Required, bTOLA_comm_defaults),
    ENTRY(Required, bTOLA_Transfer_structure),
    ENTRY(Required, TOLA_Get_COMM_structure_table),
    ENTRY(ExFirst, bTOLA_Get_CKP_Structure_Addresses_ex),
    ENTRY(Plain, bTOLA_Get_CKP_Structure_Addresses),
    ENTRY(Required, bTOLA_Transfer_local_structure),
    ENTRY(ExFirst, TOLA_Get_COMM_version_ex),
    ENTRY(Plain, TOLA_Get_COMM_version),
    ENTRY(ExFirst, TOLA_Get_CKII_setup_ex),
    ENTRY(Plain, TOLA_Get_CKII_setup),
    ENTRY(ExFirst, TOLA_Get_CKII_norm_ex),
    ENTRY(Plain, TOLA_Get_CKII_norm),
    ENTRY(ExFirst, TOLA_Get_CKII_settings_ex),
    ENTRY(Plain, TOLA_Get_CKII_settings),
    ENTRY(ExFirst, TOLA_Get_TOLA_SHADE_MATCH_DETAILS_ex),
    ENTRY(Plain, TOLA_Get_TOLA_SHADE_MATCH_DETAILS),
    ENTRY(ExFirst, TOLA_Get_CKII_results_ex),
    ENTRY(Plain, TOLA_Get_CKII_results),
    ENTRY(ExAlone, TOLA_Get_CKNG_CalMat_ex),
    ENTRY(Required, bTOLA_USB_CKII_control),
    ENTRY(Required, bTOLA_comm_clear_queue),
    ENTRY(Silent, TOLA_Get_Dll_version),
    ENTRY(Silent, TOLA_Get_Dll_version_ex),
    ENTRY(Silent, bTOLA_USB_Renesas_command),
    ENTRY(Silent, bTOLA_USB_Renesas_read),
    ENTRY(Silent, bTOLA_USB_Renesas_write),
    ENTRY(Silent, bTOLA_comm_GetCpuType),
    ENTRY(Silent, bTOLA_comm_bt_discovery_ex),
    ENTRY(Silent, TOLA_comm_bt_set_device_ex),
    ENTRY(Silent, bTOLA_comm_bt_get_radio_count),
    ENTRY(Silent, bTOLA_comm_bt_reinit),
    ENTRY(Silent, bTOLA_comm_poll_set_details),
};

const int kBindOrderCount = static_cast<int>(sizeof kBindOrder / sizeof kBindOrder[0]);

#undef ENTRY

}  // namespace ckupdate
