#include "settings/IniSettingsStore.h"
#include "support/NamedRows.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

using ::PrintTo;

const QString kSection = QStringLiteral("Settings");
constexpr auto kWritten = ISettingsStore::EWrite::Written;
constexpr auto kPending = ISettingsStore::EWrite::Pending;
constexpr auto kFailed = ISettingsStore::EWrite::Failed;

// One integer in one write.
ISettingsStore::EWrite WriteInt(ISettingsStore& store, const QString& key, int32_t nValue)
{
    return store.WriteProfile(kSection, { { key, nValue } });
}

struct KeyDefault {
    const char* key;
    int32_t nDefault;
};

constexpr KeyDefault kKeys[] = {
    { "NetworkDevice", 0 },
    { "GraphicScale", 20480 },
    { "MirrorMode", 0 },
    { "Transparent", 0 },
    { "TransparencyFocused", 100 },
    { "TransparencyUnocused", 100 },
    { "rect.left", 0 },
    { "rect.top", 0 },
    { "rect.right", 0 },
    { "rect.bottom", 0 },
};

void ExpectDefaults(CIniSettingsStore& store)
{
    for (const KeyDefault& entry : kKeys)
        EXPECT_EQ(store.GetProfileInt(kSection, entry.key, entry.nDefault), entry.nDefault)
            << entry.key;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

// Every test gets its own config home, set in the environment before the store is made.
class IniSettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        m_bHadHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        m_oldHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_home.path().toUtf8());
    }
    void TearDown() override
    {
        if (m_bHadHome)
            qputenv("XDG_CONFIG_HOME", m_oldHome);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    QString ConfPath() const { return m_home.path() + "/corvane/corvane.conf"; }
    void WriteConf(const QByteArray& bytes) const
    {
        QDir().mkpath(m_home.path() + "/corvane");
        WriteFile(ConfPath(), bytes);
    }
    QByteArray ReadConf() const
    {
        QFile file(ConfPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Starts this test binary's child helper on this config home, with the given environment
    // additions ("NAME=value"), under prlimit when it has arguments.
    void StartChild(QProcess& child, const QString& strMode, const QStringList& env = {},
        const QStringList& prlimitArgs = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("CORVANE_CHILD_MODE", strMode);
        environment.insert("XDG_CONFIG_HOME", m_home.path());
        for (const QString& pair : env)
            environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
        child.setProcessEnvironment(environment);
        const QString program = QCoreApplication::applicationFilePath();
        const QStringList args { "--gtest_also_run_disabled_tests",
            "--gtest_filter=IniSettingsStoreChild.DISABLED_Helper" };
        if (prlimitArgs.isEmpty())
            child.start(program, args);
        else
            child.start("prlimit", prlimitArgs + QStringList { "--", program } + args);
    }
    // Runs the child helper to its end; its stdout.
    QByteArray RunChild(const QString& strMode, QProcess::ExitStatus& status,
        const QStringList& env = {}, const QStringList& prlimitArgs = {}) const
    {
        QProcess child;
        StartChild(child, strMode, env, prlimitArgs);
        child.waitForFinished(120000);
        status = child.exitStatus();
        return child.readAllStandardOutput();
    }

    QTemporaryDir m_home;
    bool m_bHadHome = false;
    QByteArray m_oldHome;
};

TEST_F(IniSettingsStoreTest, FirstRunReadsEveryDefault)
{
    CIniSettingsStore store("corvane");
    EXPECT_EQ(store.FileName(), ConfPath());
    ExpectDefaults(store);
}

TEST_F(IniSettingsStoreTest, TenKeysRoundTripThroughTheFileInGroupSettings)
{
    const int32_t values[] = { 3, 1024000, 1, 1, 0, 255, -32000, INT32_MIN, INT32_MAX, 768 };
    {
        CIniSettingsStore store("corvane");
        for (size_t i = 0; i < std::size(kKeys); ++i)
            EXPECT_EQ(WriteInt(store, kKeys[i].key, values[i]), kWritten) << kKeys[i].key;
    }
    CIniSettingsStore again("corvane");
    for (size_t i = 0; i < std::size(kKeys); ++i)
        EXPECT_EQ(again.GetProfileInt(kSection, kKeys[i].key, kKeys[i].nDefault), values[i])
            << kKeys[i].key;

    const QString text = QString::fromUtf8(ReadConf());
    EXPECT_TRUE(text.startsWith("[Settings]\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nTransparencyUnocused=255\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nrect.top=-2147483648\n")) << text.toStdString();
    EXPECT_FALSE(QFile::exists(ConfPath() + ".lock"));
}

TEST_F(IniSettingsStoreTest, WriteKeepsOtherKeysAndSections)
{
    WriteConf("[Other]\nkeep=hello world\n\n[Settings]\nMirrorMode=1\nGraphicScale=5120\n");
    CIniSettingsStore store("corvane");
    ASSERT_EQ(WriteInt(store, "GraphicScale", 51200), kWritten);
    EXPECT_EQ(store.GetProfileInt(kSection, "MirrorMode", 0), 1);
    EXPECT_EQ(store.GetProfileInt(kSection, "GraphicScale", 0), 51200);
    EXPECT_TRUE(ReadConf().contains("keep=hello world"));
}

TEST_F(IniSettingsStoreTest, ValuesThatAreNotA32BitIntegerReadAsTheDefault)
{
    struct Case {
        const char* name;
        QByteArray stored;
        int32_t expected;
    } const cases[] = {
        { "empty", "", 20480 },
        { "text", "fast", 20480 },
        { "exponent", "1e3", 20480 },
        { "hex", "0x400", 20480 },
        { "trailing junk", "12abc", 20480 },
        { "fraction", "2.5", 20480 },
        { "beyond 64 bits", "999999999999999999999999", 20480 },
        { "beyond 32 bits", "99999999999", 20480 },
        { "just below INT32_MIN", "-2147483649", 20480 },
        { "2^31 is not wrapped to negative", "2147483648", 20480 },
        { "2^32-1 is not wrapped to -1", "4294967295", 20480 },
        { "a list", "1,2", 20480 },
        { "a serialized variant", "@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)", 20480 },
        { "a byte array", "@ByteArray(5120)", 20480 },
        { "a rectangle", "@Rect(1 2 3 4)", 20480 },
        { "lone sign", "-", 20480 },
        { "INT32_MIN", "-2147483648", INT32_MIN },
        { "INT32_MAX", "2147483647", INT32_MAX },
        { "plus sign", "+5120", 5120 },
        { "quoted number", "\"10240\"", 10240 },
        { "leading zeros", "000512000", 512000 },
        { "blanks around", " -7 ", -7 },
        { "a blank after the sign", "- 7", 20480 },
    };
    for (const Case& c : cases) {
        WriteConf("[Settings]\nGraphicScale=" + c.stored + "\n");
        CIniSettingsStore store("corvane");
        EXPECT_EQ(store.GetProfileInt(kSection, "GraphicScale", 20480), c.expected) << c.name;
    }
}

TEST_F(IniSettingsStoreTest, GarbageAndBinaryFilesReadAsDefaultsAndAreReplacedOnWrite)
{
    QByteArray binary(8192, '\0');
    QRandomGenerator rng(7);
    for (char& byte : binary)
        byte = char(rng.bounded(256));
    const QByteArray files[] = {
        binary,
        "\xff\xfe[Settings\n=\n==\n[[]]\nGraphicScale\n\\\n",
        QByteArray("[Settings]\nGraphicScale=") + QByteArray(200000, '9') + "\n",
        QByteArray(100000, '['),
    };
    for (const QByteArray& file : files) {
        WriteConf(file);
        CIniSettingsStore store("corvane");
        ExpectDefaults(store);
        EXPECT_EQ(WriteInt(store, "MirrorMode", 1), kWritten);
        EXPECT_EQ(CIniSettingsStore("corvane").GetProfileInt(kSection, "MirrorMode", 0), 1);
    }
}

// Fills the file with enough keys that rewriting it needs more than 16 KiB.
QByteArray BigSettingsFile()
{
    QByteArray text = "[Settings]\nGraphicScale=5120\n";
    for (int i = 0; i < 2000; ++i)
        text += "Padding" + QByteArray::number(i) + "=123456789\n";
    return text;
}

// A file size limit makes write(2) fail with EFBIG, as a full disk fails with ENOSPC; without
// SIGXFSZ ignored, crossing it kills the writer mid-file.
TEST_F(IniSettingsStoreTest, AWriteThatRunsOutOfSpaceOrIsKilledMidwayLeavesTheOldFile)
{
    for (const bool bKilled : { false, true }) {
        SCOPED_TRACE(bKilled ? "killed" : "out of space");
        WriteConf(BigSettingsFile());
        const QByteArray before = ReadConf();
        QProcess::ExitStatus status {};
        const QByteArray out = RunChild("write-once", status,
            bKilled ? QStringList {} : QStringList { "CORVANE_CHILD_IGNORE_XFSZ=1" },
            { "--fsize=16384" });
        EXPECT_EQ(status, bKilled ? QProcess::CrashExit : QProcess::NormalExit);
        EXPECT_EQ(out.contains("write=failed"), !bKilled) << out.toStdString();
        EXPECT_EQ(ReadConf(), before);
        CIniSettingsStore store("corvane");
        EXPECT_EQ(store.GetProfileInt(kSection, "GraphicScale", 0), 5120);
        EXPECT_EQ(store.GetProfileInt(kSection, "Padding1999", 0), 123456789);
        // The next write clears away what the cut one left.
        ASSERT_EQ(WriteInt(store, "MirrorMode", 1), kWritten);
        EXPECT_EQ(QDir(m_home.path() + "/corvane").entryList(QDir::Files | QDir::Hidden),
            QStringList { "corvane.conf" });
    }
}

TEST_F(IniSettingsStoreTest, TwoCopiesWritingAtOnceNeverMixTheirRectanglesNorLoseAWrite)
{
    constexpr int kWrites = 60;
    QProcess first, second;
    for (auto [child, tag] : { std::pair { &first, "1" }, std::pair { &second, "2" } })
        StartChild(*child, "write-loop",
            { QStringLiteral("CORVANE_CHILD_TAG=") + tag,
                "CORVANE_CHILD_COUNT=" + QString::number(kWrites) });
    ASSERT_TRUE(first.waitForStarted() && second.waitForStarted());

    // Watch the file while both write: whenever it exists it is whole, and its rectangle is
    // one copy's: each writes its tag * 1000000 + n into all four edges.
    const QRegularExpression wellFormed(
        R"(^\[Settings\]\n((rect\.(bottom|left|right|top)|Writes[12])=\d+\n)+$)");
    int nLooks = 0;
    while (first.state() != QProcess::NotRunning || second.state() != QProcess::NotRunning) {
        first.waitForFinished(5);
        second.waitForFinished(5);
        const QByteArray text = ReadConf();
        if (text.isEmpty())
            continue;
        ++nLooks;
        ASSERT_TRUE(wellFormed.match(QString::fromUtf8(text)).hasMatch()) << text.toStdString();
        const CIniDocument doc(text);
        const auto left = doc.StringValue(kSection, "rect.left");
        for (const char* edge : { "rect.top", "rect.right", "rect.bottom" })
            ASSERT_EQ(doc.StringValue(kSection, edge), left) << text.toStdString();
    }
    EXPECT_GT(nLooks, 0);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.exitCode(), 0);
    // Each write merged under the lock, so the last count of both writers is there.
    CIniSettingsStore store("corvane");
    EXPECT_EQ(store.GetProfileInt(kSection, "Writes1", -1), kWrites);
    EXPECT_EQ(store.GetProfileInt(kSection, "Writes2", -1), kWrites);
}

TEST_F(IniSettingsStoreTest, AWriteMergesWhatAnotherCopyStoredSinceTheLastRead)
{
    CIniSettingsStore mine("corvane"), other("corvane");
    EXPECT_EQ(mine.GetProfileInt(kSection, "GraphicScale", 20480), 20480);
    ASSERT_EQ(WriteInt(other, "GraphicScale", 5120), kWritten);
    EXPECT_EQ(mine.GetProfileInt(kSection, "GraphicScale", 20480), 5120);
    ASSERT_EQ(WriteInt(other, "MirrorMode", 1), kWritten);
    ASSERT_EQ(WriteInt(mine, "rect.left", 3), kWritten);
    CIniSettingsStore fresh("corvane");
    EXPECT_EQ(fresh.GetProfileInt(kSection, "MirrorMode", 0), 1);
    EXPECT_EQ(fresh.GetProfileInt(kSection, "rect.left", 0), 3);
}

TEST_F(IniSettingsStoreTest, ASymlinkedFileStaysASymlinkAndItsTargetIsReplaced)
{
    QDir().mkpath(m_home.path() + "/dotfiles");
    QDir().mkpath(m_home.path() + "/corvane");
    QFile target(m_home.path() + "/dotfiles/corvane.conf");
    WriteFile(target.fileName(), "[Settings]\nGraphicScale=5120\n");
    ASSERT_EQ(::symlink("../dotfiles/corvane.conf", ConfPath().toUtf8().constData()), 0);

    CIniSettingsStore store("corvane");
    ASSERT_EQ(WriteInt(store, "rect.left", 7), kWritten);
    EXPECT_TRUE(QFileInfo(ConfPath()).isSymLink());
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), "[Settings]\nGraphicScale=5120\nrect.left=7\n");
    EXPECT_EQ(QDir(m_home.path() + "/dotfiles").entryList(QDir::Files | QDir::Hidden),
        QStringList { "corvane.conf" });
}

