#include "dialogs/DesktopEntry.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(DesktopEntry, ParsesTheMainGroupAndIgnoresOthersCommentsAndLocales)
{
    CDesktopEntry entry;
    ASSERT_TRUE(entry.Parse("# browser\n\n[Desktop Entry]\r\nType=Application\nName[de]=Netz\n"
                            "Name = Web\nExec=web\\s--new %u\n[Desktop Action x]\nExec=other\n"));
    EXPECT_EQ(entry.GetString(u"Name"), QString("Web"));
    EXPECT_EQ(entry.GetString(u"Type"), QString("Application"));
    EXPECT_EQ(entry.GetExecArgs(), QStringList({ "web", "--new", "%u" }));
    EXPECT_FALSE(entry.GetString(u"Icon"));
}

TEST(DesktopEntry, RefusesFilesThatBreakTheFormat)
{
    const struct {
        const char* name;
        QByteArray text;
    } cases[] = {
        { "no main group", "[Other]\nExec=a\n" },
        { "key before any group", "Exec=a\n[Desktop Entry]\n" },
        { "line without =", "[Desktop Entry]\nExec a\n" },
        { "group twice", "[Desktop Entry]\nExec=a\n[Desktop Entry]\nName=b\n" },
        { "key twice", "[Desktop Entry]\nExec=a\nExec=b\n" },
        { "unclosed header", "[Desktop Entry\nExec=a\n" },
        { "bad key", "[Desktop Entry]\nEx ec=a\n" },
        { "empty key", "[Desktop Entry]\n=a\n" },
        { "empty locale", "[Desktop Entry]\nExec[]=a\n" },
        { "NUL byte", QByteArray("[Desktop Entry]\nExec=a\0b\n", 25) },
        { "not UTF-8", "[Desktop Entry]\nName=\xff\xfe\n" },
        { "too large", "[Desktop Entry]\n" + QByteArray(CDesktopEntry::kMaxSize, '#') },
        { "empty", "" },
    };
    for (const auto& c : cases) {
        CDesktopEntry entry;
        EXPECT_FALSE(entry.Parse(c.text)) << c.name;
        EXPECT_FALSE(entry.GetString(u"Exec")) << c.name;
    }
}

TEST(DesktopEntry, UndoesStringEscapesAndKeepsOthersForTheExecRules)
{
    EXPECT_EQ(CDesktopEntry::UnescapeString(u"a\\sb\\nc\\td\\re\\\\f"), "a b\nc\td\re\\f");
    EXPECT_EQ(CDesktopEntry::UnescapeString(u"\\\"q\\$\\x"), "\\\"q\\$\\x");
    EXPECT_EQ(CDesktopEntry::UnescapeString(u"end\\"), "end\\");
    // Four backslashes in the file are one literal backslash inside a quoted argument.
    const auto args = CDesktopEntry::SplitExec(CDesktopEntry::UnescapeString(u"\"a\\\\\\\\b\""));
    ASSERT_TRUE(args);
    EXPECT_EQ((*args)[0].text, "a\\b");
}

TEST(DesktopEntry, SplitsExecByItsQuotingRules)
{
    const struct {
        const char* exec;
        std::optional<QStringList> args;
    } cases[] = {
        { "firefox %u", QStringList { "firefox", "%u" } },
        { "  a   b  ", QStringList { "a", "b" } },
        { "\"/opt/My Browser/run\" \"%U\"", QStringList { "/opt/My Browser/run", "%U" } },
        { "sh \"a \\\"b\\\" \\`c\\` \\$d \\\\e\"", QStringList { "sh", "a \"b\" `c` $d \\e" } },
        { "a \"\" b", QStringList { "a", "", "b" } },
        { "a \"single 'quote' ok;|&\"", QStringList { "a", "single 'quote' ok;|&" } },
        { "", std::nullopt },
        { "   ", std::nullopt },
        { "a \"unterminated", std::nullopt },
        { "a \"x\"y", std::nullopt },
        { "a x\"y\"", std::nullopt },
        { "a \"\\n\"", std::nullopt },
        { "a \"$HOME\"", std::nullopt },
        { "a \"`id`\"", std::nullopt },
        { "a \"x\\", std::nullopt },
        { "a;b", std::nullopt },
        { "a|b", std::nullopt },
        { "a $(id)", std::nullopt },
        { "a ~/x", std::nullopt },
        { "a\tb", std::nullopt },
        { "a 'b'", std::nullopt },
        { "a \\ b", std::nullopt },
        { "a >out", std::nullopt },
        { "a #c", std::nullopt },
        { "a *", std::nullopt },
    };
    for (const auto& c : cases) {
        const auto args = CDesktopEntry::SplitExec(QString::fromUtf8(c.exec));
        ASSERT_EQ(args.has_value(), c.args.has_value()) << c.exec;
        if (!args)
            continue;
        QStringList texts;
        for (const auto& arg : *args)
            texts << arg.text;
        EXPECT_EQ(texts, *c.args) << c.exec;
    }
}

TEST(DesktopEntry, ExecArgumentsKnowWhereTheyStandQuotesIncluded)
{
    const auto args = CDesktopEntry::SplitExec(u"run  \"%u\" x");
    ASSERT_TRUE(args);
    ASSERT_EQ(args->size(), 3u);
    EXPECT_EQ((*args)[1].nStart, 5);
    EXPECT_EQ((*args)[1].nEnd, 9);
    EXPECT_EQ((*args)[2].nStart, 10);
}

} // namespace
