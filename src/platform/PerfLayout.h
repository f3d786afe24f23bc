#pragma once

#include <cstdint>

// The performance-data block's layout, shared by the walker that reads it and the Linux
// source that writes it, so the two cannot drift apart. Offsets are in bytes from the start
// of their record; every field named here is a little-endian 32-bit word. Objects, counter
// definitions, instances and counter blocks each begin with their own length in bytes.
namespace PerfLayout {

// The network interface object and its counters, by name index.
inline constexpr uint32_t kNetworkObject = 510;
inline constexpr uint32_t kBytesReceived = 264;
inline constexpr uint32_t kBytesSent = 506;
inline constexpr uint32_t kBytesTotal = 388;
inline constexpr uint32_t kBandwidth = 520; // bits/s, 0 when unknown

// The block starts with "PERF" in UTF-16LE, then these fields.
namespace DataBlock {
inline constexpr uint32_t kLittleEndian = 8;
inline constexpr uint32_t kVersion = 12;
inline constexpr uint32_t kRevision = 16;
inline constexpr uint32_t kTotalByteLength = 20;
inline constexpr uint32_t kHeaderLength = 24;
inline constexpr uint32_t kNumObjectTypes = 28;
inline constexpr uint32_t kDefaultObject = 32;
inline constexpr uint32_t kSize = 88;
} // namespace DataBlock

// The object's header is followed by its counter definitions, then its instances.
namespace Object {
inline constexpr uint32_t kDefinitionLength = 4;
inline constexpr uint32_t kHeaderLength = 8;
inline constexpr uint32_t kObjectNameTitleIndex = 12;
inline constexpr uint32_t kObjectHelpTitleIndex = 20;
inline constexpr uint32_t kDetailLevel = 28;
inline constexpr uint32_t kNumCounters = 32;
inline constexpr uint32_t kNumInstances = 40;
inline constexpr uint32_t kSize = 64;
} // namespace Object

// CounterOffset counts from the start of an instance's counter block.
namespace CounterDefinition {
inline constexpr uint32_t kCounterNameTitleIndex = 4;
inline constexpr uint32_t kCounterHelpTitleIndex = 12;
inline constexpr uint32_t kDetailLevel = 24;
inline constexpr uint32_t kCounterType = 28;
inline constexpr uint32_t kCounterSize = 32;
inline constexpr uint32_t kCounterOffset = 36;
inline constexpr uint32_t kSize = 40;
} // namespace CounterDefinition

// NameOffset counts from the instance's start; its counter block follows it at ByteLength.
namespace Instance {
inline constexpr uint32_t kUniqueId = 12;
inline constexpr uint32_t kNameOffset = 16;
inline constexpr uint32_t kNameLength = 20; // bytes, the NUL included
inline constexpr uint32_t kSize = 24;
} // namespace Instance

} // namespace PerfLayout
