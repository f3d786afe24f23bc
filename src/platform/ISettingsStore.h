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
// missing or not of the asked kind yields the caller's default. No call waits for another
// copy of the program, but Flush, for at most the time it is given.
class ISettingsStore {
public:
    enum class EWrite {
        Written, // on disk
        // Not on disk yet: the file's lock cannot be taken now. The store keeps the values
        // (reads see them) and saves them at the next chance: a retry of its own, the next
        // write, or Flush.
        Pending,
        Failed, // not written and not kept; the file is as it was
    };

    virtual ~ISettingsStore() = default;
    virtual int32_t GetProfileInt(const QString& section, const QString& key, int32_t nDefault) = 0;
    virtual QString GetProfileString(
        const QString& section, const QString& key, const QString& strDefault)
        = 0;
    // Every value lands in one write, so another running copy never reads half of them.
    virtual EWrite WriteProfile(const QString& section, const std::vector<ProfileValue>& values)
        = 0;
    // Saves what is pending, waiting for the lock at most nWaitMs (meant for the end of the
    // program); false when values stay unsaved.
    virtual bool Flush(int nWaitMs) = 0;
};
