#include "dialogs/DesktopEntry.h"
#include "dialogs/LinkOpener.h"

#include <cstddef>
#include <cstdint>

// Arbitrary bytes as a desktop entry, its Exec line as the fallback command, and the first
// line as a desktop file id.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    CDesktopEntry entry;
    if (entry.Parse(bytes)) {
        if (const auto exec = entry.GetString(u"Exec"))
            CLinkOpener::BuildFallbackCommand(*exec, QStringLiteral("http://a/ b"));
    }
    const QString text = QString::fromUtf8(bytes.first(std::min<qsizetype>(bytes.size(), 4096)));
    const auto args = CDesktopEntry::SplitExec(CDesktopEntry::UnescapeString(text));
    if (args) {
        for (const auto& arg : *args) {
            if (arg.nStart < 0 || arg.nEnd > text.size() || arg.nStart >= arg.nEnd)
                __builtin_trap();
        }
    }
    CLinkOpener::DesktopIdPaths(text.section(u'\n', 0, 0));
    return 0;
}
