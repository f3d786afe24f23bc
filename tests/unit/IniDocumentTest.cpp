#include "settings/IniDocument.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// What QSettings reads for every key it finds in text (plus two the program uses), as a text
// or nothing, next to what CIniDocument reads; the first difference as a message.
std::string FirstDifferenceFromQSettings(const QByteArray& text)
{
    static int nFile = 0; // QSettings caches a parsed file by name: every text gets a new one
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/f%1.conf").arg(++nFile);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return "cannot write " + path.toStdString();
    file.close();
    QSettings settings(path, QSettings::IniFormat);
    QStringList keys = settings.allKeys(); // reads the file, and only then knows its status
    const CIniDocument doc(text);
    if (doc.IsBroken() != (settings.status() == QSettings::FormatError))
        return "broken: " + std::to_string(doc.IsBroken());
    keys << QStringLiteral("Settings/GraphicScale") << QStringLiteral("Settings/rect.left");
    for (const QString& key : keys) {
        if (key.isEmpty())
            continue;
        const QVariant value = settings.value(key);
        const std::optional<QString> expected = value.typeId() == QMetaType::QString
            ? std::optional<QString>(value.toString())
            : std::nullopt;
        if (doc.StringValue({}, key) != expected)
            return "key " + key.toStdString() + ": "
                + doc.StringValue({}, key).value_or("<none>").toStdString() + " instead of "
                + expected.value_or("<none>").toStdString();
    }
    return {};
}

struct ReadCase {
    const char* name;
    QByteArray text;
};

class IniDocumentReads : public ::testing::TestWithParam<ReadCase> { };

TEST_P(IniDocumentReads, AsQSettingsReadsThem)
{
    EXPECT_EQ(FirstDifferenceFromQSettings(GetParam().text), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, IniDocumentReads,
    ::testing::Values(ReadCase { "quoted_comma", "[Settings]\nGraphicScale=\"5,1\"\nx=a,b\n" },
        ReadCase { "trailing_comment", "[Settings]\nGraphicScale=5120 ; five\n;c=1\n" },
        ReadCase { "escaped_names", "[Se%74tings]\nrect%2Eleft=3\n%U0047raphicScale=4\n" },
        ReadCase { "continued_line", "[Settings]\nGraphicScale=51\\\n20\nrect.left=\"1\n2\"\n" },
        ReadCase { "typed_values",
            "[Settings]\nGraphicScale=@String(7)\nrect.left=@@x\na=@Rect(1 2)\n"
            "b=@Rect(1 2 3 4)\nc=@Invalid()\nd=@ByteArray(1)\n" },
        ReadCase { "escapes", "[Settings]\na=\\x41\\101\\t\\q\nb=\" x \"  \nc=x\\0y\n" },
        ReadCase {
            "last_duplicate_wins", "[Settings]\nGraphicScale=1\n[Settings]\nGraphicScale=2\n" },
        ReadCase { "group_beats_slash_key",
            "[Settings]\nGraphicScale=1\n[General]\nSettings\\GraphicScale=2\n" },
        ReadCase { "byte_order_mark", "\xef\xbb\xbf[Settings]\nGraphicScale=1\n" },
        ReadCase { "crlf_and_spaces", "  [Settings] \r\n\tGraphicScale \t= 9 \r\n" },
        ReadCase { "broken_header", "[Settings\nGraphicScale=1\n" },
        ReadCase { "line_without_equals", "[Settings]\nGraphicScale=1\noops\n" },
        ReadCase { "general_names", "[general]\na=1\n[%General]\nb=2\n" }),
    [](const auto& info) { return std::string(info.param.name); });

// Files pieced together from INI's special bytes, names and typed values: every one reads as
// QSettings reads it.
TEST(IniDocument, RandomFilesReadAsQSettingsReadsThem)
{
    static const char* const kPieces[]
        = { "[Settings]", "[General]", "[%General]", "[Sett", "\n", "\n", "\r\n", "\r", "=", "=",
              "GraphicScale", "a", "\"", "\\", "\\\n", ";", ",", " ", "\t", "%53", "%U0041", "%4",
              "@String(x)", "@@", "@Rect(1 2 3 4)", "\\x41", "\\101", "\xc3\xbc", "\xc3",
              "Settings\\a", "rect.left", "-5", "]", "[", "\\0", "\xef\xbb\xbf", "@ByteArray(1)" };
    QRandomGenerator rng(12);
    for (int i = 0; i < 400; ++i) {
        QByteArray text;
        for (int n = rng.bounded(1, 30); n > 0; --n)
            text += kPieces[rng.bounded(int(std::size(kPieces)))];
        ASSERT_EQ(FirstDifferenceFromQSettings(text), "") << text.toStdString();
    }
}

struct WriteCase {
    const char* name;
    std::vector<ProfileValue> values;
};

class IniDocumentWrites : public ::testing::TestWithParam<WriteCase> { };

// A new file holds the bytes QSettings would write for the same values.
TEST_P(IniDocumentWrites, ANewFileAsQSettingsWritesIt)
{
    QTemporaryDir dir;
    {
        QSettings settings(dir.path() + "/q.conf", QSettings::IniFormat);
        settings.beginGroup("Settings");
        for (const ProfileValue& v : GetParam().values) {
            const int32_t* pn = std::get_if<int32_t>(&v.value);
            settings.setValue(v.key, pn ? QString::number(*pn) : std::get<QString>(v.value));
        }
    }
    QFile written(dir.path() + "/q.conf");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const std::optional<CIniDocument::Edit> edit
        = CIniDocument().WithValues("Settings", GetParam().values);
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->document.Bytes().toStdString(), written.readAll().toStdString());
}

