#include "settings/IniSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// A config home whose corvane.conf holds the program's ten keys and, in another group, as many
// keys of another program as it takes to reach the size asked for.
struct BenchHome {
    QTemporaryDir home;
    QByteArray oldHome = qgetenv("XDG_CONFIG_HOME");
    QString file;

    explicit BenchHome(qsizetype size)
    {
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        QDir().mkpath(home.path() + "/corvane");
        file = home.path() + "/corvane/corvane.conf";
        QByteArray text = "[Settings]\nGraphicScale=51200\nMirrorMode=1\nNetworkDevice=2\n"
                          "Transparent=1\nTransparencyFocused=200\nTransparencyUnocused=100\n"
                          "rect.bottom=143\nrect.left=10\nrect.right=184\nrect.top=20\n\n[Other]\n";
        for (int i = 0; text.size() < size - 32; ++i)
            text += "key" + QByteArray::number(i) + "=some value\n";
        QFile out(file);
        if (out.open(QIODevice::WriteOnly))
            out.write(text);
    }
    ~BenchHome() { qputenv("XDG_CONFIG_HOME", oldHome); }
};

const char* const kKeys[]
    = { "NetworkDevice", "GraphicScale", "MirrorMode", "Transparent", "TransparencyFocused",
          "TransparencyUnocused", "rect.left", "rect.top", "rect.right", "rect.bottom" };

// Start-up's load: a new store reads the six settings and the rectangle.
void BM_SettingsLoad(benchmark::State& state)
{
    BenchHome home(state.range(0));
    for (auto _ : state) {
        CIniSettingsStore store("corvane");
        int32_t nSum = 0;
        for (const char* key : kKeys)
            nSum += store.GetProfileInt(QStringLiteral("Settings"), QString::fromLatin1(key), 0);
        benchmark::DoNotOptimize(nSum);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SettingsLoad)
    ->Arg(1 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);

// A window move's save: the four edges in one write, flushed to disk, by a store that loaded
// the file before (as the running program has).
void BM_SettingsSave(benchmark::State& state)
{
    BenchHome home(state.range(0));
    CIniSettingsStore store("corvane");
    store.GetProfileInt(QStringLiteral("Settings"), QStringLiteral("GraphicScale"), 0);
    int32_t n = 0;
    for (auto _ : state) {
        ++n;
        const ISettingsStore::EWrite result = store.WriteProfile(QStringLiteral("Settings"),
            { { "rect.left", n }, { "rect.top", n }, { "rect.right", n + 174 },
                { "rect.bottom", n + 123 } });
        if (result != ISettingsStore::EWrite::Written)
            state.SkipWithError("the write failed");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SettingsSave)
    ->Arg(1 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);

} // namespace
