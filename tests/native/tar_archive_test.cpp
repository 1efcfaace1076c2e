#include "setuplauncher/tar_archive.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "fuzz/tar_test_archive.h"
#include "launchcore/diagnostics.h"
#include "setuplauncher/tar_member_name.h"
#include "setuplauncher/tar_progress.h"

namespace {

std::vector<std::string>& logged()
{
    static std::vector<std::string> lines;
    return lines;
}

void record(bool isError, const std::string& line) { logged().push_back((isError ? "ERROR: " : "") + line); }

// Keeps what the reader hands out: the directories and files in order, the file contents.
struct RecordingOutput final : TarOutput {
    std::vector<std::string> created;
    std::map<std::string, std::string> files;
    size_t writeLimit = SIZE_MAX;
    std::string* open = nullptr;

    void makeDirectory(const std::string& path) override { created.push_back(path + "\\"); }
    bool openFile(const std::string& path) override
    {
        created.push_back(path);
        open = &(files[path] = "");
        return true;
    }
    size_t writeFile(const char* data, size_t size) override
    {
        const size_t put = std::min(size, writeLimit - std::min(writeLimit, open->size()));
        open->append(data, put);
        return put;
    }
    void closeFile() override { open = nullptr; }
    void reportPosition(int64_t, bool) override {}
};

class TarArchive : public ::testing::Test {
protected:
    void SetUp() override
    {
        logged().clear();
        setDiagnosticSink(record);
    }
    void TearDown() override
    {
        setDiagnosticSink(nullptr);
        std::remove(path_.c_str());
    }

    bool untar(const std::string& fileBytes)
    {
        FILE* file = std::fopen(path_.c_str(), "wb");
        std::fwrite(fileBytes.data(), 1, fileBytes.size(), file);
        std::fclose(file);
        TarStream stream;
        EXPECT_TRUE(stream.open(path_));
        return extractTarMembers(stream, out_);
    }
    bool hasLine(const std::string& line) const
    {
        return std::find(logged().begin(), logged().end(), line) != logged().end();
    }

