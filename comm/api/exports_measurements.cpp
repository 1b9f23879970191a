// Exported measurement polling and queue access.
#include "comm/api/frame.h"
#include "comm/api/size_tolerant.h"
#include "comm/measurements/polling.h"

using namespace tola;

namespace {

// The first poll after loading and after every open reports nothing once,
// whatever the worker found (the record may be filled all the same).
std::int32_t after_reinitialisation_check(std::int32_t result) {
    if (library_state().reinitialised.exchange(false)) return 0;
    return result;
}

}  // namespace

extern "C" {

TOLA_API int32_t bTOLA_comm_poll_measurements(COMM_MEASUREMENT* lpMeasurement, int32_t iKind) {
    return serialised(kFlagResults<>, [&] {
        return after_reinitialisation_check(measurements::poll_measurements(lpMeasurement, iKind));
    });
}

TOLA_API int32_t bTOLA_comm_poll_measurements_ex(COMM_MEASUREMENT* lpMeasurement, int32_t iSize, int32_t iKind) {
    return serialised(kFlagResults<>, [&] {
        const auto result = with_local_copy<COMM_MEASUREMENT>(
            lpMeasurement, iSize, [&](COMM_MEASUREMENT& m) { return measurements::poll_measurements(&m, iKind); });
        return after_reinitialisation_check(result.value_or(0));
    });
}

TOLA_API int32_t bTOLA_comm_get_queue_measurement(COMM_MEASUREMENT* lpMeasurement, int32_t iWhich) {
    return serialised(kFlagResults<>, [&] {
        return measurements::get_queue_measurement(lpMeasurement, iWhich);
    });
}

TOLA_API int32_t bTOLA_comm_get_queue_measurement_ex(COMM_MEASUREMENT* lpMeasurement, int32_t iSize,
                                                     int32_t iWhich) {
    return serialised(kFlagResults<>, [&] {
        return with_local_copy<COMM_MEASUREMENT>(lpMeasurement, iSize, [&](COMM_MEASUREMENT& m) {
                   return measurements::get_queue_measurement(&m, iWhich);
               }).value_or(0);
    });
}

TOLA_API uint32_t tTOLA_comm_poll(int32_t iFlags) {
    return serialised(kFlagResults<std::uint32_t>, [&] { return measurements::poll(iFlags); });
}

TOLA_API int32_t bTOLA_comm_clear_queue(void) {
    return serialised(kFlagResults<>, [] { return measurements::clear_queue(); });
}

TOLA_API int32_t bTOLA_comm_poll_set_details(int32_t iDetails) {
    return serialised(kFlagResults<>, [&] {
        library_state().poll_details = iDetails;
        return 1;
    });
}

}  // extern "C"
