#include "platform/linux/QtSettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

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

// Arbitrary bytes as corvane.conf, read through the store: every key must come back as some
// value without a crash or a hang.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const kKeys[]
        = { "NetworkDevice", "GraphicScale", "MirrorMode", "Transparent", "TransparencyFocused",
              "TransparencyUnocused", "rect.left", "rect.top", "rect.right", "rect.bottom" };
    {
        QFile file(Get().file);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    CQtSettingsStore store("corvane");
    for (const char* key : kKeys)
        store.GetProfileInt(QStringLiteral("Settings"), QString::fromLatin1(key), 7);
    return 0;
}
