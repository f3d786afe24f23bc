#include "fakes/FakeSettingsStore.h"

int32_t CFakeSettingsStore::GetProfileInt(
    const QString& section, const QString& key, int32_t nDefault)
{
    reads.push_back({ section, key, nDefault });
    const auto it = values.find({ section, key });
    return it == values.end() ? nDefault : it->second;
}

bool CFakeSettingsStore::WriteProfileInt(const QString& section, const QString& key, int32_t nValue)
{
    writes.push_back({ section, key, nValue });
    if (failWrites)
        return false;
    values[{ section, key }] = nValue;
    return true;
}
