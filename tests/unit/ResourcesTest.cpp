#include "platform/linux/desktop/QtResources.h"
#include "platform/linux/desktop/ResourceIconEngine.h"

#include "ResourceIds.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

namespace {

constexpr QRgb kPaneGrey = qRgb(221, 221, 221);

// Inclusive pixel rectangles of the panes the graphs cover.
struct Pane {
    int x0, x1, y0, y1;
};
constexpr Pane kPanes[] = { { 5, 168, 5, 58 }, { 5, 168, 64, 117 } };

bool InPane(int x, int y)
{
    for (const Pane& p : kPanes)
        if (x >= p.x0 && x <= p.x1 && y >= p.y0 && y <= p.y1)
            return true;
    return false;
}

} // namespace

TEST(Resources, SkinIsA24BitPngOfTheWindowSize)
{
    const QImage skin = CQtResources().LoadBitmap(IDB_SKIN);
    ASSERT_FALSE(skin.isNull()) << "the skin is not linked into the program";
    EXPECT_EQ(skin.size(), QSize(174, 123));
    EXPECT_FALSE(skin.hasAlphaChannel());

    // The file itself: 8 bits a channel, colour type 2 (RGB, no alpha) in the PNG header.
    QFile file(QStringLiteral(":/corvane/skin.png"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray head = file.read(26);
    ASSERT_EQ(head.size(), 26);
    EXPECT_EQ(head.mid(12, 4), QByteArray("IHDR"));
    EXPECT_EQ(head.at(24), 8);
    EXPECT_EQ(head.at(25), 2);
}

TEST(Resources, SkinPanesAreExactlyGreyAndTheWoodNeverIs)
{
    const QImage skin = CQtResources().LoadBitmap(IDB_SKIN);
    ASSERT_EQ(skin.size(), QSize(174, 123));
    std::set<QRgb> woodColours;
    for (int y = 0; y < skin.height(); ++y) {
        for (int x = 0; x < skin.width(); ++x) {
            const QRgb px = skin.pixel(x, y) | 0xFF000000u;
            if (InPane(x, y)) {
                ASSERT_EQ(px, kPaneGrey) << "pane pixel at " << x << "," << y;
                continue;
            }
            // A grey pixel on the frame would make a pane look a pixel too big.
            ASSERT_NE(px, kPaneGrey) << "frame pixel at " << x << "," << y;
            // Wood is warm: more red than green, more green than blue.
            EXPECT_GT(qRed(px), qGreen(px)) << x << "," << y;
            EXPECT_GT(qGreen(px), qBlue(px)) << x << "," << y;
            woodColours.insert(px);
        }
    }
    // A grain, not a flat brown: the frame is made of many different tones.
    EXPECT_GT(woodColours.size(), 500u);
}

TEST(Resources, SkinPaneEdgesSitExactlyWhereTheGraphsGo)
{
    const QImage skin = CQtResources().LoadBitmap(IDB_SKIN);
    ASSERT_EQ(skin.size(), QSize(174, 123));
    auto grey = [&](int x, int y) { return (skin.pixel(x, y) | 0xFF000000u) == kPaneGrey; };
    for (const Pane& p : kPanes) {
        for (int x = p.x0; x <= p.x1; ++x) {
            EXPECT_TRUE(grey(x, p.y0) && grey(x, p.y1)) << "pane row edge at x " << x;
            EXPECT_FALSE(grey(x, p.y0 - 1) || grey(x, p.y1 + 1)) << "wood above/below at x " << x;
        }
        for (int y = p.y0; y <= p.y1; ++y) {
            EXPECT_TRUE(grey(p.x0, y) && grey(p.x1, y)) << "pane column edge at y " << y;
            EXPECT_FALSE(grey(p.x0 - 1, y) || grey(p.x1 + 1, y)) << "wood left/right at y " << y;
        }
    }
}

TEST(Resources, EveryIconComesAtEveryDrawnSize)
{
    const struct {
        int id;
        std::vector<int> sizes;
    } cases[] = {
        { IDR_MAINFRAME, { 16, 22, 24, 32, 48, 64, 128, 256 } },
        { IDI_IDLE, { 16, 22, 24, 32 } },
        { IDI_RECEIVE, { 16, 22, 24, 32 } },
        { IDI_SEND, { 16, 22, 24, 32 } },
        { IDI_BOTH, { 16, 22, 24, 32 } },
    };
    for (const auto& c : cases) {
        const QIcon icon = CQtResources().LoadIcon(c.id);
        ASSERT_FALSE(icon.isNull()) << "icon " << c.id;
        std::set<int> available;
        for (const QSize& s : icon.availableSizes()) {
            EXPECT_EQ(s.width(), s.height()) << "icon " << c.id;
            available.insert(s.width());
        }
        EXPECT_EQ(available, std::set<int>(c.sizes.begin(), c.sizes.end())) << "icon " << c.id;
        for (int n : c.sizes) {
            // Each size is its own drawing, not a scaled neighbour, and has a transparent
            // background so it sits on any panel.
            const QImage image(CQtResources::IconPath(c.id, n));
            ASSERT_EQ(image.size(), QSize(n, n)) << "icon " << c.id << " at " << n;
            EXPECT_TRUE(image.hasAlphaChannel()) << "icon " << c.id << " at " << n;
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "icon " << c.id << " at " << n;
            EXPECT_EQ(icon.pixmap(QSize(n, n)).size(), QSize(n, n))
                << "icon " << c.id << " at " << n;
        }
    }
}

TEST(Resources, ActivityIconsLightTheRightLamps)
{
    enum Lamp { Dark, Green, Red };
    const struct {
        int id;
        Lamp left, right;
    } cases[] = {
        { IDI_IDLE, Dark, Dark },
        { IDI_RECEIVE, Green, Dark },
        { IDI_SEND, Dark, Red },
        { IDI_BOTH, Green, Red },
    };
    auto check = [](QRgb px, Lamp lamp, const char* hue, int id, int n) {
        const int r = qRed(px), g = qGreen(px), b = qBlue(px);
        SCOPED_TRACE(testing::Message() << "icon " << id << " at " << n << ", " << hue
                                        << " lamp, rgb " << r << "," << g << "," << b);
        EXPECT_EQ(qAlpha(px), 255);
        if (lamp == Green) {
            EXPECT_GE(g, 150);
            EXPECT_GE(g - std::max(r, b), 60);
        } else if (lamp == Red) {
            EXPECT_GE(r, 150);
            EXPECT_GE(r - std::max(g, b), 60);
        } else {
            EXPECT_LT(std::max({ r, g, b }), 110);
        }
    };
    for (const auto& c : cases) {
        for (int n : { 16, 22, 24, 32 }) {
            const QImage image
                = QImage(CQtResources::IconPath(c.id, n)).convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(n, n));
            const int y = n / 2;
            // Lamp centres at a quarter and three quarters of the width.
            const QRgb left = image.pixel(int(n * 0.255), y);
            const QRgb right = image.pixel(int(n * 0.745), y);
            check(left, c.left, "left", c.id, n);
            check(right, c.right, "right", c.id, n);
            // A dark lamp keeps its hue, so idle still says which lamp is which.
            if (c.left == Dark) {
                EXPECT_GT(qGreen(left), qRed(left)) << "icon " << c.id << " at " << n;
            }
            if (c.right == Dark) {
                EXPECT_GT(qRed(right), qGreen(right)) << "icon " << c.id << " at " << n;
            }
        }
    }
}

TEST(Resources, Strings)
{
    EXPECT_EQ(CQtResources().LoadString(IDS_ABOUTBOX), QStringLiteral("&About Corvane"));
    EXPECT_EQ(CQtResources().LoadString(IDS_TOOLTIP), QStringLiteral("Corvane by Mirelda"));
}

TEST(Resources, TrayMenuHasItsItemsInOrder)
{
    const MenuResource menu = CQtResources().LoadMenu(IDR_TRAYMENU);
    EXPECT_EQ(menu.title, QStringLiteral("Menu"));
    const struct {
        int id;
        const char* text;
        bool separator;
    } expected[] = {
        { ID_APP_SHOW, "&Show", false },
        { ID_APP_HIDE, "Hide", false },
        { ID_APP_SETTINGS, "&Settings", false },
        { ID_APP_ABOUT, "&About", false },
        { 0, "", true },
        { ID_APP_EXIT, "E&xit", false },
    };
    ASSERT_EQ(menu.items.size(), std::size(expected));
    for (size_t i = 0; i < menu.items.size(); ++i) {
        EXPECT_EQ(menu.items[i].id, expected[i].id) << "position " << i;
        EXPECT_EQ(menu.items[i].text, QString::fromUtf8(expected[i].text)) << "position " << i;
        EXPECT_EQ(menu.items[i].separator, expected[i].separator) << "position " << i;
    }
    EXPECT_EQ(ID_APP_SHOW, 0x9C45);
    EXPECT_EQ(ID_APP_HIDE, 0x9C46);

    // Each load is fresh: taking an item out of one copy leaves the next load whole.
    MenuResource first = CQtResources().LoadMenu(IDR_TRAYMENU);
    first.items.erase(first.items.begin());
    EXPECT_EQ(CQtResources().LoadMenu(IDR_TRAYMENU).items.size(), std::size(expected));
}

TEST(Resources, UnknownIdsGiveNothing)
{
    CQtResources res;
    // Neighbours of real ids and ids of another kind of resource.
    for (int id : { 0, -1, 100, 127, 129, 133, 139, 40001 }) {
        EXPECT_TRUE(res.LoadIcon(id).isNull()) << id;
        EXPECT_TRUE(res.LoadIcon(id).availableSizes().isEmpty()) << id;
        EXPECT_TRUE(CQtResources::IconSizes(id).empty()) << id;
    }
    for (int id : { 0, -1, 128, 133, 135 }) {
        EXPECT_TRUE(res.LoadBitmap(id).isNull()) << id;
    }
    for (int id : { 0, -1, 100, 103, 134 }) {
        EXPECT_TRUE(res.LoadString(id).isEmpty()) << id;
    }
    for (int id : { 0, -1, 128, 132, 134 }) {
        const MenuResource menu = res.LoadMenu(id);
        EXPECT_TRUE(menu.IsNull()) << id;
        EXPECT_TRUE(menu.title.isEmpty()) << id;
    }
    // A known icon at a size it is not drawn at has no path.
    EXPECT_TRUE(CQtResources::IconPath(IDI_IDLE, 48).isEmpty());
    EXPECT_TRUE(CQtResources::IconPath(IDR_MAINFRAME, 20).isEmpty());
}

TEST(Resources, IconsAreDecodedOnceAndACallersChangeStaysItsOwn)
{
    CQtResources res;
    QIcon first = res.LoadIcon(IDR_MAINFRAME);
    EXPECT_EQ(res.LoadIcon(IDR_MAINFRAME).cacheKey(), first.cacheKey());
    EXPECT_NE(res.LoadIcon(IDI_IDLE).cacheKey(), first.cacheKey());

    QPixmap odd(40, 40);
    odd.fill(Qt::magenta);
    first.addPixmap(odd);
    const QIcon again = res.LoadIcon(IDR_MAINFRAME);
    EXPECT_NE(again.cacheKey(), first.cacheKey());
    EXPECT_EQ(again.availableSizes().size(), 8);
}

TEST(Resources, AnIconDecodesOnlyTheSizesThatAreShown)
{
    // The drawings are copied to files of the test's own: a file removed after the icon was
    // made shows whether its size had been decoded (and kept) before.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<CResourceIconEngine::Entry> entries;
    for (int n : CQtResources::IconSizes(IDR_MAINFRAME)) {
        const QString path = dir.filePath(QString::number(n) + QStringLiteral(".png"));
        ASSERT_TRUE(QFile::copy(CQtResources::IconPath(IDR_MAINFRAME, n), path));
        entries.push_back({ QSize(n, n), path, QPixmap() });
    }
    const QIcon icon(new CResourceIconEngine(std::move(entries))); // owns the engine
    const auto remove = [&](int n) {
        ASSERT_TRUE(QFile::remove(dir.filePath(QString::number(n) + QStringLiteral(".png"))));
    };

    EXPECT_EQ(icon.availableSizes().size(), 8);
    // Nothing was decoded when the icon was made: 16 px, removed now, is never drawn.
    remove(16);
    EXPECT_TRUE(icon.pixmap(16, 16).isNull());
    EXPECT_EQ(icon.pixmap(32, 32).size(), QSize(32, 32));
    remove(32);
    EXPECT_EQ(icon.pixmap(32, 32).size(), QSize(32, 32)) << "32 px is kept once decoded";

    // Between drawn sizes the next larger drawing is scaled down, past them the largest
    // comes as it is drawn; what is asked for decides the size, never more.
    EXPECT_EQ(icon.actualSize(QSize(40, 40)), QSize(40, 40));
    EXPECT_EQ(icon.pixmap(40, 40).size(), QSize(40, 40));
    EXPECT_EQ(icon.pixmap(512, 512).size(), QSize(256, 256));
    EXPECT_EQ(icon.pixmap(QSize(100, 50)).size(), QSize(50, 50));
    // 256 px, asked for once when a window gets its icon, is not kept.
    remove(256);
    EXPECT_TRUE(icon.pixmap(256, 256).isNull());

    // A drawing that cannot be read gives no pixmap rather than a broken one.
    const QIcon broken(
        new CResourceIconEngine({ { QSize(16, 16), QStringLiteral(":/nothing.png"), QPixmap() } }));
    EXPECT_FALSE(broken.isNull());
    EXPECT_TRUE(broken.pixmap(16, 16).isNull());
    EXPECT_TRUE(QIcon(new CResourceIconEngine({})).isNull());
}
