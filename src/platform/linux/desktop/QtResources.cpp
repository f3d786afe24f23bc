#include "platform/linux/desktop/QtResources.h"

#include "ResourceIds.h"
#include "platform/linux/desktop/ResourceIconEngine.h"

#include <QImageReader>
#include <QSize>

#include <algorithm>

namespace {

constexpr int kTrayIconSizes[] = { 16, 22, 24, 32 };
constexpr int kProgramIconSizes[] = { 16, 22, 24, 32, 48, 64, 128, 256 };

// File stem of each icon under :/corvane/icons/, as draw_artwork.py names them.
const char* IconStem(int id)
{
    switch (id) {
    case IDR_MAINFRAME:
        return "corvane";
    case IDI_IDLE:
        return "idle";
    case IDI_RECEIVE:
        return "receive";
    case IDI_SEND:
        return "send";
    case IDI_BOTH:
        return "both";
    default:
        return nullptr;
    }
}

} // namespace

QImage CQtResources::ReadPng(const QString& path)
{
    // Named as a PNG and without format detection, the reader uses Qt's built-in decoder;
    // detection would load and ask every image format plugin installed (GIF, ICO, JPEG with
    // its library, ...), which costs start-up time and memory.
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QImage CQtResources::LoadBitmap(int id)
{
    if (id != IDB_SKIN)
        return {};
    return ReadPng(QStringLiteral(":/corvane/skin.png"));
}

std::vector<int> CQtResources::IconSizes(int id)
{
    if (id == IDR_MAINFRAME)
        return { std::begin(kProgramIconSizes), std::end(kProgramIconSizes) };
    if (IconStem(id))
        return { std::begin(kTrayIconSizes), std::end(kTrayIconSizes) };
    return {};
}

QString CQtResources::IconPath(int id, int size)
{
    const std::vector<int> sizes = IconSizes(id);
    if (std::find(sizes.begin(), sizes.end(), size) == sizes.end())
        return {};
    return QStringLiteral(":/corvane/icons/%1-%2.png").arg(QLatin1String(IconStem(id))).arg(size);
}

QIcon CQtResources::LoadIcon(int id)
{
    // A copy of an icon shares its decoded images.
    if (const auto found = m_icons.find(id); found != m_icons.end())
        return found->second;
    // Every drawn size goes in, so the tray and the window manager pick a crisp one instead
    // of scaling a single image; each is decoded when first shown.
    std::vector<CResourceIconEngine::Entry> entries;
    for (int size : IconSizes(id))
        entries.push_back({ QSize(size, size), IconPath(id, size), QPixmap() });
    if (entries.empty())
        return {};
    const QIcon icon(new CResourceIconEngine(std::move(entries)));
    m_icons.emplace(id, icon);
    return icon;
}

QString CQtResources::LoadString(int id)
{
    switch (id) {
    case IDS_ABOUTBOX:
        return QStringLiteral("&About Corvane");
    case IDS_TOOLTIP:
        return QStringLiteral("Corvane by Mirelda");
    default:
        return {};
    }
}

MenuResource CQtResources::LoadMenu(int id)
{
    if (id != IDR_TRAYMENU)
        return {};
    return MenuResource {
        QStringLiteral("Menu"),
        {
            { ID_APP_SHOW, QStringLiteral("&Show"), false },
            { ID_APP_HIDE, QStringLiteral("Hide"), false },
            { ID_APP_SETTINGS, QStringLiteral("&Settings"), false },
            { ID_APP_ABOUT, QStringLiteral("&About"), false },
            { 0, QString(), true },
            { ID_APP_EXIT, QStringLiteral("E&xit"), false },
        },
    };
}
