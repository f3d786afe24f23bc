#include "fakes/FakeSettingsStore.h"

int32_t CFakeSettingsStore::GetProfileInt(
    const QString& section, const QString& key, int32_t nDefault)
{
    reads.push_back({ section, key, nDefault });
    const auto it = values.find({ section, key });
    return it == values.end() ? nDefault : it->second;
}

QString CFakeSettingsStore::GetProfileString(
    const QString& section, const QString& key, const QString& strDefault)
{
    const auto it = strings.find({ section, key });
    return it == strings.end() ? strDefault : it->second;
}

ISettingsStore::EWrite CFakeSettingsStore::WriteProfile(
    const QString& section, const std::vector<ProfileValue>& batch)
{
    batches.push_back(batch);
    for (const ProfileValue& v : batch)
        if (const int32_t* pn = std::get_if<int32_t>(&v.value))
            writes.push_back({ section, v.key, *pn });
    if (failWrites)
        return EWrite::Failed;
    for (const ProfileValue& v : batch) {
        if (const int32_t* pn = std::get_if<int32_t>(&v.value))
            values[{ section, v.key }] = *pn;
        else
            strings[{ section, v.key }] = std::get<QString>(v.value);
    }
    return EWrite::Written;
}

bool CFakeSettingsStore::Flush(int nWaitMs)
{
    flushWaits.push_back(nWaitMs);
    return true;
}
