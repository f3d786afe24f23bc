#pragma once

#include <QFont>

#include <cstdint>

// A logical-font description with the meanings the program's fonts are specified in.
// lfHeight < 0 asks for a character height of -lfHeight pixels (the em size, Qt's pixel
// size); lfHeight > 0 asks for a cell height (ascent + descent) of lfHeight pixels; 0 takes
// the default size. Escapement, orientation, character set and the two precisions are kept
// but have no Qt counterpart: the font draws upright in Unicode whatever they say.
struct LogFont {
    static constexpr int kFaceSize = 32; // with the terminating zero

    int32_t lfHeight = 0;
    int32_t lfWidth = 0; // average character width in pixels, 0: the face's own
    int32_t lfEscapement = 0; // tenths of a degree
    int32_t lfOrientation = 0; // tenths of a degree
    int32_t lfWeight = 0; // 0: default (400); 100 thin .. 900 black
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 0;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;
    uint8_t lfQuality = 0; // 3: never smoothed, fully hinted; 4, 5, 6: smoothed; else default
    uint8_t lfPitchAndFamily = 0; // low 2 bits pitch (1 fixed, 2 variable), high 4 the family
    char lfFaceName[kFaceSize] = {};

    void SetFaceName(const char* face);
    bool operator==(const LogFont&) const = default;
};

// Values of the fields above, by their usual names.
namespace LogFontValues {
constexpr int kNormal = 400;
constexpr int kBold = 700;
constexpr uint8_t kDefaultCharSet = 1;
constexpr uint8_t kDefaultQuality = 0;
constexpr uint8_t kProofQuality = 2;
constexpr uint8_t kNonAntialiasedQuality = 3;
constexpr uint8_t kAntialiasedQuality = 4;
constexpr uint8_t kFixedPitch = 1;
constexpr uint8_t kVariablePitch = 2;
constexpr uint8_t kFamilyRoman = 0x10;
constexpr uint8_t kFamilySwiss = 0x20;
constexpr uint8_t kFamilyModern = 0x30;
constexpr uint8_t kFamilyScript = 0x40;
constexpr uint8_t kFamilyDecorative = 0x50;
} // namespace LogFontValues

// A font that remembers the description it was built from, so single attributes can be
// changed without asking Qt for the description again. The QFont is always the one built
// from the current m_lf: a setter that changes m_lf rebuilds it; one that changes nothing
// builds nothing.
class CLabelFont {
public:
    CLabelFont();
    virtual ~CLabelFont();

    CLabelFont(const CLabelFont&) = delete;
    CLabelFont& operator=(const CLabelFont&) = delete;

    // Copies the whole description and rebuilds, even when nothing changed.
    void SetLogFont(const LogFont& lf);
    // Takes the description of another font and rebuilds, always.
    void SetFromFont(const QFont& font);
    void SetFromFont(const CLabelFont& font);

    // Character height of points at the screen's vertical dots per inch, rounded like
    // MulDiv; returns the previous height.
    int SetPointSize(int points);
    int SetPointSize(int points, int dpiY);
    int SetHeight(int height);
    int SetWeight(int weight);
    // Weight 700 or 400; returns whether the previous weight was 500 or more.
    bool SetBold(bool bold);
    uint8_t SetUnderline(uint8_t underline);
    uint8_t SetCharSet(uint8_t charSet);

    const LogFont& GetLogFont() const { return m_lf; }
    const QFont& Font() const { return m_font; }
    operator const QFont&() const { return m_font; }
    // How many times a font was built from m_lf, construction included.
    int RebuildCount() const { return m_nRebuilds; }

    // The screen's logical vertical dots per inch; 96 without a screen.
    static int ScreenDpiY();
    // (a * b) / c rounded half away from zero, -1 when c is 0.
    static int MulDiv(int a, int b, int c);
    // The description a QFont stands for, at the given vertical dots per inch.
    static LogFont LogFontFromQFont(const QFont& font, int dpiY);
    static QFont QFontFromLogFont(const LogFont& lf);

private:
    void Rebuild();
    template <class T> T Replace(T& field, T value);

    LogFont m_lf;
    QFont m_font;
    int m_nRebuilds = 0;
};