TEST_F(IniSettingsStoreTest, AFolderOrAPipeInTheFilesPlaceIsLeftAlone)
{
    QDir().mkpath(m_home.path() + "/corvane");
    for (const bool bFolder : { true, false }) {
        if (bFolder)
            ASSERT_TRUE(QDir().mkpath(ConfPath()));
        else
            ASSERT_EQ(::mkfifo(ConfPath().toUtf8().constData(), 0600), 0);
        CIniSettingsStore store("corvane"); // a pipe must not hang the read
        EXPECT_EQ(store.GetProfileInt(kSection, "GraphicScale", 20480), 20480);
        EXPECT_EQ(WriteInt(store, "GraphicScale", 5120), kFailed);
        struct stat st { };
        ASSERT_EQ(::lstat(ConfPath().toUtf8().constData(), &st), 0);
        EXPECT_TRUE(bFolder ? S_ISDIR(st.st_mode) : S_ISFIFO(st.st_mode));
        bFolder ? QDir().rmdir(ConfPath()) : QFile::remove(ConfPath());
    }
}

// A broken file, a different one on each run: every version is kept under its own name, the
// first in corvane.conf.bad, until the names run out; then the file is left as it is. Its
// readable values are carried over whether or not they were read before the write.
struct BrokenCase {
    const char* name;
    QByteArray (*version)(int run);
    int32_t nScaleRead; // what the broken file yields for GraphicScale
};

