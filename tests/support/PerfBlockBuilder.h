#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Builds recorded counter blocks in the published performance-data layout for tests:
// a data-block header of 88 bytes, then object records of 64 bytes, each followed by its
// 40-byte counter definitions and its instances (24-byte header, UTF-16LE name, counter
// block). Positions of every record are kept so tests can make the block lie on purpose.
struct BuiltInstance {
    std::u16string name;
    // Counter name index -> value written at that counter's offset (as many bytes as the
    // counter is wide), when that lies inside the counter block.
    std::map<uint32_t, uint64_t> values;
    uint32_t uniqueId = UINT32_MAX; // none
    // Overrides the object's counter block length for this instance (8: no counters).
    std::optional<uint32_t> counterBlockLength = std::nullopt;
};

struct BuiltCounter {
    uint32_t nameIndex;
    uint32_t offset;
    uint32_t size = 8; // CounterSize: 8 for a 64-bit counter, 4 for a 32-bit one
};

struct BuiltObject {
    uint32_t index = 510;
    // received 264, sent 506, total 388, bandwidth 520, as a network object declares them.
    std::vector<BuiltCounter> counters = { { 264, 8 }, { 506, 16 }, { 388, 24 }, { 520, 32 } };
    std::vector<BuiltInstance> instances;
    // Overrides the NumInstances field (-1 for an object without instances).
    std::optional<int32_t> numInstances;
    uint32_t counterBlockLength = 40;
};

struct BuiltBlock {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> objects; // position of each object record
    std::vector<std::vector<uint32_t>> instances; // per object, position of each instance
    std::vector<std::vector<uint32_t>> counters; // per object, position of each definition

    void Put32(uint32_t pos, uint32_t value);
};

BuiltBlock BuildPerfBlock(
    const std::vector<BuiltObject>& objects, std::optional<int32_t> numObjectTypes = std::nullopt);

// One network object with the given interfaces and their received/sent byte counts.
struct BuiltInterface {
    std::u16string name;
    uint64_t received = 0;
    uint64_t sent = 0;
    uint32_t uniqueId = UINT32_MAX; // none
    bool counted = true; // false: an empty counter block, as for a link not read
};
BuiltBlock BuildNetworkBlock(
    const std::vector<BuiltInterface>& interfaces, uint32_t counterSize = 8);
