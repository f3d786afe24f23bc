#include "support/ProgramScreen.h"

#include "ResourceIds.h"
#include "platform/linux/desktop/QtResources.h"

#include <algorithm>
#include <cstdlib>

const QRect CProgramScreen::kReceivedPane(5, 5, 164, 54);
const QRect CProgramScreen::kSentPane(5, 64, 164, 54);
const QColor CProgramScreen::kDots(10, 10, 250);
const QColor CProgramScreen::kReceivedLine(0, 255, 0);
const QColor CProgramScreen::kSentLine(255, 0, 0);

namespace {

QString Describe(const QColor& c)
{
    return QStringLiteral("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// Text is drawn in yellows (rate 255,255,0; scale 200,200,0), smoothed over black and dots.
bool IsText(const QColor& c)
{
    return c.red() >= 60 && c.green() >= 60 && std::abs(c.red() - c.green()) <= 40
        && c.blue() <= 140;
}

// The full-scale text's corner of a pane: right of any rate text, above the line's usual
// rows.
QByteArray ScaleMask(const QImage& window, const QRect& pane)
{
    QByteArray mask;
    for (int y = 0; y < 18; ++y)
        for (int x = 112; x < pane.width(); ++x)
            mask += IsText(window.pixelColor(pane.x() + x, pane.y() + y)) ? '#' : '.';
    return mask;
}

} // namespace

QString CProgramScreen::CheckSkinAndFlatGraphs(const QImage& window)
{
    const QImage skin = CQtResources().LoadBitmap(IDB_SKIN);
    if (window.size() != skin.size())
        return QStringLiteral("window image is %1 x %2, the skin %3 x %4")
            .arg(window.width())
            .arg(window.height())
            .arg(skin.width())
            .arg(skin.height());
    const struct {
        QRect pane;
        QColor line;
        const char* name;
    } panes[] = { { kReceivedPane, kReceivedLine, "received" }, { kSentPane, kSentLine, "sent" } };
    for (int y = 0; y < window.height(); ++y)
        for (int x = 0; x < window.width(); ++x) {
            const QColor shown = window.pixelColor(x, y);
            const auto* on = std::find_if(std::begin(panes), std::end(panes),
                [&](const auto& p) { return p.pane.contains(x, y); });
            if (on == std::end(panes)) {
                if (shown != skin.pixelColor(x, y))
                    return QStringLiteral("skin pixel (%1,%2) is %3, the skin has %4")
                        .arg(x)
                        .arg(y)
                        .arg(Describe(shown), Describe(skin.pixelColor(x, y)));
                continue;
            }
            const int gx = x - on->pane.x(), gy = y - on->pane.y();
            QColor expected;
            if (gy == on->pane.height() - 1)
                expected = on->line; // a flat line on the bottom row
            else if (gy < 4 || gy >= 20) // clear of the texts
                expected = (gx % 3 == 0 && gy % 3 == 0) ? kDots : QColor(Qt::black);
            else if (shown == QColor(221, 221, 221))
                return QStringLiteral("the skin's grey pane shows through the %1 graph at (%2,%3)")
                    .arg(on->name)
                    .arg(gx)
                    .arg(gy);
            if (expected.isValid() && shown != expected)
                return QStringLiteral("%1 graph pixel (%2,%3) is %4, expected %5")
                    .arg(on->name)
                    .arg(gx)
                    .arg(gy)
                    .arg(Describe(shown), Describe(expected));
        }
    return {};
}

bool CProgramScreen::ScaleTexts::Drawn() const
{
    return received.contains('#') && sent.contains('#');
}

CProgramScreen::ScaleTexts CProgramScreen::ReadScaleTexts(const QImage& window)
{
    return { ScaleMask(window, kReceivedPane), ScaleMask(window, kSentPane) };
}

std::vector<int> CProgramScreen::LineRows(
    const QImage& window, const QRect& pane, const QColor& line, int nFirstColumn, int nLastColumn)
{
    std::vector<int> rows;
    for (int x = nFirstColumn; x <= nLastColumn; ++x) {
        std::vector<int> hits;
        for (int y = 0; y < pane.height(); ++y) {
            const QColor c = window.pixelColor(pane.x() + x, pane.y() + y);
            if (std::abs(c.red() - line.red()) < 40 && std::abs(c.green() - line.green()) < 40
                && std::abs(c.blue() - line.blue()) < 40)
                hits.push_back(y);
        }
        rows.push_back(hits.empty() ? -1 : hits[hits.size() / 2]);
    }
    return rows;
}

int CProgramScreen::Median(std::vector<int> rows)
{
    rows.erase(std::remove(rows.begin(), rows.end(), -1), rows.end());
    if (rows.empty())
        return -1;
    std::nth_element(rows.begin(), rows.begin() + rows.size() / 2, rows.end());
    return rows[rows.size() / 2];
}