class IniSettingsStoreBroken : public IniSettingsStoreTest,
                               public ::testing::WithParamInterface<BrokenCase> { };

TEST_P(IniSettingsStoreBroken, EveryVersionIsSetAsideOnceUnderANewName)
{
    const BrokenCase& c = GetParam();
    for (int run = 0; run <= CIniSettingsStore::kSetAsideNames; ++run) {
        WriteConf(c.version(run));
        CIniSettingsStore store("corvane");
        if (run % 2 == 0) {
            EXPECT_EQ(store.GetProfileInt(kSection, "GraphicScale", 20480), c.nScaleRead);
        }
        const bool bWritten = WriteInt(store, "MirrorMode", 1) == kWritten;
        if (run == CIniSettingsStore::kSetAsideNames) {
            EXPECT_FALSE(bWritten);
            EXPECT_EQ(ReadConf(), c.version(run));
            break;
        }
        ASSERT_TRUE(bWritten) << run;
        QFile aside(ConfPath() + ".bad" + (run ? "." + QString::number(run) : QString()));
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly)) << run;
        EXPECT_EQ(aside.readAll(), c.version(run)) << run;
        EXPECT_FALSE(CIniDocument(ReadConf()).IsBroken()) << run;
        CIniSettingsStore again("corvane");
        EXPECT_EQ(again.GetProfileInt(kSection, "MirrorMode", 0), 1);
        EXPECT_EQ(again.GetProfileInt(kSection, "GraphicScale", 20480), c.nScaleRead);
    }
    QFile first(ConfPath() + ".bad");
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), c.version(0));
}

