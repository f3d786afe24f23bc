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
    EXPECT_EQ(entry.GetString(u"Exec"), QString("web --new %u"));
    EXPECT_FALSE(entry.GetString(u"Icon"));
}

struct RefusedCase {
    const char* name;
    QByteArray text;
};

class DesktopEntryRefused : public ::testing::TestWithParam<RefusedCase> { };

TEST_P(DesktopEntryRefused, FileThatBreaksTheFormatGivesNoEntry)
{
    CDesktopEntry entry;
    EXPECT_FALSE(entry.Parse(GetParam().text));
    EXPECT_FALSE(entry.GetString(u"Exec"));
}

INSTANTIATE_TEST_SUITE_P(Cases, DesktopEntryRefused,
    ::testing::Values(RefusedCase { "no_main_group", "[Other]\nExec=a\n" },
        RefusedCase { "key_before_any_group", "Exec=a\n[Desktop Entry]\n" },
        RefusedCase { "line_without_an_equals_sign", "[Desktop Entry]\nExec a\n" },
        RefusedCase { "group_twice", "[Desktop Entry]\nExec=a\n[Desktop Entry]\nName=b\n" },
        RefusedCase { "key_twice", "[Desktop Entry]\nExec=a\nExec=b\n" },
        RefusedCase { "unclosed_header", "[Desktop Entry\nExec=a\n" },
        RefusedCase { "bad_key", "[Desktop Entry]\nEx ec=a\n" },
        RefusedCase { "empty_key", "[Desktop Entry]\n=a\n" },
        RefusedCase { "empty_locale", "[Desktop Entry]\nExec[]=a\n" },
        RefusedCase { "NUL_byte", QByteArray("[Desktop Entry]\nExec=a\0b\n", 25) },
        RefusedCase { "not_UTF_8", "[Desktop Entry]\nName=\xff\xfe\n" },
        RefusedCase { "too_large", "[Desktop Entry]\n" + QByteArray(CDesktopEntry::kMaxSize, '#') },
        RefusedCase { "empty", "" }),
    [](const auto& info) { return std::string(info.param.name); });

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

struct ExecCase {
    const char* name;
    const char* exec;
    std::optional<QStringList> args; // none when the line is refused
};

class DesktopEntryExec : public ::testing::TestWithParam<ExecCase> { };

TEST_P(DesktopEntryExec, SplitsExecByItsQuotingRules)
{
    const ExecCase& c = GetParam();
    const auto args = CDesktopEntry::SplitExec(QString::fromUtf8(c.exec));
    ASSERT_EQ(args.has_value(), c.args.has_value()) << c.exec;
    if (!args)
        return;
    QStringList texts;
    for (const auto& arg : *args)
        texts << arg.text;
    EXPECT_EQ(texts, *c.args) << c.exec;
}

INSTANTIATE_TEST_SUITE_P(Cases, DesktopEntryExec,
    ::testing::Values(ExecCase { "url_placeholder", "firefox %u", QStringList { "firefox", "%u" } },
        ExecCase { "runs_of_spaces", "  a   b  ", QStringList { "a", "b" } },
        ExecCase { "quoted_path_and_placeholder", "\"/opt/My Browser/run\" \"%U\"",
            QStringList { "/opt/My Browser/run", "%U" } },
        ExecCase { "escapes_inside_quotes", "sh \"a \\\"b\\\" \\`c\\` \\$d \\\\e\"",
            QStringList { "sh", "a \"b\" `c` $d \\e" } },
        ExecCase { "empty_quoted_argument", "a \"\" b", QStringList { "a", "", "b" } },
        ExecCase { "shell_characters_inside_quotes", "a \"single 'quote' ok;|&\"",
            QStringList { "a", "single 'quote' ok;|&" } },
        ExecCase { "empty", "", std::nullopt }, ExecCase { "only_spaces", "   ", std::nullopt },
        ExecCase { "unterminated_quote", "a \"unterminated", std::nullopt },
        ExecCase { "text_after_a_closing_quote", "a \"x\"y", std::nullopt },
        ExecCase { "quote_inside_a_word", "a x\"y\"", std::nullopt },
        ExecCase { "unknown_escape_inside_quotes", "a \"\\n\"", std::nullopt },
        ExecCase { "unescaped_dollar_inside_quotes", "a \"$HOME\"", std::nullopt },
        ExecCase { "unescaped_backquote_inside_quotes", "a \"`id`\"", std::nullopt },
        ExecCase { "backslash_at_the_end", "a \"x\\", std::nullopt },
        ExecCase { "semicolon", "a;b", std::nullopt }, ExecCase { "pipe", "a|b", std::nullopt },
        ExecCase { "command_substitution", "a $(id)", std::nullopt },
        ExecCase { "tilde", "a ~/x", std::nullopt }, ExecCase { "tab", "a\tb", std::nullopt },
        ExecCase { "single_quotes", "a 'b'", std::nullopt },
        ExecCase { "backslash_outside_quotes", "a \\ b", std::nullopt },
        ExecCase { "redirection", "a >out", std::nullopt },
        ExecCase { "hash", "a #c", std::nullopt }, ExecCase { "glob", "a *", std::nullopt }),
    [](const auto& info) { return std::string(info.param.name); });

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
