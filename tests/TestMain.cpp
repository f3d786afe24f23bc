#include <QApplication>
#include <gtest/gtest.h>

// Unit tests run without a display: widgets paint into images on the offscreen platform.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QPA_FONTDIR", "/usr/share/fonts/truetype");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