INSTANTIATE_TEST_SUITE_P(Cases, IniSettingsStoreBroken,
    ::testing::Values(BrokenCase { "line_without_equals",
                          [](int run) {
                              return "[Settings]\nGraphicScale=5120\nuser line "
                                  + QByteArray::number(run) + "\n";
                          },
                          5120 },
        BrokenCase { "header_without_bracket",
            [](int run) {
                return "[Settings\nGraphicScale=5120\nRun=" + QByteArray::number(run) + "\n";
            },
            5120 },
        BrokenCase { "above_one_mebibyte",
            [](int run) {
                return "[Settings]\nGraphicScale=5120\n[Other]\nk="
                    + QByteArray(CIniSettingsStore::kMaxFileSize, char('a' + run)) + "\n";
            },
            20480 }),
    RowName);

// A tmpfs of the test's own as the config home, so the disk can really fill up.
class IniSettingsStoreFullDisk : public IniSettingsStoreTest {
protected:
    void SetUp() override
    {
        IniSettingsStoreTest::SetUp();
        if (::mount("tmpfs", m_home.path().toUtf8().constData(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs (needs root): " << std::strerror(errno);
        m_bMounted = true;
    }
    void TearDown() override
    {
        if (m_bMounted)
            ::umount2(m_home.path().toUtf8().constData(), MNT_DETACH);
        IniSettingsStoreTest::TearDown();
    }
    bool m_bMounted = false;
};

TEST_F(IniSettingsStoreFullDisk, AWriteThatFindsTheDiskFullKeepsTheOldFileAndItsValues)
{
    // 16 KiB: the program's settings and the keys of another group.
    QByteArray text = "[Settings]\nNetworkDevice=2\nGraphicScale=51200\n\n[Other]\n";
    for (int i = 0; text.size() < 16000; ++i)
        text += "key" + QByteArray::number(i) + "=value\n";
    WriteConf(text);
    // Fill the disk, then give back 8 KiB: less than the new file needs.
    QFile filler(m_home.path() + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'x')) == 4096) { }
    ASSERT_TRUE(filler.resize(filler.size() - 8192));

    CIniSettingsStore store("corvane");
    EXPECT_EQ(store.GetProfileInt(kSection, "GraphicScale", 0), 51200);
    EXPECT_EQ(store.WriteProfile(kSection,
                  { { "rect.left", 10 }, { "rect.top", 20 }, { "rect.right", 184 },
                      { "rect.bottom", 143 } }),
        kFailed);
    EXPECT_EQ(ReadConf(), text);
    EXPECT_EQ(store.GetProfileInt(kSection, "NetworkDevice", 0), 2);
    EXPECT_EQ(store.GetProfileInt(kSection, "rect.left", 0), 0);
    EXPECT_EQ(QDir(m_home.path() + "/corvane").entryList(QDir::Files | QDir::Hidden),
        QStringList { "corvane.conf" });

    // With room again the same write goes through.
    filler.remove();
    EXPECT_EQ(WriteInt(store, "rect.left", 10), kWritten);
    EXPECT_EQ(CIniSettingsStore("corvane").GetProfileInt(kSection, "rect.left", 0), 10);
}

int Lines(const std::string& text)
{
    return int(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(IniSettingsStoreTest, ALockHeldByAnotherCopyKeepsTheValuesForTheNextChance)
{
    WriteConf("[Settings]\nGraphicScale=5120\n");
    CIniSettingsStore store("corvane");
    QLockFile other(ConfPath() + ".lock"); // another copy, in the middle of its write
    ASSERT_TRUE(other.tryLock(0));
    EXPECT_EQ(WriteInt(store, "rect.left", 7), kPending);
    EXPECT_EQ(store.GetProfileInt(kSection, "rect.left", 0), 7);
    EXPECT_FALSE(ReadConf().contains("rect.left"));
    // Once the other copy is done, the store's own retry saves it.
    other.unlock();
    for (int i = 0; i < 500 && !ReadConf().contains("rect.left"); ++i) {
        QThread::msleep(20);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(ReadConf(), "[Settings]\nGraphicScale=5120\nrect.left=7\n");

    // Held through the end: Flush waits no longer than it is told, and says so once.
    ASSERT_TRUE(other.tryLock(0));
    EXPECT_EQ(WriteInt(store, "rect.top", 8), kPending);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(store.Flush(200));
    EXPECT_FALSE(store.Flush(0));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Lines(err), 1) << err;
    other.unlock();
    EXPECT_TRUE(store.Flush(0));
    EXPECT_EQ(CIniSettingsStore("corvane").GetProfileInt(kSection, "rect.top", 0), 8);
}

struct LockCase {
    const char* name;
    mode_t type; // what stands in the lock's place: S_IFDIR, S_IFIFO, or S_IFLNK to a pipe
};

class IniSettingsStoreLock : public IniSettingsStoreTest,
                             public ::testing::WithParamInterface<LockCase> { };

// Something no copy of the program made, in the lock's place: never waited for, not even at
// exit (a pipe must not hang the save), reported once, left as it is.
TEST_P(IniSettingsStoreLock, ALockThatCanNeverBeTakenIsReportedOnceAndLeftAlone)
{
    WriteConf("[Settings]\nGraphicScale=5120\n");
    const QByteArray lock = QFile::encodeName(ConfPath() + ".lock");
    const mode_t type = GetParam().type;
    const QByteArray made = type == S_IFLNK ? lock + ".pipe" : lock;
    ASSERT_EQ(
        type == S_IFDIR ? ::mkdir(made.constData(), 0700) : ::mkfifo(made.constData(), 0600), 0);
    ASSERT_TRUE(type != S_IFLNK || ::symlink(made.constData(), lock.constData()) == 0);
    CIniSettingsStore store("corvane");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WriteInt(store, "rect.left", 7), kPending);
    EXPECT_EQ(WriteInt(store, "rect.top", 8), kPending);
    EXPECT_FALSE(store.Flush(1000));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Lines(err), 1) << err;
    EXPECT_NE(err.find(lock.toStdString()), std::string::npos) << err;
    EXPECT_EQ(store.GetProfileInt(kSection, "rect.left", 0), 7);
    EXPECT_EQ(ReadConf(), "[Settings]\nGraphicScale=5120\n");
    struct stat st { };
    EXPECT_TRUE(::lstat(lock.constData(), &st) == 0 && (st.st_mode & S_IFMT) == type);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniSettingsStoreLock,
    ::testing::Values(LockCase { "folder", S_IFDIR }, LockCase { "pipe", S_IFIFO },
        LockCase { "link_to_a_pipe", S_IFLNK }),
    RowName);

struct LinkCase {
    const char* name;
    mode_t folderMode;
    bool bFolderOthers; // the folder belongs to another user
    bool bTargetOthers; // the file the link names belongs to another user
};

class IniSettingsStoreLink : public IniSettingsStoreTest,
                             public ::testing::WithParamInterface<LinkCase> { };

// Another user plants corvane.conf as a link to one of the user's files: it must not be
// written through, nor its text copied into the planter's folder.
TEST_P(IniSettingsStoreLink, APlantedLinkIsNotWrittenThrough)
{
    const LinkCase& c = GetParam();
    constexpr uid_t kOther = 65534;
    const QString folder = m_home.path() + "/corvane";
    const QString victim = m_home.path() + "/victim.txt";
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteFile(victim, "precious\n");
    QFile file(victim);
    ASSERT_EQ(
        ::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(ConfPath()).constData()),
        0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), c.folderMode), 0);
    if ((c.bFolderOthers && ::chown(QFile::encodeName(folder).constData(), kOther, -1) != 0)
        || (c.bTargetOthers && ::chown(QFile::encodeName(victim).constData(), kOther, -1) != 0))
        GTEST_SKIP() << "cannot give a file to another user (needs root)";

    CIniSettingsStore store("corvane");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WriteInt(store, "rect.left", 7), kFailed);
    EXPECT_EQ(WriteInt(store, "rect.left", 7), kFailed);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Lines(err), 1) << err;
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "precious\n");
    EXPECT_TRUE(QFileInfo(ConfPath()).isSymLink());
    EXPECT_FALSE(QFile::exists(ConfPath() + ".bad"));
}

