#include "support/PerfBlockBuilder.h"

namespace {

void Put(std::vector<uint8_t>& b, size_t pos, uint64_t value, int bytes)
{
    if (b.size() < pos + size_t(bytes))
        b.resize(pos + size_t(bytes));
    for (int i = 0; i < bytes; ++i)
        b[pos + size_t(i)] = uint8_t(value >> (8 * i));
}

size_t Align8(size_t n)
{
    return (n + 7) & ~size_t(7);
}

} // namespace

void BuiltBlock::Put32(uint32_t pos, uint32_t value)
{
    Put(bytes, pos, value, 4);
}

BuiltBlock BuildPerfBlock(
    const std::vector<BuiltObject>& objects, std::optional<int32_t> numObjectTypes)
{
    BuiltBlock out;
    auto& b = out.bytes;
    b.assign(88, 0);
    const char16_t sig[4] = { u'P', u'E', u'R', u'F' };
    for (int i = 0; i < 4; ++i)
        Put(b, size_t(2 * i), sig[i], 2);
    Put(b, 8, 1, 4); // little endian
    Put(b, 12, 1, 4); // version
    Put(b, 24, 88, 4); // header length
    Put(b, 28, uint32_t(numObjectTypes.value_or(int32_t(objects.size()))), 4);

    for (const BuiltObject& o : objects) {
        const size_t obj = b.size();
        out.objects.push_back(uint32_t(obj));
        out.counters.emplace_back();
        out.instances.emplace_back();
        b.resize(obj + 64, 0);
        Put(b, obj + 8, 64, 4);
        Put(b, obj + 12, o.index, 4);
        Put(b, obj + 32, o.counters.size(), 4);
        Put(b, obj + 40, uint32_t(o.numInstances.value_or(int32_t(o.instances.size()))), 4);
        for (const BuiltCounter& c : o.counters) {
            const size_t def = b.size();
            out.counters.back().push_back(uint32_t(def));
            b.resize(def + 40, 0);
            Put(b, def, 40, 4);
            Put(b, def + 4, c.nameIndex, 4);
            Put(b, def + 28, c.size == 8 ? 0x00010500 : 0x00010400, 4); // bulk count
            Put(b, def + 32, c.size, 4);
            Put(b, def + 36, c.offset, 4);
        }
        Put(b, obj + 4, b.size() - obj, 4); // definition length
        for (const BuiltInstance& in : o.instances) {
            const size_t inst = b.size();
            out.instances.back().push_back(uint32_t(inst));
            const size_t nameBytes = 2 * (in.name.size() + 1);
            const size_t length = Align8(24 + nameBytes);
            b.resize(inst + length, 0);
            Put(b, inst, length, 4);
            Put(b, inst + 12, in.uniqueId, 4);
            Put(b, inst + 16, 24, 4);
            Put(b, inst + 20, nameBytes, 4);
            for (size_t i = 0; i < in.name.size(); ++i)
                Put(b, inst + 24 + 2 * i, in.name[i], 2);
            const size_t block = b.size();
            const uint32_t blockLength = in.counterBlockLength.value_or(o.counterBlockLength);
            b.resize(block + blockLength, 0);
            Put(b, block, blockLength, 4);
            for (const BuiltCounter& c : o.counters) {
                auto it = in.values.find(c.nameIndex);
                // A definition that points outside the counter block gets no value.
                if (it != in.values.end() && uint64_t(c.offset) + 8 <= blockLength)
                    Put(b, block + c.offset, it->second, int(c.size == 8 ? 8 : 4));
            }
        }
        Put(b, obj, b.size() - obj, 4); // total length
    }
    Put(b, 20, b.size(), 4);
    return out;
}

BuiltBlock BuildNetworkBlock(const std::vector<BuiltInterface>& interfaces, uint32_t counterSize)
{
    BuiltObject o;
    for (BuiltCounter& c : o.counters)
        c.size = counterSize;
    for (const BuiltInterface& i : interfaces) {
        o.instances.push_back({ i.name,
            { { 264, i.received }, { 506, i.sent }, { 388, i.received + i.sent }, { 520, 0 } },
            i.uniqueId });
        if (!i.counted)
            o.instances.back().counterBlockLength = 8;
    }
    return BuildPerfBlock({ o });
}
