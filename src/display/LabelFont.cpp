#include "display/LabelFont.h"

#include "display/MulDiv.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Qt's pixel size is the em size; a cell height asks for ascent + descent instead, which
// is the em size times the face's own line-height ratio, measured once at a large size.
int PixelSizeForCellHeight(QFont font, int cellHeight)
{
    constexpr int kProbe = 100;
    font.setPixelSize(kProbe);
    const qreal probeHeight = QFontMetricsF(font).height();
    if (probeHeight <= 0)
        return cellHeight;
    return std::max(1, int(std::lround(cellHeight * kProbe / probeHeight)));
}

QFont::StyleHint StyleHintFromFamily(uint8_t pitchAndFamily)
{
    switch (pitchAndFamily & 0xF0) {
    case LogFontValues::kFamilyRoman:
        return QFont::Serif;
    case LogFontValues::kFamilySwiss:
        return QFont::SansSerif;
    case LogFontValues::kFamilyModern:
        return QFont::TypeWriter;
    case LogFontValues::kFamilyScript:
        return QFont::Cursive;
    case LogFontValues::kFamilyDecorative:
        return QFont::Decorative;
    default:
        return QFont::AnyStyle;
    }
}

uint8_t FamilyFromStyleHint(QFont::StyleHint hint)
{
    switch (hint) {
    case QFont::Serif:
        return LogFontValues::kFamilyRoman;
    case QFont::SansSerif:
        return LogFontValues::kFamilySwiss;
    case QFont::TypeWriter:
    case QFont::Monospace:
        return LogFontValues::kFamilyModern;
    case QFont::Cursive:
        return LogFontValues::kFamilyScript;
    case QFont::Decorative:
    case QFont::Fantasy:
        return LogFontValues::kFamilyDecorative;
    default:
        return 0;
    }
}

} // namespace

void LogFont::SetFaceName(const char* face)
{
    std::memset(lfFaceName, 0, sizeof lfFaceName);
    if (!face)
        return;
    size_t length = std::min(std::strlen(face), size_t(kFaceSize - 1));
    // Never cut a UTF-8 sequence in half: back off over continuation bytes.
    if (length < std::strlen(face))
        while (length > 0 && (uint8_t(face[length]) & 0xC0) == 0x80)
            --length;
    std::memcpy(lfFaceName, face, length);
}

CLabelFont::CLabelFont()
{
    m_lf.lfHeight = -12;
    m_lf.lfWeight = LogFontValues::kNormal;
    m_lf.lfCharSet = LogFontValues::kDefaultCharSet;
    m_lf.lfQuality = LogFontValues::kProofQuality;
    m_lf.lfPitchAndFamily = LogFontValues::kVariablePitch | LogFontValues::kFamilyRoman;
    m_lf.SetFaceName("Times New Roman");
    Rebuild();
}

CLabelFont::~CLabelFont() = default;

void CLabelFont::Rebuild()
{
    m_font = QFontFromLogFont(m_lf);
    ++m_nRebuilds;
}

void CLabelFont::SetLogFont(const LogFont& lf)
{
    m_lf = lf;
    // A face name without its terminating zero would run past the record.
    m_lf.lfFaceName[LogFont::kFaceSize - 1] = '\0';
    Rebuild();
}

void CLabelFont::SetFromFont(const QFont& font)
{
    SetLogFont(LogFontFromQFont(font, ScreenDpiY()));
}

void CLabelFont::SetFromFont(const CLabelFont& font)
{
    SetLogFont(font.m_lf);
}

int CLabelFont::SetPointSize(int points)
{
    return SetPointSize(points, ScreenDpiY());
}

int CLabelFont::SetPointSize(int points, int dpiY)
{
    return SetHeight(-MulDiv(points, dpiY, 72));
}

template <class T> T CLabelFont::Replace(T& field, T value)
{
    // Remember, compare, rebuild: an unchanged value builds nothing.
    const T old = field;
    if (value != old) {
        field = value;
        Rebuild();
    }
    return old;
}

int CLabelFont::SetHeight(int height)
{
    return Replace(m_lf.lfHeight, int32_t(height));
}

int CLabelFont::SetWeight(int weight)
{
    return Replace(m_lf.lfWeight, int32_t(weight));
}