INSTANTIATE_TEST_SUITE_P(Cases, IniSettingsStoreLink,
    ::testing::Values(LinkCase { "folder_writable_by_all", 0777, false, false },
        LinkCase { "folder_writable_by_its_group", 0775, false, false },
        LinkCase { "sticky_folder_writable_by_all", 01777, false, false },
        LinkCase { "folder_of_another_user", 0755, true, false },
        LinkCase { "file_of_another_user", 0755, false, true }),
    RowName);

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// One serialized value as GraphicScale.
struct PayloadCase {
    const char* name;
    QByteArray value;
};

class IniSettingsStorePayload : public IniSettingsStoreTest,
                                public ::testing::WithParamInterface<PayloadCase> { };

// Serialized values carry length fields that may claim gigabytes; read in a fresh process,
// such a file starts within a second and small.
TEST_P(IniSettingsStorePayload, IsNeitherDecodedNorReadAsANumber)
{
    WriteConf("[Settings]\nNetworkDevice=1\nGraphicScale=" + GetParam().value + "\nMirrorMode=0\n");
    QProcess::ExitStatus status {};
    const QByteArray out = RunChild("read-all", status);
    ASSERT_EQ(status, QProcess::NormalExit) << out.toStdString();
    const QRegularExpressionMatch m
        = QRegularExpression(R"(scale=(-?\d+) ms=(\d+) vmpeak_kib=(\d+))").match(out);
    ASSERT_TRUE(m.hasMatch()) << out.toStdString();
    EXPECT_EQ(m.captured(1).toInt(), 20480);
    EXPECT_LT(m.captured(2).toInt(), 1000);
    // The address sanitizer reserves terabytes of address space for itself; it aborts on a
    // huge allocation instead.
    if (!kAddressSanitizer) {
        EXPECT_LT(m.captured(3).toLongLong(), 200 * 1024);
    }
}

