#pragma once

#include "platform/ISettingsStore.h"

#include <QString>
#include <map>
#include <utility>
#include <vector>

// Keeps the values in memory and remembers every read and write in order.
class CFakeSettingsStore : public ISettingsStore {
public:
    struct Access {
        QString section;
        QString key;
        int32_t value; // the value written, or the default a read asked for
        bool operator==(const Access&) const = default;
    };

    int32_t GetProfileInt(const QString& section, const QString& key, int32_t nDefault) override;
    QString GetProfileString(
        const QString& section, const QString& key, const QString& strDefault) override;
    EWrite WriteProfile(const QString& section, const std::vector<ProfileValue>& values) override;
    bool Flush(int nWaitMs) override;

    std::map<std::pair<QString, QString>, int32_t> values;
    std::map<std::pair<QString, QString>, QString> strings;
    std::vector<Access> reads;
    std::vector<Access> writes; // integer values, one entry per key
    std::vector<std::vector<ProfileValue>> batches; // every WriteProfile call as it came
    bool failWrites = false; // writes are recorded but change nothing and report failure
    std::vector<int> flushWaits; // every Flush call's wait
};