bool CLabelFont::SetBold(bool bold)
{
    return SetWeight(bold ? LogFontValues::kBold : LogFontValues::kNormal) >= 500;
}

uint8_t CLabelFont::SetUnderline(uint8_t underline)
{
    return Replace(m_lf.lfUnderline, underline);
}

uint8_t CLabelFont::SetCharSet(uint8_t charSet)
{
    return Replace(m_lf.lfCharSet, charSet);
}

int CLabelFont::ScreenDpiY()
{
    const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return 96;
    const int dpi = int(std::lround(screen->logicalDotsPerInchY()));
    return dpi > 0 ? dpi : 96;
}

int CLabelFont::MulDiv(int a, int b, int c)
{
    return ::MulDiv(a, b, c);
}

QFont CLabelFont::QFontFromLogFont(const LogFont& lf)
{
    QFont font;
    char face[LogFont::kFaceSize];
    std::memcpy(face, lf.lfFaceName, sizeof face);
    face[LogFont::kFaceSize - 1] = '\0';
    if (face[0] != '\0')
        font.setFamily(QString::fromUtf8(face));
    font.setStyleHint(StyleHintFromFamily(lf.lfPitchAndFamily));
    font.setFixedPitch((lf.lfPitchAndFamily & 3) == LogFontValues::kFixedPitch);

    font.setWeight(
        lf.lfWeight == 0 ? QFont::Normal : QFont::Weight(std::clamp(int(lf.lfWeight), 1, 1000)));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);

    switch (lf.lfQuality) {
    case LogFontValues::kNonAntialiasedQuality:
        // Unsmoothed glyphs want the face's own hinting and whole-pixel advances, as Windows
        // draws them: with the light default a 9-pixel "3.25" merges its point into the 2.
        font.setStyleStrategy(QFont::NoAntialias);
        font.setHintingPreference(QFont::PreferFullHinting);
        break;
    case LogFontValues::kAntialiasedQuality:
    case 5: // ClearType
    case 6: // ClearType, natural widths
        font.setStyleStrategy(QFont::PreferAntialias);
        break;
    default:
        break;
    }

    if (lf.lfHeight < 0) {
        // INT_MIN has no positive counterpart; no screen font is that tall anyway.
        font.setPixelSize(lf.lfHeight == INT32_MIN ? INT32_MAX : -lf.lfHeight);
    } else if (lf.lfHeight > 0) {
        font.setPixelSize(PixelSizeForCellHeight(font, lf.lfHeight));
    }

    if (lf.lfWidth != 0) {
        const qreal natural = QFontMetricsF(font).averageCharWidth();
        const qreal wanted = std::abs(qreal(lf.lfWidth));
        if (natural > 0)
            font.setStretch(std::clamp(int(std::lround(100 * wanted / natural)), 1, 4000));
    }
    return font;
}

LogFont CLabelFont::LogFontFromQFont(const QFont& font, int dpiY)
{
    LogFont lf;
    if (font.pixelSize() > 0)
        lf.lfHeight = -font.pixelSize();
    else if (font.pointSizeF() > 0)
        lf.lfHeight = -int(std::lround(font.pointSizeF() * dpiY / 72.0));
    if (font.stretch() != QFont::AnyStretch && font.stretch() != QFont::Unstretched)
        lf.lfWidth = int(std::lround(QFontMetricsF(font).averageCharWidth()));
    lf.lfWeight = int(font.weight());
    lf.lfItalic = font.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    lf.lfCharSet = LogFontValues::kDefaultCharSet;
    if (font.styleStrategy() & QFont::NoAntialias)
        lf.lfQuality = LogFontValues::kNonAntialiasedQuality;
    else if (font.styleStrategy() & QFont::PreferAntialias)
        lf.lfQuality = LogFontValues::kAntialiasedQuality;
    // The pitch asked for, as a font's own description keeps it; matching the font to learn
    // the pitch it got would load the font database just to copy a description.
    const uint8_t pitch
        = font.fixedPitch() ? LogFontValues::kFixedPitch : LogFontValues::kVariablePitch;
    lf.lfPitchAndFamily = pitch | FamilyFromStyleHint(font.styleHint());
    lf.SetFaceName(font.family().toUtf8().constData());
    return lf;
}
