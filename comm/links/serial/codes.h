// Code bytes of the packet protocol: commands, the instrument's answers to
// the link check, and the refusals that either side sends instead of an
// acknowledgement.
#pragma once

#include <cstdint>

namespace tola::serial::code {

inline constexpr std::uint8_t kNop = 1;  // link check and keep-alive
inline constexpr std::uint8_t kReset = 2;
inline constexpr std::uint8_t kEchoLiveData = 4;
inline constexpr std::uint8_t kEchoDataOff = 6;

inline constexpr std::uint8_t kReadRam = 51;
inline constexpr std::uint8_t kWriteRam = 52;
inline constexpr std::uint8_t kReadFlash = 53;
inline constexpr std::uint8_t kWriteFlash = 54;
inline constexpr std::uint8_t kReadPeripherals = 55;
inline constexpr std::uint8_t kWritePeripherals = 56;

// Answers to the link check besides kNop (the classic instrument's echo).
inline constexpr std::uint8_t kMappedA = 230;
inline constexpr std::uint8_t kMappedB = 231;

inline constexpr std::uint8_t kNackUnknownCommand = 200;
inline constexpr std::uint8_t kNackWrongCommand = 201;
inline constexpr std::uint8_t kNackChecksum = 202;
inline constexpr std::uint8_t kNackParity = 203;
inline constexpr std::uint8_t kNackTimeout = 204;
inline constexpr std::uint8_t kNackPacketLength = 205;
inline constexpr std::uint8_t kNackNumPackets = 206;
inline constexpr std::uint8_t kNackPacketNumber = 207;
inline constexpr std::uint8_t kNackTransferLength = 208;

inline constexpr bool is_refusal(std::uint8_t b) { return b >= kNackUnknownCommand && b <= kNackTransferLength; }

}  // namespace tola::serial::code