// The lists' 16 M entries are half a GiB that an allocator grants; the reported 4 G are not.
INSTANTIATE_TEST_SUITE_P(Cases, IniSettingsStorePayload,
    ::testing::Values(PayloadCase { "list_of_4_g", "@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xf0)" },
        PayloadCase { "list", "@Variant(\\0\\0\\0\\t\\x1\\0\\0\\0)" },
        PayloadCase { "string_list", "@Variant(\\0\\0\\0\\v\\x1\\0\\0\\0)" },
        PayloadCase { "map", "@Variant(\\0\\0\\0\\b\\x7f\\xff\\xff\\xff)" },
        PayloadCase { "string", "@Variant(\\0\\0\\0\\n\\xff\\xff\\xff\\xf0)" },
        PayloadCase { "byte_array", "@Variant(\\0\\0\\0\\f\\xff\\xff\\xff\\xf0)" },
        PayloadCase { "hash", "@Variant(\\0\\0\\0\\x1c\\xff\\xff\\xff\\xf0)" },
        PayloadCase { "user_type", "@Variant(\\0\\0\\0\\x7f\\xff\\xff\\xff\\xf0)" },
        PayloadCase { "number_inside", "@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)" },
        PayloadCase { "date_time", "@DateTime(\\xff\\xff\\xff\\xf0)" },
        PayloadCase { "bytes", "@ByteArray(5120)" }),
    RowName);

} // namespace

