#include "dialogs/LinkLabel.h"
#include "dialogs/AboutDlg.h"
#include "support/AppFixture.h"

#include <QFontMetrics>
#include <QImage>
#include <gtest/gtest.h>

namespace {

class LinkLabelTest : public ::testing::Test {
protected:
    LinkLabelTest()
        : label(launcher, files, shell)
    {
        parent.resize(300, 100);
        parent.setFont(QFont(QStringLiteral("Liberation Sans"), 10));
        label.SubclassDlgItem(&parent, QRect(10, 10, 200, 40), QStringLiteral("Corvane"));
    }

    // Rows of the label's picture that hold a pixel of the given colour.
    std::pair<int, int> RowsOf(const QImage& image, const QColor& colour)
    {
        int first = -1, last = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == colour) {
                    if (first < 0)
                        first = y;
                    last = y;
                }
        return { first, last };
    }

    CFakeProcessLauncher launcher;
    CFakeDataFiles files;
    CFakeDesktopShell shell;
    QWidget parent;
    CLinkLabel label;
};

} // namespace

TEST_F(LinkLabelTest, ALinkIsTrimmedUnderlinedAndBlueAndAnEmptyOneMakesItPlainAgain)
{
    label.SetLink(QStringLiteral("  https://corvane.example/  "));
    EXPECT_EQ(label.Link(), QStringLiteral("https://corvane.example/"));
    EXPECT_EQ(label.m_font.GetLogFont().lfUnderline, 1);
    EXPECT_EQ(label.CurrentTextColor(), QColor(0, 0, 255));
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);

    label.SetLink(QStringLiteral("   "));
    EXPECT_FALSE(label.IsLink());
    EXPECT_EQ(label.m_font.GetLogFont().lfUnderline, 0);
    EXPECT_EQ(label.CurrentTextColor(), ToQColor(label.m_crText));
    EXPECT_NE(label.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(LinkLabelTest, TheFontIsACopyOfTheDialogsAndSizeAndBoldChangeTheCopy)
{
    EXPECT_TRUE(label.m_bFontFromWindow);
    EXPECT_EQ(label.m_font.Font().family(), parent.font().family());
    label.SetFontBold(true);
    label.SetFontSize(14);
    EXPECT_EQ(label.m_font.GetLogFont().lfWeight, 700);
    EXPECT_EQ(
        label.m_font.GetLogFont().lfHeight, -CLabelFont::MulDiv(14, CLabelFont::ScreenDpiY(), 72));
    EXPECT_FALSE(parent.font().bold());
}

TEST_F(LinkLabelTest, TheLineIsCentredVertically)
{
    label.SetLink(QStringLiteral("x"));
    const QImage image = label.grab().toImage();
    const auto [first, last] = RowsOf(image, QColor(0, 0, 255));
    ASSERT_GE(first, 0) << "no text drawn in the link colour";
    const QFontMetrics metrics(label.m_font.Font());
    const int top = 40 / 2 - metrics.height() / 2;
    EXPECT_GE(first, top);
    EXPECT_LE(last, top + metrics.height());
    EXPECT_LE(std::abs((first + last) / 2 - 20), metrics.height() / 2);
}

TEST_F(LinkLabelTest, AnAddressThatCannotBeOpenedBeepsAndOneThatOpensDoesNot)
{
    label.SetLink(QStringLiteral("https://corvane.example/"));
    label.OpenLink(); // xdg-open cannot be started and there is no fallback
    EXPECT_EQ(shell.beeps, 1);
    launcher.results[QStringLiteral("xdg-open")] = CFakeProcessLauncher::Exited(0);
    label.OpenLink();
    EXPECT_EQ(shell.beeps, 1);
    ASSERT_FALSE(launcher.calls.empty());
    EXPECT_EQ(
        launcher.calls.back().args, QStringList { QStringLiteral("https://corvane.example/") });
}

TEST_F(LinkLabelTest, TheFallbackLookupIsAnsweredLaterAndItsFailureStillBeeps)
{
    launcher.deferAnswers = true;
    launcher.results[QStringLiteral("xdg-open")] = CFakeProcessLauncher::Exited(3);
    launcher.results[QStringLiteral("xdg-mime")] = CFakeProcessLauncher::Exited(5);
    label.SetLink(QStringLiteral("https://corvane.example/"));
    label.OpenLink();
    ASSERT_TRUE(launcher.AnswerNext()); // xdg-open failed: xdg-mime is asked, not waited for
    ASSERT_EQ(launcher.calls.size(), 2u);
    EXPECT_EQ(launcher.calls[1].program, QStringLiteral("xdg-mime"));
    EXPECT_EQ(shell.beeps, 0);
    ASSERT_TRUE(launcher.AnswerNext());
    EXPECT_EQ(shell.beeps, 1);
}

TEST_F(LinkLabelTest, APlainLabelOpensNothing)
{
    label.OpenLink();
    EXPECT_TRUE(launcher.calls.empty());
    EXPECT_EQ(shell.beeps, 0);
}

TEST(AboutDlg, ShowsTheVersionBoldAt14PointsAndLinksTheMakersAddressToItself)
{
    CAppFixture fx;
    CTrafficApp& app = fx.Start();
    CAboutDlg& about = app.AboutDlg();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Corvane"));
    EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(about.m_labelVersion.GetText(), QStringLiteral("Corvane version " CORVANE_VERSION));
    EXPECT_EQ(about.m_labelVersion.m_font.GetLogFont().lfWeight, 700);
    EXPECT_EQ(about.m_labelVersion.m_font.GetLogFont().lfHeight,
        -CLabelFont::MulDiv(14, CLabelFont::ScreenDpiY(), 72));
    EXPECT_EQ(about.m_labelLink.Link(), about.m_labelLink.GetText());
    EXPECT_FALSE(about.m_labelNotice.IsLink());
}
