// Size-tolerant record exchange of the _ex exports: the worker runs on a
// zero-filled record of the library's own size; the caller gets back at most
// its own size, with anything beyond the library's size zero-filled.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

namespace tola {

// Largest caller size taken seriously.  A bigger (or negative) size cannot be a
// record of this interface; such a call fails without touching caller memory.
inline constexpr std::int32_t kMaxCallerRecordSize = 1 << 20;

inline bool caller_size_acceptable(const void* caller, std::int32_t caller_size) {
    return caller != nullptr && caller_size >= 0 && caller_size <= kMaxCallerRecordSize;
}

// Copies the caller's record in, runs worker(Record&), copies it back.
// Returns nothing when the caller's pointer or size is unusable.
template <class Record, class Worker>
auto with_local_copy(void* caller, std::int32_t caller_size, Worker&& worker)
    -> std::optional<decltype(worker(std::declval<Record&>()))> {
    if (!caller_size_acceptable(caller, caller_size)) return std::nullopt;
    Record local{};
    std::memset(&local, 0, sizeof local);
    const std::size_t shared = std::min(static_cast<std::size_t>(caller_size), sizeof(Record));
    std::memcpy(&local, caller, shared);
    auto result = worker(local);
    std::memset(caller, 0, static_cast<std::size_t>(caller_size));
    std::memcpy(caller, &local, shared);
    return result;
}

// The same exchange for a record of a given byte size (the address lists).
template <std::size_t LibrarySize, class Worker>
auto with_local_bytes(void* caller, std::int32_t caller_size, Worker&& worker)
    -> std::optional<decltype(worker(std::declval<unsigned char*>()))> {
    if (!caller_size_acceptable(caller, caller_size)) return std::nullopt;
    alignas(8) unsigned char local[LibrarySize] = {};
    const std::size_t shared = std::min(static_cast<std::size_t>(caller_size), LibrarySize);
    std::memcpy(local, caller, shared);
    auto result = worker(static_cast<unsigned char*>(local));
    std::memset(caller, 0, static_cast<std::size_t>(caller_size));
    std::memcpy(caller, local, shared);
    return result;
}

}  // namespace tola
