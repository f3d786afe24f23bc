#include "settings/IniSettingsStore.h"

#include "platform/linux/FileDescriptor.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

// Hidden, and named so that no file of the user's is taken for a left temporary file.
QString TemporaryPrefix(const QString& base)
{
    return u'.' + base + QStringLiteral(".saving.");
}

// write(2) may take fewer bytes than asked (a disk filling up takes what fits): go on until all
// are written or it reports an error.
bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Only its owner, the user or root, can add or replace names in the folder (what ssh asks of
// the folders of its own files).
bool OnlyOwnerWrites(const QString& dir)
{
    struct stat st { };
    return ::stat(Native(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && (st.st_uid == ::geteuid() || st.st_uid == 0) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Follows symlinks to the file a write must replace (which need not exist yet when the path is
// no link). A link is followed only when no one else could have planted it: it lies in a folder
// only its owner writes, and the file it leads to is the user's. Nothing otherwise.
std::optional<QString> TrustedTarget(const QString& path)
{
    QString current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st { };
        if (::lstat(Native(current).constData(), &st) != 0)
            return hops == 0 ? std::optional(current) : std::nullopt; // a link to nothing
        if (!S_ISLNK(st.st_mode)) {
            if (hops > 0 && st.st_uid != ::geteuid())
                return std::nullopt;
            return current;
        }
        if (!OnlyOwnerWrites(QFileInfo(current).path()))
            return std::nullopt;
        const QString link = QFile::symLinkTarget(current);
        if (link.isEmpty())
            return std::nullopt;
        current = link;
    }
    return std::nullopt;
}

// A new file with every byte of data, flushed to disk; empty on any failure (nothing is left).
QString WriteTemporary(const QString& dir, const QString& base, const QByteArray& data, mode_t mode)
{
    QByteArray name = Native(dir + u'/' + TemporaryPrefix(base) + QStringLiteral("XXXXXX"));
    CFileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.IsValid())
        return {};
    if (!WriteAll(fd.Get(), data.constData(), size_t(data.size())) || ::fchmod(fd.Get(), mode) != 0
        || ::fsync(fd.Get()) != 0) {
        ::unlink(name.constData());
        return {};
    }
    return QFile::decodeName(name);
}

// Keeps the file's present text under aside, which must not exist yet: a second name for the
// same file where the folder allows it (no bytes to write), else a checked copy.
enum class EAside { Kept, Taken, Failed };
EAside KeepAside(const QString& target, const QString& aside)
{
    const QByteArray from = Native(target), to = Native(aside);
    if (::link(from.constData(), to.constData()) == 0)
        return EAside::Kept;
    if (errno == EEXIST)
        return EAside::Taken;
    CFileDescriptor in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (!in.IsValid())
        return EAside::Failed;
    CFileDescriptor out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.IsValid())
        return errno == EEXIST ? EAside::Taken : EAside::Failed;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 && ::fsync(out.Get()) == 0)
            return EAside::Kept;
        if (n <= 0 || !WriteAll(out.Get(), buffer, size_t(n)))
            break;
    }
    ::unlink(to.constData());
    return EAside::Failed;
}