// The other process of the tests above, started by them with CORVANE_CHILD_MODE set; it is
// disabled so a normal run never executes it.
TEST(IniSettingsStoreChild, DISABLED_Helper)
{
    const QByteArray mode = qgetenv("CORVANE_CHILD_MODE");
    ASSERT_FALSE(mode.isEmpty());
    if (qEnvironmentVariableIsSet("CORVANE_CHILD_IGNORE_XFSZ"))
        std::signal(SIGXFSZ, SIG_IGN);
    CIniSettingsStore store("corvane");
    if (mode == "read-all") {
        // What start-up reads, timed, and the process's peak address space after it.
        QElapsedTimer timer;
        timer.start();
        int32_t nScale = 0;
        for (const KeyDefault& entry : kKeys) {
            const int32_t n = store.GetProfileInt(kSection, entry.key, entry.nDefault);
            if (QLatin1String(entry.key) == QLatin1String("GraphicScale"))
                nScale = n;
        }
        store.GetProfileString(kSection, "NetworkDeviceName", {});
        const qint64 nMs = timer.elapsed();
        QFile status("/proc/self/status");
        const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
        const QRegularExpressionMatch peak
            = QRegularExpression(R"(VmPeak:\s*(\d+) kB)").match(QString::fromLatin1(text));
        std::printf("scale=%d ms=%lld vmpeak_kib=%s\n", nScale, nMs,
            qPrintable(peak.hasMatch() ? peak.captured(1) : QStringLiteral("-1")));
        std::fflush(stdout);
    } else if (mode == "write-once") {
        const bool bOk = WriteInt(store, "GraphicScale", 1024000) == kWritten;
        std::printf("write=%s\n", bOk ? "ok" : "failed");
        std::fflush(stdout);
    } else if (mode == "write-loop") {
        // A window move: the four edges and this copy's count of writes in one write.
        const int nTag = qEnvironmentVariableIntValue("CORVANE_CHILD_TAG");
        const int nCount = qEnvironmentVariableIntValue("CORVANE_CHILD_COUNT");
        for (int i = 1; i <= nCount; ++i) {
            const int32_t edge = nTag * 1000000 + i;
            // The other copy may be writing: then this one waits for it, as the program does
            // only at exit.
            const ISettingsStore::EWrite result = store.WriteProfile(kSection,
                { { "rect.left", edge }, { "rect.top", edge }, { "rect.right", edge },
                    { "rect.bottom", edge }, { "Writes" + QString::number(nTag), i } });
            ASSERT_TRUE(result == kWritten || (result == kPending && store.Flush(10000)));
        }
    }
}
