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
    bool WriteProfileInt(const QString& section, const QString& key, int32_t nValue) override;

    std::map<std::pair<QString, QString>, int32_t> values;
    std::vector<Access> reads;
    std::vector<Access> writes;
    bool failWrites = false; // writes are recorded but change nothing and report failure
};
