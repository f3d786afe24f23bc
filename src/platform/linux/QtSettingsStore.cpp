#include "platform/linux/QtSettingsStore.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <limits>

CQtSettingsStore::CQtSettingsStore(const QString& strAppName)
{
    // GenericConfigLocation reads XDG_CONFIG_HOME now, falling back to ~/.config.
    const QString strHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    m_strFileName = strHome + u'/' + strAppName + u'/' + strAppName + QStringLiteral(".conf");
}

bool CQtSettingsStore::ParseInt32(const QString& text, int32_t& nValue)
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

int32_t CQtSettingsStore::GetProfileInt(
    const QString& section, const QString& key, int32_t nDefault)
{
    QSettings settings(m_strFileName, QSettings::NativeFormat);
    KeepCopyIfBroken(settings);
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    // An INI value is text; anything else (a list from a comma, an "@Variant(...)" blob) was
    // not written by us and is not a 32-bit integer.
    if (value.typeId() != QMetaType::QString)
        return nDefault;
    int32_t nValue = 0;
    return ParseInt32(value.toString(), nValue) ? nValue : nDefault;
}

QString CQtSettingsStore::GetProfileString(
    const QString& section, const QString& key, const QString& strDefault)
{
    QSettings settings(m_strFileName, QSettings::NativeFormat);
    KeepCopyIfBroken(settings);
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : strDefault;
}

bool CQtSettingsStore::WriteProfile(const QString& section, const std::vector<ProfileValue>& values)
{
    const QSettings::Status status = Write(section, values);
    // The first sync after a parse error refuses to write; the parse is cached per file name
    // in the process, so the next one writes back what could be read. (A QSettings keeps its
    // first error, hence a new one.)
    if (status == QSettings::FormatError)
        return Write(section, values) == QSettings::NoError;
    return status == QSettings::NoError;
}

QSettings::Status CQtSettingsStore::Write(
    const QString& section, const std::vector<ProfileValue>& values) const
{
    QSettings settings(m_strFileName, QSettings::NativeFormat);
    KeepCopyIfBroken(settings);
    // Without a writable directory QSaveFile cannot replace the file; never fall back to
    // rewriting it in place.
    settings.setAtomicSyncRequired(true);
    settings.beginGroup(section);
    for (const ProfileValue& v : values) {
        if (const int32_t* pn = std::get_if<int32_t>(&v.value))
            settings.setValue(v.key, QString::number(*pn));
        else
            settings.setValue(v.key, std::get<QString>(v.value));
    }
    settings.endGroup();
    settings.sync();
    return settings.status();
}

// A line QSettings cannot parse is dropped by the next write, with whatever the user meant by
// it: keep the file as it was in <file>.bad first.
void CQtSettingsStore::KeepCopyIfBroken(QSettings& settings) const
{
    settings.allKeys(); // parses every section
    if (settings.status() != QSettings::FormatError)
        return;
    const QString strAside = m_strFileName + QStringLiteral(".bad");
    QFile::remove(strAside);
    QFile::copy(m_strFileName, strAside);
}