INSTANTIATE_TEST_SUITE_P(Cases, IniDocumentWrites,
    ::testing::Values(WriteCase { "six_settings",
                          { { "NetworkDevice", 2 }, { "GraphicScale", 20480 }, { "MirrorMode", 1 },
                              { "Transparent", 0 }, { "TransparencyFocused", 100 },
                              { "TransparencyUnocused", -1 } } },
        WriteCase { "texts_that_need_quotes",
            { { "a", " lead" }, { "b", "trail " }, { "c", "x=y" }, { "d", "x;y" },
                { "e", "1,2" } } },
        WriteCase { "texts_with_escapes",
            { { "a", "q\"\\" }, { "b", "tab\there\nnl" },
                { "c",
                    QString("\x01"
                            "1") },
                { "d", QString(QChar(0)) + "7" }, { "e", "" } } },
        WriteCase { "texts_like_typed_values",
            { { "a", "@x" }, { "b", "@@y" }, { "c", "@Rect(1 2 3 4)" } } },
        WriteCase { "names_and_text_beyond_ascii",
            { { QString::fromUtf8("\xc3\xbc"), QString::fromUtf8("\xc3\xbc\xe2\x82\xac") },
                { "we ird/na%me", "1" }, { QString(QChar(0x20ac)), "2" } } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniDocument, AWriteChangesOnlyTheValuesItSets)
{
    const CIniDocument doc("; kept\r\n[Zeta]\r\nb=2\r\na=1 ; why\r\n\r\n[Settings]\r\n"
                           "rect.left = 5 ; old\r\nUnknown=\"x,y\"\r\n\r\n[Alpha]\r\nk=v");
    const std::optional<CIniDocument::Edit> edit = doc.WithValues(
        "Settings", { { "rect.top", 7 }, { "rect.left", -3 }, { "MirrorMode", 1 } });
    ASSERT_TRUE(edit);
    EXPECT_FALSE(edit->bLinesDropped);
    // New keys take the line ends of the group they join.
    EXPECT_EQ(edit->document.Bytes().toStdString(),
        "; kept\r\n[Zeta]\r\nb=2\r\na=1 ; why\r\n\r\n[Settings]\r\nrect.left =-3; old\r\n"
        "Unknown=\"x,y\"\r\nMirrorMode=1\r\nrect.top=7\r\n\r\n[Alpha]\r\nk=v");
}

// A serialized value is never decoded, so it is no text even where QSettings would find one
// in it ("x" here), and a write keeps its line as it was, also when it rewrites the file.
TEST(IniDocument, SerializedValuesAreNoTextAndTheirLinesSurviveAWrite)
{
    const QByteArray variant = "Other=@Variant(\\0\\0\\0\\n\\0\\0\\0\\x2\\0x)\n";
    for (const QByteArray& broken : { QByteArray(), QByteArray("not a line\n") }) {
        const CIniDocument doc("[Settings]\n" + broken + variant
            + "GraphicScale=@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xf0)\n");
        EXPECT_FALSE(doc.StringValue("Settings", "Other"));
        EXPECT_FALSE(doc.StringValue("Settings", "GraphicScale"));
        const std::optional<CIniDocument::Edit> edit
            = doc.WithValues("Settings", { { "rect.left", 1 } });
        ASSERT_TRUE(edit);
        EXPECT_TRUE(edit->document.Bytes().contains(variant))
            << edit->document.Bytes().toStdString();
    }
}

TEST(IniDocument, LinesQSettingsCannotParseAreDroppedAndReported)
{
    const CIniDocument doc("[Settings\nGraphicScale=5120\nnot a line\n[Other\nk=v\n");
    ASSERT_TRUE(doc.IsBroken());
    const std::optional<CIniDocument::Edit> edit
        = doc.WithValues("Settings", { { "MirrorMode", 1 } });
    ASSERT_TRUE(edit);
    EXPECT_TRUE(edit->bLinesDropped);
    EXPECT_EQ(edit->document.Bytes().toStdString(),
        "[Settings]\nGraphicScale=5120\nMirrorMode=1\n[Other]\nk=v\n");
}

} // namespace