void SyncFolder(const QString& dir)
{
    CFileDescriptor fd(::open(Native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.IsValid())
        ::fsync(fd.Get());
}

// A writer that died between creating and renaming its temporary file left it behind; under
// the lock no other writer is busy with one.
void RemoveLeftTemporaries(const QString& dir, const QString& base)
{
    const QStringList names = QDir(dir).entryList(
        { TemporaryPrefix(base) + QStringLiteral("??????") }, QDir::Files | QDir::Hidden);
    for (const QString& name : names)
        QFile::remove(dir + u'/' + name);
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool CIniSettingsStore::FileId::operator==(const FileId& other) const
{
    return dev == other.dev && ino == other.ino && size == other.size
        && mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec
        && ctime.tv_sec == other.ctime.tv_sec && ctime.tv_nsec == other.ctime.tv_nsec;
}

CIniSettingsStore::CIniSettingsStore(const QString& strAppName)
    : m_strAppName(strAppName)
{
    // GenericConfigLocation reads XDG_CONFIG_HOME now, falling back to ~/.config.
    const QString strHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    m_strFileName = strHome + u'/' + strAppName + u'/' + strAppName + QStringLiteral(".conf");
    m_retry.setSingleShot(true);
    QObject::connect(&m_retry, &QTimer::timeout, &m_retry, [this] {
        if (SavePending(0) == ESave::Busy) {
            m_nRetryMs = std::min(m_nRetryMs * 2, kLastRetryMs);
            m_retry.start(m_nRetryMs);
        }
    });
}

bool CIniSettingsStore::ParseInt32(const QString& text, int32_t& nValue)
{
    const QString strTrimmed = text.trimmed();
    if (strTrimmed.isEmpty())
        return false;
    bool bOk = false;
    const qlonglong nWide = strTrimmed.toLongLong(&bOk, 10);
    if (!bOk || nWide < std::numeric_limits<int32_t>::min()
        || nWide > std::numeric_limits<int32_t>::max())
        return false;
    nValue = int32_t(nWide);
    return true;
}

const CIniDocument& CIniSettingsStore::Current()
{
    const QByteArray path = Native(m_strFileName);
    struct stat st { };
    if (::stat(path.constData(), &st) != 0) {
        m_eFile = errno == ENOENT ? EFile::Missing : EFile::Untouchable;
        m_bKnown = false;
        m_doc = CIniDocument();
        return m_doc;
    }
    const auto idOf = [](const struct stat& s) {
        return FileId { s.st_dev, s.st_ino, s.st_size, s.st_mtim, s.st_ctim };
    };
    if (m_bKnown && idOf(st) == m_id)
        return m_doc;

    m_bKnown = false;
    m_doc = CIniDocument();
    m_eFile = EFile::Untouchable;
    // Non-blocking, so a pipe in the file's place cannot hang the open.
    CFileDescriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsValid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return m_doc;
    if (st.st_size > kMaxFileSize) {
        m_eFile = EFile::Oversized;
    } else {
        // Read one byte more than fstat said, and on up to one byte past the limit if the file
        // grew meanwhile, so a file that grew too big is seen as such.
        QByteArray bytes(qsizetype(st.st_size + 1), Qt::Uninitialized);
        qsizetype nRead = 0;
        for (;;) {
            if (nRead == bytes.size()) {
                if (nRead > kMaxFileSize)
                    break;
                bytes.resize(qsizetype(kMaxFileSize + 1));
            }
            const ssize_t n = ::read(fd.Get(), bytes.data() + nRead, size_t(bytes.size() - nRead));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return m_doc;
            if (n == 0)
                break;
            nRead += n;
        }
        if (nRead > kMaxFileSize) {
            m_eFile = EFile::Oversized;
        } else {
            bytes.truncate(nRead);
            m_doc = CIniDocument(std::move(bytes));
            m_eFile = EFile::Readable;
        }
    }
    m_id = idOf(st);
    m_bKnown = true;
    return m_doc;
}

ProfileValue* CIniSettingsStore::FindPending(const QString& section, const QString& key)
{
    for (PendingValue& pending : m_pending)
        if (pending.section == section && pending.value.key == key)
            return &pending.value;
    return nullptr;
}

int32_t CIniSettingsStore::GetProfileInt(
    const QString& section, const QString& key, int32_t nDefault)
{
    if (ProfileValue* pending = FindPending(section, key)) {
        const int32_t* pn = std::get_if<int32_t>(&pending->value);
        int32_t nValue = 0;
        return pn ? *pn : ParseInt32(std::get<QString>(pending->value), nValue) ? nValue : nDefault;
    }
    const std::optional<QString> text = Current().StringValue(section, key);
    int32_t nValue = 0;
    return text && ParseInt32(*text, nValue) ? nValue : nDefault;
}

QString CIniSettingsStore::GetProfileString(
    const QString& section, const QString& key, const QString& strDefault)
{
    if (ProfileValue* pending = FindPending(section, key)) {
        const int32_t* pn = std::get_if<int32_t>(&pending->value);
        return pn ? QString::number(*pn) : std::get<QString>(pending->value);
    }
    return Current().StringValue(section, key).value_or(strDefault);
}

QString CIniSettingsStore::SetAsideName(int n) const
{
    return m_strFileName + QStringLiteral(".bad")
        + (n == 0 ? QString() : u'.' + QString::number(n));
}

ISettingsStore::EWrite CIniSettingsStore::WriteProfile(
    const QString& section, const std::vector<ProfileValue>& values)
{
    // Values still waiting go with these, in one write; a key written again takes its new value.
    for (const ProfileValue& value : values) {
        if (ProfileValue* pending = FindPending(section, value.key))
            pending->value = value.value;
        else
            m_pending.push_back({ section, value });
    }
    switch (SavePending(0)) {
    case ESave::Written:
        return EWrite::Written;
    case ESave::Failed:
        return EWrite::Failed;
    case ESave::Busy:
        // Another copy is writing: try again soon, from the event loop.
        if (!m_retry.isActive()) {
            m_nRetryMs = kFirstRetryMs;
            m_retry.start(m_nRetryMs);
        }
        return EWrite::Pending;
    case ESave::Unusable:
        break;
    }
    return EWrite::Pending;
}

bool CIniSettingsStore::Flush(int nWaitMs)
{
    m_retry.stop();
    const ESave result = SavePending(nWaitMs);
    if (result == ESave::Busy)
        Report(kLockHeld,
            QStringLiteral("settings not saved: another copy holds %1.lock").arg(m_strFileName));
    return result == ESave::Written;
}

CIniSettingsStore::ESave CIniSettingsStore::SavePending(int nWaitMs)
{
    if (m_pending.empty())
        return ESave::Written;
    if (!QDir().mkpath(QFileInfo(m_strFileName).path())) {
        m_pending.clear();
        return ESave::Failed;
    }
    const QString lockName = m_strFileName + QStringLiteral(".lock");
    // A lock path that is no plain file (a folder, a pipe, a link) was not made by a copy of the
    // program and would never go away; reading a pipe for its owner would even block.
    struct stat st { };
    bool bUnusable = ::lstat(Native(lockName).constData(), &st) == 0 && !S_ISREG(st.st_mode);
    QLockFile lock(lockName);
    if (!bUnusable && !lock.tryLock(nWaitMs)) {
        if (lock.error() == QLockFile::LockFailedError)
            return ESave::Busy;
        bUnusable = true;
    }
    if (bUnusable) {
        Report(kLockUnusable,
            QStringLiteral("settings not saved: cannot create the lock file %1").arg(lockName));
        return ESave::Unusable;
    }
    m_retry.stop();
    const bool bWritten = WriteLocked();
    m_pending.clear();
    return bWritten ? ESave::Written : ESave::Failed;
}

bool CIniSettingsStore::WriteLocked()
{
    const std::optional<QString> trusted = TrustedTarget(m_strFileName);
    if (!trusted) {
        Report(kUntrustedLink,
            QStringLiteral("settings not saved: %1 is a link someone else could have placed")
                .arg(m_strFileName));
        return false;
    }
    const QString& target = *trusted;
    const QFileInfo targetInfo(target);
    const QString dir = targetInfo.path();
    const QString base = targetInfo.fileName();
    RemoveLeftTemporaries(dir, base);

    const CIniDocument& doc = Current();
    if (m_eFile == EFile::Untouchable)
        return false;
    // One edit per section, in the order the sections were first written.
    std::optional<CIniDocument::Edit> edit;
    std::vector<QString> sections;
    for (const PendingValue& pending : m_pending)
        if (std::find(sections.begin(), sections.end(), pending.section) == sections.end())
            sections.push_back(pending.section);
    for (const QString& section : sections) {
        std::vector<ProfileValue> values;
        for (const PendingValue& pending : m_pending)
            if (pending.section == section)
                values.push_back(pending.value);
        const CIniDocument& from = edit ? edit->document : doc;
        std::optional<CIniDocument::Edit> next = from.WithValues(section, values);
        if (!next)
            return false;
        next->bLinesDropped |= edit && edit->bLinesDropped;
        edit = std::move(next);
    }
    if (!edit)
        return true;
    const bool bSetAside = m_eFile == EFile::Oversized || edit->bLinesDropped;

    mode_t mode = NewFileMode();
    struct stat st { };
    if (m_eFile != EFile::Missing && ::stat(Native(target).constData(), &st) == 0)
        mode = st.st_mode & 07777;
    const QString temporary = WriteTemporary(dir, base, edit->document.Bytes(), mode);
    if (temporary.isEmpty())
        return false;

    QString aside;
    if (bSetAside) {
        for (int n = 0; n < kSetAsideNames && aside.isEmpty(); ++n) {
            struct stat taken { };
            if (::lstat(Native(SetAsideName(n)).constData(), &taken) == 0)
                continue;
            const EAside result = KeepAside(target, SetAsideName(n));
            if (result == EAside::Failed)
                break;
            if (result == EAside::Kept)
                aside = SetAsideName(n);
        }
        // Every name taken, or the copy failed: rather keep the file as it is than lose it.
        if (aside.isEmpty()) {
            QFile::remove(temporary);
            return false;
        }
    }

    if (::rename(Native(temporary).constData(), Native(target).constData()) != 0) {
        QFile::remove(temporary);
        if (!aside.isEmpty())
            QFile::remove(aside);
        return false;
    }
    SyncFolder(dir);
    if (!aside.isEmpty())
        SyncFolder(QFileInfo(aside).path());
    // What was just written is what the next read would find: no need to read it again.
    if (::stat(Native(target).constData(), &st) == 0) {
        m_doc = std::move(edit->document);
        m_eFile = EFile::Readable;
        m_id = { st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim };
        m_bKnown = true;
    }
    return true;
}

void CIniSettingsStore::Report(EReported what, const QString& strLine)
{
    if (m_reported & what)
        return;
    m_reported |= what;
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(m_strAppName), qUtf8Printable(strLine));
    std::fflush(stderr);
}