    std::string path_ = ::testing::TempDir() + "tar_archive_" + std::to_string(getpid()) + ".tar.gz";
    RecordingOutput out_;
};

TEST(TarSizeField, OctalTextWithItsTerminatorsAndLimits)
{
    const std::pair<std::string, std::optional<int64_t>> cases[] = {
        {std::string("0001750 \0\0\0\0", 12), 1000},
        {std::string("   1750\0\0\0\0\0", 12), 1000},
        {std::string(12, '\0'), 0},
        {"            ", 0},
        {"000000001750", 1000},
        {std::string("17777777777\0", 12), INT32_MAX},
        {std::string("1 7\0\0\0\0\0\0\0\0\0", 12), 1},
        {std::string("00000000009\0", 12), std::nullopt},
        {std::string("77777777777\0", 12), std::nullopt},
        {std::string("20000000000\0", 12), std::nullopt},
        {std::string("\x80\0\0\0\0\0\0\0\0\0\x10\0", 12), std::nullopt},
        {std::string("-0000001750\0", 12), std::nullopt},
    };
    for (const auto& [field, expected] : cases)
        EXPECT_EQ(parseTarSize(field.data()), expected) << field;
}

TEST(TarMemberName, EveryNameThatCouldLeaveTheTargetIsRefused)
{
    for (const char* name : {"bin\\java.exe", "./bin/java.exe", ".\\lib", "a/./b", "a..b/..c", "lib/", "."})
        EXPECT_TRUE(isSafeMemberName(name)) << name;
    for (const char* name : {"", "./", "././", "../evil", "jre/../../evil", "..\\x", "a\\..", "/abs", "\\abs",
                             "\\\\?\\C:\\x", "C:/x", "C:x", "a/b:s", "a/.. /b", "a/.../b", "./../x"})
        EXPECT_FALSE(isSafeMemberName(name)) << name;
}

TEST(TarProgress, ScaledOnlyWithATotalAndClamped)
{
    EXPECT_EQ(untarProgressPosition(50, 0), std::nullopt);
    EXPECT_EQ(untarProgressPosition(50, -3), std::nullopt);
    EXPECT_EQ(untarProgressPosition(0, 400), 100);
    EXPECT_EQ(untarProgressPosition(199, 400), 149);
    EXPECT_EQ(untarProgressPosition(400, 400), 200);
    EXPECT_EQ(untarProgressPosition(INT64_MAX, 1), 200);
}

TEST_F(TarArchive, RuntimeTreeWithLongNameAndSkippedMembers)
{
    const std::string bigData(70000, 'x');
    const std::string longName = std::string(150, 'n') + "/deep/File.class";
    TestTar tar;
    // "./" first, as "tar -C dir -czf file ." writes it: the target itself, nothing to make.
    tar.directory("./").directory("bin/").file("bin/java.dll", bigData).member("bin/link", '2').member("old", '\0', "skipped data");
    tar.longFile(longName, "long").file("./readme", std::string(512, 'r')).end();
    ASSERT_TRUE(untar(tar.gzipped()));
    EXPECT_EQ(out_.created, (std::vector<std::string>{"bin\\\\", "bin\\java.dll", longName, ".\\readme"}));
    EXPECT_EQ(out_.files["bin\\java.dll"], bigData);
    EXPECT_EQ(out_.files[longName], "long");
    EXPECT_TRUE(hasLine("extracting bin\\java.dll (size 70000)"));
    EXPECT_TRUE(hasLine("extracting " + longName + " (size 4)"));
}

TEST_F(TarArchive, EndsOfTheArchive)
{
    // Directories only: at the end blocks nothing was written.
    EXPECT_FALSE(untar(TestTar().directory("a").directory("b").end().gzipped()));
    EXPECT_TRUE(hasLine("ERROR: no magic number"));
    // No end blocks after a file: the end of the data ends the archive, the file intact.
    const std::string data(1000, 'd');
    EXPECT_TRUE(untar(TestTar().file("f", data).gzipped()));
    EXPECT_EQ(out_.files["f"], data);
    EXPECT_EQ(out_.created.size(), 3u);
    logged().clear();
    EXPECT_FALSE(untar(TestTar::gzip("")));
    EXPECT_TRUE(hasLine("ERROR: unexpected eof"));
    // A damaged header is no end of the archive, even after a file.
    TestTar damaged;
    damaged.file("f", "x").member("g", '0', "y", nullptr, false);
    EXPECT_FALSE(untar(damaged.gzipped()));
    EXPECT_TRUE(hasLine("ERROR: no magic number"));
}

TEST_F(TarArchive, UnsafeNamesAreRefusedBeforeAnythingIsCreated)
{
    for (const std::string name : {"../evil", "jre/../../evil", "/abs", "C:/x", "C:x", "a/b:s", "./"}) {
        for (const char type : {'0', '5'}) {
            // A directory "./" is the target itself.
            if (name == std::string("./") && type == '5')
                continue;
            SCOPED_TRACE(name + " type " + type);
            out_ = {};
            logged().clear();
            TestTar tar;
            tar.file("ok", "1").member(name, type, type == '0' ? "evil" : "").file("after", "2").end();
            EXPECT_FALSE(untar(tar.gzipped()));
            EXPECT_EQ(out_.created, std::vector<std::string>{"ok"});
            std::string shown = name;
            std::replace(shown.begin(), shown.end(), '/', '\\');
            EXPECT_EQ(logged().back(), "ERROR: illegal member name " + shown);
        }
    }
    out_ = {};
    EXPECT_FALSE(untar(TestTar().file("ok", "1").longFile("../../x", "evil").end().gzipped()));
    EXPECT_EQ(out_.created, std::vector<std::string>{"ok"});
    EXPECT_TRUE(hasLine("ERROR: illegal member name ../../x"));
}

TEST_F(TarArchive, TruncatedArchivesEndAtOnce)
{
    TestTar tar;
    tar.file("first", "1").longFile(std::string(600, 'L'), "data").file("last", std::string(2000, 'z')).end();
    const std::string& bytes = tar.bytes();
    const std::pair<size_t, const char*> cuts[] = {
        {1024 + 100, "gzread failed"},                            // inside the long-name header
        {1024 + 512 + 300, "gzread failed for long file name"},   // inside the long name
        {1024 + 2048 + 512 + 300, "gzread failed"},               // inside the header of "last"
        {bytes.size() - 1024 - 1000, "sizes don't match: 1048, 2000"}, // inside the data of "last"
    };
    for (const auto& [cut, line] : cuts) {
        SCOPED_TRACE(line);
        logged().clear();
        EXPECT_FALSE(untar(TestTar::gzip(bytes.substr(0, cut))));
        EXPECT_TRUE(hasLine(line));
    }
}

TEST_F(TarArchive, DamageOutsideTheMembersFails)
{
    const std::string good = TestTar().file("f", std::string(100000, 'q')).end().gzipped();
    EXPECT_TRUE(untar(good));
    for (const size_t back : {1u, 5u}) { // the length and the CRC-32 of the trailer
        std::string flipped = good;
        flipped[flipped.size() - back] ^= 0x20;
        EXPECT_FALSE(untar(flipped));
    }
    EXPECT_FALSE(untar(good.substr(0, good.size() - 3))); // cut inside the trailer
    EXPECT_TRUE(hasLine("stream error"));

    const std::pair<TestTar, const char*> bad[] = {
        {TestTar().member("f", '0', "x", "00000000009\0"), "ERROR: invalid size field"},
        {TestTar().member("././@LongLink", 'L', std::string(6000, 'a')).file("f", "x"), "ERROR: long file name too long"},
    };
    for (const auto& [tar, line] : bad) {
        logged().clear();
        EXPECT_FALSE(untar(TestTar(tar).end().gzipped()));
        EXPECT_TRUE(hasLine(line));
    }
    out_.writeLimit = 10;
    logged().clear();
    EXPECT_FALSE(untar(TestTar().file("f", std::string(40, 'w')).end().gzipped()));
    EXPECT_TRUE(hasLine("sizes don't match: 10, 40"));
    EXPECT_TRUE(hasLine("extract file failed"));
}

} // namespace
