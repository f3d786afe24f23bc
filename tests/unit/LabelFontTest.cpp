#include "display/LabelFont.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

TEST(LabelFont, StartsAsTwelvePixelTimesNewRoman)
{
    CLabelFont font;
    const LogFont& lf = font.GetLogFont();
    EXPECT_EQ(lf.lfHeight, -12);
    EXPECT_EQ(lf.lfWeight, 400);
    EXPECT_EQ(lf.lfCharSet, 1);
    EXPECT_EQ(lf.lfQuality, 2);
    EXPECT_EQ(lf.lfPitchAndFamily, 18);
    EXPECT_STREQ(lf.lfFaceName, "Times New Roman");
    EXPECT_EQ(font.RebuildCount(), 1);
    EXPECT_EQ(font.Font().pixelSize(), 12);
    EXPECT_EQ(font.Font().styleHint(), QFont::Serif);
}

namespace {

struct SetterCase {
    const char* name;
    std::function<int(CLabelFont&)> set;
    int previous;
    bool rebuilds;
};

class LabelFontSetter : public ::testing::TestWithParam<SetterCase> { };

} // namespace

TEST_P(LabelFontSetter, RebuildsOnlyOnChangeAndReturnsThePreviousValue)
{
    const SetterCase& c = GetParam();
    CLabelFont font;
    EXPECT_EQ(c.set(font), c.previous);
    EXPECT_EQ(font.RebuildCount(), c.rebuilds ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, LabelFontSetter,
    ::testing::Values(SetterCase { "bold_on_a_normal_font",
                          [](CLabelFont& f) { return int(f.SetBold(true)); }, 0, true },
        SetterCase { "normal_on_a_normal_font", [](CLabelFont& f) { return int(f.SetBold(false)); },
            0, false },
        SetterCase { "same_height", [](CLabelFont& f) { return f.SetHeight(-12); }, -12, false },
        SetterCase { "new_height", [](CLabelFont& f) { return f.SetHeight(-20); }, -12, true },
        SetterCase { "same_weight", [](CLabelFont& f) { return f.SetWeight(400); }, 400, false },
        SetterCase { "light_weight", [](CLabelFont& f) { return f.SetWeight(300); }, 400, true },
        SetterCase { "underline", [](CLabelFont& f) { return int(f.SetUnderline(1)); }, 0, true },
        SetterCase {
            "no_underline", [](CLabelFont& f) { return int(f.SetUnderline(0)); }, 0, false },
        SetterCase {
            "default_character_set", [](CLabelFont& f) { return int(f.SetCharSet(1)); }, 1, false },
        SetterCase {
            "symbol_character_set", [](CLabelFont& f) { return int(f.SetCharSet(2)); }, 1, true },
        SetterCase {
            "8_points_at_96_dpi", [](CLabelFont& f) { return f.SetPointSize(8, 96); }, -12, true },
        SetterCase { "9_points_at_96_dpi_is_12_pixels",
            [](CLabelFont& f) { return f.SetPointSize(9, 96); }, -12, false }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LabelFont, SecondBoldReportsBoldAndBuildsNothing)
{
    CLabelFont font;
    EXPECT_FALSE(font.SetBold(true));
    EXPECT_EQ(font.GetLogFont().lfWeight, 700);
    EXPECT_EQ(font.Font().weight(), QFont::Bold);
    EXPECT_TRUE(font.SetBold(true));
    EXPECT_EQ(font.RebuildCount(), 2);
    font.SetWeight(500);
    EXPECT_TRUE(font.SetBold(false)); // 500 counts as bold
}

TEST(LabelFont, PointSizeUsesTheScreensDotsPerInchRounded)
{
    CLabelFont font;
    EXPECT_EQ(font.SetPointSize(8, 96), -12);
    EXPECT_EQ(font.GetLogFont().lfHeight, -11); // 10.67 rounds up
    EXPECT_EQ(font.Font().pixelSize(), 11);
    EXPECT_EQ(font.SetPointSize(10, 120), -11);
    EXPECT_EQ(font.GetLogFont().lfHeight, -17);
    // The screen's own: the offscreen platform reports 96.
    font.SetPointSize(8);
    EXPECT_EQ(font.GetLogFont().lfHeight, -CLabelFont::MulDiv(8, CLabelFont::ScreenDpiY(), 72));
}

TEST(LabelFont, MulDivRoundsHalfAwayFromZero)
{
    struct Case {
        int a, b, c, result;
    };
    const Case cases[] = { { 8, 96, 72, 11 }, { -8, 96, 72, -11 }, { 1, 1, 2, 1 }, { -1, 1, 2, -1 },
        { 1, 1, -2, -1 }, { 7, 1, 3, 2 }, { 5, 1, 0, -1 }, { INT32_MAX, 2, 1, -1 },
        { INT32_MAX, 2, 2, INT32_MAX } };
    for (const Case& c : cases)
        EXPECT_EQ(CLabelFont::MulDiv(c.a, c.b, c.c), c.result) << c.a << " " << c.b << " " << c.c;
}

TEST(LabelFont, SetFromFontAlwaysRebuilds)
{
    CLabelFont a;
    CLabelFont b;
    a.SetFromFont(b);
    a.SetFromFont(b);
    EXPECT_EQ(a.RebuildCount(), 3);
    EXPECT_EQ(a.GetLogFont(), b.GetLogFont());

    QFont window("Liberation Sans");
    window.setPixelSize(13);
    window.setBold(true);
    window.setItalic(true);
    a.SetFromFont(window);
    a.SetFromFont(window);
    EXPECT_EQ(a.RebuildCount(), 5);
    const LogFont& lf = a.GetLogFont();
    EXPECT_EQ(lf.lfHeight, -13);
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_EQ(lf.lfItalic, 1);
    EXPECT_STREQ(lf.lfFaceName, "Liberation Sans");
    EXPECT_EQ(a.Font().pixelSize(), 13);
    EXPECT_TRUE(a.Font().italic());
    EXPECT_EQ(lf.lfPitchAndFamily & 3, LogFontValues::kVariablePitch);

    // The pitch is the one the font asks for, as its description says.
    QFont fixed("Liberation Mono");
    fixed.setFixedPitch(true);
    a.SetFromFont(fixed);
    EXPECT_EQ(a.GetLogFont().lfPitchAndFamily & 3, LogFontValues::kFixedPitch);
    EXPECT_TRUE(a.Font().fixedPitch());
}

TEST(LabelFont, HeightSignSelectsCharacterOrCellHeight)
{
    CLabelFont font;
    LogFont lf = font.GetLogFont();
    lf.SetFaceName("Liberation Sans");
    lf.lfHeight = -20;
    font.SetLogFont(lf);
    EXPECT_EQ(font.Font().pixelSize(), 20);
    font.SetHeight(20);
    EXPECT_LT(font.Font().pixelSize(), 20);
    EXPECT_NEAR(QFontMetrics(font.Font()).height(), 20, 1);
}

TEST(LabelFont, DescriptionMapsOntoQFont)
{
    CLabelFont font;
    LogFont lf;
    lf.lfHeight = -9;
    lf.lfWeight = 100;
    lf.lfUnderline = 1;
    lf.lfStrikeOut = 1;
    lf.lfQuality = LogFontValues::kNonAntialiasedQuality;
    lf.lfPitchAndFamily = LogFontValues::kFixedPitch | LogFontValues::kFamilyModern;
    lf.SetFaceName("Liberation Mono");
    font.SetLogFont(lf);
    const QFont& q = font.Font();
    EXPECT_EQ(q.family(), "Liberation Mono");
    EXPECT_EQ(q.weight(), QFont::Thin);
    EXPECT_TRUE(q.underline());
    EXPECT_TRUE(q.strikeOut());
    EXPECT_TRUE(q.fixedPitch());
    EXPECT_EQ(q.styleHint(), QFont::TypeWriter);
    EXPECT_TRUE(q.styleStrategy() & QFont::NoAntialias);
}

TEST(LabelFont, FaceNameIsCutToItsRecord)
{
    LogFont lf;
    lf.SetFaceName("An Extremely Long Face Name That Does Not Fit");
    EXPECT_EQ(std::strlen(lf.lfFaceName), 31u);
    // A two-byte character that would straddle the end is left out whole.
    lf.SetFaceName("123456789012345678901234567890\xC3\xA9");
    EXPECT_EQ(std::strlen(lf.lfFaceName), 30u);

    std::memset(lf.lfFaceName, 'x', sizeof lf.lfFaceName); // no terminating zero
    CLabelFont font;
    font.SetLogFont(lf);
    EXPECT_EQ(std::strlen(font.GetLogFont().lfFaceName), 31u);
}
