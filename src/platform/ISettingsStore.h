#pragma once

#include <QString>
#include <cstdint>
#include <variant>
#include <vector>

// One key's new value in a write: a 32-bit integer or a text.
struct ProfileValue {
    QString key;
    std::variant<int32_t, QString> value;
};

// The per-user store of named values, grouped by section. Reads never fail: a value that is
// missing or not of the asked kind yields the caller's default. Each write is on disk (or has
// failed, leaving the file as it was) when it returns.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    virtual int32_t GetProfileInt(const QString& section, const QString& key, int32_t nDefault) = 0;
    virtual QString GetProfileString(
        const QString& section, const QString& key, const QString& strDefault)
        = 0;
    // Every value lands in one write, so another running copy never reads half of them.
    virtual bool WriteProfile(const QString& section, const std::vector<ProfileValue>& values) = 0;

    bool WriteProfileInt(const QString& section, const QString& key, int32_t nValue)
    {
        return WriteProfile(section, { { key, nValue } });
    }
};
