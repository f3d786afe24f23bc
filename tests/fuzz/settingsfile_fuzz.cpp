#include "settings/IniDocument.h"
#include "settings/IniSettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

struct Harness {
    QTemporaryDir home;
    QString file;
};

Harness& Get()
{
    static Harness harness; // one config home for the whole run
    return harness;
}

const char* const kKeys[]
    = { "NetworkDevice", "GraphicScale", "MirrorMode", "Transparent", "TransparencyFocused",
          "TransparencyUnocused", "rect.left", "rect.top", "rect.right", "rect.bottom" };

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    Harness& harness = Get();
    qputenv("XDG_CONFIG_HOME", harness.home.path().toUtf8());
    QDir().mkpath(harness.home.path() + "/corvane");
    harness.file = harness.home.path() + "/corvane/corvane.conf";
    return 0;
}

// Arbitrary bytes as corvane.conf. Read through the store, every key comes back as some value
// without a crash or a hang. Edited, the text must read back the values just set, and every
// other key's value as before.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(Get().file);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(bytes);
    }
    CIniSettingsStore store("corvane");
    for (const char* key : kKeys)
        store.GetProfileInt(QStringLiteral("Settings"), QString::fromLatin1(key), 7);
    store.GetProfileString(QStringLiteral("Settings"), QStringLiteral("NetworkDeviceName"), {});

    const CIniDocument doc(bytes);
    const std::vector<ProfileValue> values = { { "rect.left", int32_t(size) },
        { "rect.top", QString::fromUtf8(bytes.left(16)) }, { "NewKey", -1 } };
    const std::optional<CIniDocument::Edit> edit = doc.WithValues("Settings", values);
    if (!edit)
        return 0;
    const CIniDocument& again = edit->document;
    if (again.IsBroken() || again.StringValue("Settings", "rect.left") != QString::number(size)
        || again.StringValue("Settings", "rect.top") != QString::fromUtf8(bytes.left(16))
        || again.StringValue("Settings", "NewKey") != QStringLiteral("-1"))
        std::abort();
    if (!edit->bLinesDropped) {
        for (const char* key : kKeys) {
            const QString name = QString::fromLatin1(key);
            if (name != "rect.left" && name != "rect.top"
                && again.StringValue("Settings", name) != doc.StringValue("Settings", name))
                std::abort();
        }
    }
    return 0;
}
