#pragma once

#include "platform/ISettingsStore.h"
#include "settings/IniDocument.h"

#include <QString>
#include <QTimer>
#include <cstdint>
#include <ctime>
#include <sys/types.h>
#include <vector>

// The settings file $XDG_CONFIG_HOME/<name>/<name>.conf (~/.config when the variable is unset
// or empty), one INI group per section, where <name> is the executable's base name, in the
// format QSettings' NativeFormat uses, so a file either of them wrote reads the same in both.
//
// The file is read once and kept while it stays the same file (device, inode, size, change
// times); a read of one key costs one stat(2). A write merges its values into the file as it
// is on disk now, under a lock file (<file>.lock) shared with other running copies, writes the
// whole text to a temporary file in the same folder, checks every byte written, flushes it to
// disk and only then renames it over the old one: a full disk, a crash or a read-only folder
// leaves the old file byte for byte, and the write reports failure.
//
// The lock is never waited for on the event loop. Held by another copy, the values wait in
// memory and are retried from the event loop (and with the next write); Flush, at exit, waits
// a bounded time. A lock that can never be taken (a folder in its place, a folder that cannot
// take it) keeps the values waiting too, without retries of its own, and is reported once on
// stderr.
//
// A file QSettings would call broken (its next write would drop lines), or one above 1 MiB, is
// set aside before it is rewritten: as <file>.bad, or the next free <file>.bad.N up to .bad.9,
// never over an earlier one. With no free name left the file is not rewritten at all.
// A symlink in the file's place stays one, and the file it points to is replaced in its folder,
// but only where no one else could have planted it: every link of the way lies in a folder
// that only its owner (the user or root) can write, and the file at its end is the user's.
// Otherwise the write is refused and reported once on stderr. Anything else that is not a file
// there (a folder, a pipe) is left alone and read as empty.
class CIniSettingsStore : public ISettingsStore {
public:
    explicit CIniSettingsStore(const QString& strAppName);

    int32_t GetProfileInt(const QString& section, const QString& key, int32_t nDefault) override;
    QString GetProfileString(
        const QString& section, const QString& key, const QString& strDefault) override;
    EWrite WriteProfile(const QString& section, const std::vector<ProfileValue>& values) override;
    bool Flush(int nWaitMs) override;

    const QString& FileName() const { return m_strFileName; }

    // Larger files are taken for broken: reading them would slow start-up and exit.
    static constexpr int64_t kMaxFileSize = 1 << 20;
    // <file>.bad and <file>.bad.1 to <file>.bad.9.
    static constexpr int kSetAsideNames = 10;
    // Retries of a lock held by another copy: a write holds it for milliseconds, so the first
    // retry comes soon; one held longer (a copy stopped in a debugger) is asked less often.
    static constexpr int kFirstRetryMs = 100;
    static constexpr int kLastRetryMs = 5000;

    // A stored text as a 32-bit value: decimal digits with an optional sign and surrounding
    // white space, within -2^31..2^31-1. Texts in 2^31..2^32-1 are refused too: the store
    // only ever writes signed values, and taking them as wrapped would turn a hand-edited
    // 4294967295 silently into -1.
    static bool ParseInt32(const QString& text, int32_t& nValue);

private:
    enum class EFile {
        Missing, // no file yet: nothing to keep
        Readable,
        Oversized, // readable but above kMaxFileSize: read as empty, set aside on write
        Untouchable, // a folder, a pipe or an unreadable file: read as empty, never written
    };
    struct FileId {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        timespec mtime {};
        timespec ctime {};
        bool operator==(const FileId& other) const;
    };
    struct PendingValue {
        QString section;
        ProfileValue value;
    };
    enum class ESave { Written, Failed, Busy, Unusable };
    // What stderr has been told, each once.
    enum EReported : unsigned {
        kLockUnusable = 1,
        kLockHeld = 2,
        kUntrustedLink = 4,
    };

    // The file as it is on disk now, parsed only when it changed since the last look.
    const CIniDocument& Current();
    QString SetAsideName(int n) const;
    ProfileValue* FindPending(const QString& section, const QString& key);
    // Saves the pending values, waiting at most nWaitMs for the lock; they stay pending while
    // the lock is busy or unusable.
    ESave SavePending(int nWaitMs);
    // The write itself, under the lock.
    bool WriteLocked();
    void Report(EReported what, const QString& strLine);

    QString m_strAppName;
    QString m_strFileName;
    EFile m_eFile = EFile::Missing;
    FileId m_id;
    bool m_bKnown = false; // m_eFile, m_id and m_doc describe the file as last seen
    CIniDocument m_doc;
    std::vector<PendingValue> m_pending; // in the order written, one per key
    QTimer m_retry;
    int m_nRetryMs = kFirstRetryMs;
    unsigned m_reported = 0;
};
