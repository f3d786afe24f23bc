#pragma once

#include "platform/ISettingsStore.h"

#include <QSettings>
#include <QString>

// The settings file $XDG_CONFIG_HOME/<name>/<name>.conf (~/.config when the variable is unset
// or empty), one INI group per section, where <name> is the executable's base name.
//
// It names the file itself instead of handing organisation and application to QSettings:
// QSettings resolves XDG_CONFIG_HOME once per process and caches it, and would also read
// system-wide fallbacks under /etc/xdg. The file and its format are the same.
//
// Every call opens the file afresh, so a write sees what another running copy stored a moment
// ago and its result says whether this very write reached the disk. QSettings merges the change
// under a lock file (<file>.lock) and replaces the file through QSaveFile: a crash or a full
// disk leaves the old file or the new one, never a mix. A file with lines QSettings cannot
// parse is copied to <file>.bad and rewritten with what could be read.
class CQtSettingsStore : public ISettingsStore {
public:
    explicit CQtSettingsStore(const QString& strAppName);

    int32_t GetProfileInt(const QString& section, const QString& key, int32_t nDefault) override;
    QString GetProfileString(
        const QString& section, const QString& key, const QString& strDefault) override;
    bool WriteProfile(const QString& section, const std::vector<ProfileValue>& values) override;

    const QString& FileName() const { return m_strFileName; }

    // A stored text as a 32-bit value: decimal digits with an optional sign and surrounding
    // white space, within -2^31..2^31-1. Texts in 2^31..2^32-1 are refused too: the store
    // only ever writes signed values, and taking them as wrapped would turn a hand-edited
    // 4294967295 silently into -1.
    static bool ParseInt32(const QString& text, int32_t& nValue);

private:
    QSettings::Status Write(const QString& section, const std::vector<ProfileValue>& values) const;
    void KeepCopyIfBroken(QSettings& settings) const;

    QString m_strFileName;
};
