#pragma once

#include <QString>
#include <cstdint>

// The per-user store of named 32-bit integers, grouped by section. Reads never fail: a value
// that is missing or not a 32-bit integer yields the caller's default. Each write is on disk
// (or has failed) when it returns.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    virtual int32_t GetProfileInt(const QString& section, const QString& key, int32_t nDefault) = 0;
    virtual bool WriteProfileInt(const QString& section, const QString& key, int32_t nValue) = 0;
};
