#include "tools/sldkpack/cli/cli.h"
#include "tools/sldkpack/sha256.h"
#include "tools/sldkpack/synthetic_pe.h"

#include "launchcore/appended_data_format.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace sldkpack;
namespace fs = std::filesystem;

namespace {

struct Result {
    int code;
    std::string out;
    std::string err;
};

Result run(std::vector<std::string> args) {
    args.insert(args.begin(), "sldkpack");
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    std::ostringstream out, err;
    const int code = sldkpackMain(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

void writeFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    writeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

AppendedRecord readBack(const std::vector<uint8_t>& image) {
    MemoryByteSource source(image.data(), image.size());
    int64_t start = 0;
    AppendedRecord record;
    EXPECT_FALSE(seekAppendedData(source, start));
    EXPECT_FALSE(readAppendedRecord(source, record));
    return record;
}

class SldkpackCli : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("sldkpack_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        stub = dir / "stub.exe";
        writeFile(stub, syntheticPe({{0x400, 0x200}}, {'o', 'l', 'd'}));
        out = dir / "out" / "app.exe";
        fs::create_directories(out.parent_path());
    }
    void TearDown() override { fs::remove_all(dir); }

    // Builds from TOML text written to project/app.toml; the working directory stays elsewhere
    // so relative paths only work when resolved against the TOML file's folder.
    Result build(const std::string& toml) {
        writeFile(dir / "project" / "app.toml", toml);
        return run({"build", "--stub", stub.string(), "--config", (dir / "project" / "app.toml").string(), "--out",
                    out.string()});
    }

    fs::path dir, stub, out;
};

} // namespace

TEST_F(SldkpackCli, BuildInspectVerifyRoundTrip) {
    writeFile(dir / "project" / "lib" / "sldkruntime.jar", std::string(1234, 'j'));
    writeFile(dir / "project" / "user.dll", std::string("\x01\x02", 2));
    writeFile(dir / "project" / "trailer.bin", std::string("\xE8\xE4\x13\xD5\0\0\0\0", 8));
    const Result built = build(R"(
integrity-check = true
[config]
101 = "MyService"
107 = "4"
main-class = "com.example.Main"
[messages]
1005 = "The JVM could not be started."
[messages.de]
1000 = "Fehler"
[[file]]
name = "sldkruntime.jar"
path = "lib/sldkruntime.jar"
[[file]]
name = 'user\x.dll'
path = "user.dll"
[trailer]
path = "trailer.bin"
)");
    ASSERT_EQ(kExitOk, built.code) << built.err;
    EXPECT_FALSE(fs::exists(out.string() + ".tmp"));

    const Result inspected = run({"inspect", out.string()});
    EXPECT_EQ(kExitOk, inspected.code) << inspected.out << inspected.err;
    const char* expectedLines[] = {
        "appended-data-offset: 1536\n",
        "magic: 0xE8E413D5\n",
        "integrity-check: 1\n",
        "config 101 (application-name) = \"MyService\"\n",
        "config 107 (application-kind) = \"4\"\n",
        "config 122 (main-class) = \"com.example.Main\"\n",
        "config 2002 (included-file-count) = \"2\"\n",
        "config 2003 (included-file-list) = \"sldkruntime.jar;user\\\\x.dll\"\n",
        "message 1000 = \"Error\"\n",
        "message 1005 = \"The JVM could not be started.\"\n",
        "message 1018 = \"The {0} environment variable does not\\npoint to a working 64-bit JDK or JRE.\"\n",
        "message 20017 = \"\"\n",
        "locale-block \"de\": 1 entries\n  message 1000 = \"Fehler\"\n",
        "file sldkruntime.jar: 1234 bytes\n",
        "file user\\x.dll: 2 bytes\n",
        "trailer: 8 bytes\n",
    };
    for (const char* line : expectedLines)
        EXPECT_NE(std::string::npos, inspected.out.find(line)) << line << "\n--- in ---\n" << inspected.out;
    EXPECT_NE(std::string::npos, inspected.out.find(" (ok)\n")) << inspected.out;

    const auto image = readFile(out);
    const auto record = readBack(image);
    EXPECT_EQ(1u, record.header.integrityFlag);
    std::vector<IncludedFileInfo> files;
    int64_t unextracted = 0;
    MemoryByteSource source(image.data(), image.size());
    ASSERT_FALSE(listIncludedFiles(source, record, files, unextracted));
    EXPECT_NE(std::string::npos, inspected.out.find("unextracted-position: " + std::to_string(unextracted) + "\n"));
    EXPECT_EQ(0xE8, image[unextracted]);

    const Result verified = run({"verify", out.string()});
    EXPECT_EQ(kExitOk, verified.code);
    EXPECT_EQ("ok\n", verified.out);
}

TEST_F(SldkpackCli, VerifyAndInspectReportDamage) {
    writeFile(dir / "project" / "t.bin", std::string(100, 't'));
    ASSERT_EQ(kExitOk, build("[config]\n101 = \"Svc\"\n[trailer]\npath = \"t.bin\"\n").code);
    const auto good = readFile(out);
    constexpr size_t start = 0x600;
    const size_t coveredEnd = start + 20 + (good[start + 12] | good[start + 13] << 8);
    ASSERT_LT(coveredEnd, good.size()) << "the case needs padding";

    struct Case {
        const char* what;
        size_t offset; // byte to change
        uint8_t xorWith;
        size_t truncateTo; // 0: keep the length
        int expectedCode;
        const char* verifyText;
        const char* inspectText;
    };
    const Case cases[] = {
        {"intact", 0, 0, 0, kExitOk, "ok\n", " (ok)\n"},
        {"byte in the record", start + 30, 0x01, 0, kExitDamaged, "crc mismatch: stored 0x", " (MISMATCH)\n"},
        {"last covered byte", coveredEnd - 1, 0x80, 0, kExitDamaged, "crc mismatch", " (MISMATCH)\n"},
        {"stored checksum", start + 8, 0xFF, 0, kExitDamaged, "crc mismatch", " (MISMATCH)\n"},
        {"padding is not covered", good.size() - 1, 0x55, 0, kExitOk, "ok\n", " (ok)\n"},
        {"covered length one longer", start + 12, 0x00, 0, kExitDamaged, "crc mismatch", " (MISMATCH)\n"},
        {"covered length past the end", start + 15, 0x01, 0, kExitDamaged, "runs past the end of the file",
         "(runs past the end of the file)"},
        {"wrong magic", start, 0xFF, 0, kExitDamaged, "wrong magic 0xE8E4132A", "magic: 0xE8E4132A (wrong)\n"},
        {"cut inside the header", 0, 0, start + 10, kExitDamaged, "no appended data", "no appended data header"},
        {"cut inside the trailer", 0, 0, coveredEnd - 5, kExitDamaged, "runs past the end", "(MISMATCH)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto image = good;
        image[c.offset] ^= c.xorWith;
        if (std::string(c.what) == "covered length one longer")
            image[start + 12] += 1;
        if (c.truncateTo)
            image.resize(c.truncateTo);
        const fs::path damaged = dir / "damaged.exe";
        writeFile(damaged, image);
        const Result verified = run({"verify", damaged.string()});
        EXPECT_EQ(c.expectedCode, verified.code);
        EXPECT_NE(std::string::npos, verified.out.find(c.verifyText)) << verified.out;
        const Result inspected = run({"inspect", damaged.string()});
        EXPECT_EQ(c.expectedCode, inspected.code);
        EXPECT_NE(std::string::npos, inspected.out.find(c.inspectText)) << inspected.out;
    }
}

TEST_F(SldkpackCli, ValuesBecomeLauncherText) {
    const Result built = build(R"(
[config]
102 = true
104 = false
107 = 4
10200 = -3
141 = "kept"
application-name = "Caf\u00e9 \u20ac"
main-class = ""
)");
    ASSERT_EQ(kExitOk, built.code) << built.err;
    const auto record = readBack(readFile(out));
    const std::map<int32_t, std::string> expected = {
        {101, "Caf\xE9 \x80"}, {102, "1"}, {104, "0"}, {107, "4"}, {122, ""}, {141, "kept"}, {10200, "-3"},
    };
    EXPECT_EQ(expected, record.config);
    EXPECT_EQ(0u, record.header.integrityFlag);
}

TEST_F(SldkpackCli, LocaleBlocksKeepFileOrderAndMessagesStayUnicode) {
    const Result built = build(R"(
[messages]
1000 = "Fehler \u00fc \u4e2d"
[messages.fr]
1000 = "Erreur"
[messages.de_AT]
1000 = "Oida"
[messages.de]
1000 = "Fehler"
1001 = "a"
)");
    ASSERT_EQ(kExitOk, built.code) << built.err;
    const auto record = readBack(readFile(out));
    ASSERT_EQ(3u, record.localeBlocks.size());
    EXPECT_EQ("fr", record.localeBlocks[0].key);
    EXPECT_EQ("de_AT", record.localeBlocks[1].key);
    EXPECT_EQ("de", record.localeBlocks[2].key);
    EXPECT_EQ(u"Fehler \u00fc \u4e2d", record.messages.at(1000));
    EXPECT_EQ(41u, record.messages.size());
    // "de" comes last in the file, so it wins over "de_AT" for a de_AT user.
    EXPECT_EQ(u"Fehler", messagesForLocale(record, "de_AT").at(1000));

    const Result inspected = run({"inspect", out.string()});
    EXPECT_NE(std::string::npos, inspected.out.find("message 1000 = \"Fehler \\u00FC \\u4E2D\"\n")) << inspected.out;
}

TEST_F(SldkpackCli, ExplicitPayloadEntriesOverrideTheFiles) {
    writeFile(dir / "project" / "a.jar", std::string("abc"));
    const Result built = build(R"(
[config]
included-file-count = 3
2003 = "a.jar;missing.jar"
[[file]]
name = "a.jar"
path = "a.jar"
)");
    ASSERT_EQ(kExitOk, built.code) << built.err;
    const auto record = readBack(readFile(out));
    EXPECT_EQ("3", record.config.at(2002));
    EXPECT_EQ("a.jar;missing.jar", record.config.at(2003));
    // The record now promises a file that is not there: inspect says so instead of inventing it.
    const Result inspected = run({"inspect", out.string()});
    EXPECT_EQ(kExitDamaged, inspected.code) << inspected.out;
    EXPECT_NE(std::string::npos, inspected.out.find("file a.jar: 3 bytes\n")) << inspected.out;
    EXPECT_NE(std::string::npos, inspected.out.find("damaged: included files")) << inspected.out;
}

TEST_F(SldkpackCli, BadInputFailsWithExitTwoAndWritesNothing) {
    struct Case {
        const char* what;
        std::string toml;
        std::string expectedMessage;
    };
    const std::vector<Case> cases = {
        {"unknown friendly name", "[config]\nmain-klass = \"x\"\n", "unknown configuration name 'main-klass'"},
        {"non-numeric id", "[config]\n12a = \"x\"\n", "configuration id '12a' is not a number"},
        {"negative id", "[config]\n-5 = \"x\"\n", "configuration id '-5' is not a number"},
        {"id beyond 32 bits", "[config]\n4294967397 = \"x\"\n", "'4294967397' is not a number"},
        {"non-numeric message id", "[messages]\nerror = \"x\"\n", "message id 'error' is not a number"},
        {"entry given twice", "[config]\n122 = \"a\"\nmain-class = \"b\"\n", "configuration entry 122 is given twice"},
        {"float value", "[config]\n107 = 4.5\n", "configuration entry 107 must be a string, an integer or a boolean"},
        {"unrepresentable text", "[config]\n101 = \"\u4e2d\"\n", "configuration entry 101 has characters that Windows-1252 cannot represent"},
        {"message not a string", "[messages]\n1000 = 5\n", "message 1000 must be a string"},
        {"missing file path", "[[file]]\nname = \"a.jar\"\npath = \"lib/none.jar\"\n", "cannot read included file 'a.jar'"},
        {"file without path", "[[file]]\nname = \"a.jar\"\n", "has no 'path'"},
        {"file name with separator", "[[file]]\nname = \"a;b\"\npath = \"app.toml\"\n", "contains ';'"},
        {"file name twice", "[[file]]\nname = \"a\"\npath = \"app.toml\"\n[[file]]\nname = \"a\"\npath = \"app.toml\"\n", "used twice"},
        {"missing trailer", "[trailer]\npath = \"nothing.bin\"\n", "cannot read trailer"},
        {"unknown top-level key", "integrity_check = true\n", "unknown key 'integrity_check'"},
        {"broken TOML", "[config\n", "is not valid TOML"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Result result = build(c.toml);
        EXPECT_EQ(kExitBadInput, result.code);
        EXPECT_NE(std::string::npos, result.err.find(c.expectedMessage)) << result.err;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(out.string() + ".tmp"));
    }
}

TEST_F(SldkpackCli, BadStubOrArgumentsFailWithExitTwo) {
    writeFile(dir / "app.toml", std::string("[config]\n101 = \"x\"\n"));
    writeFile(dir / "text.exe", std::string("just some text, long enough to hold a DOS header but not one.........."));
    auto pe = syntheticPe({{0x400, 0x200}});
    pe[0x80] = 'N';
    writeFile(dir / "nope.exe", pe);
    // A certificate table named by the security directory (the fifth data directory).
    auto signedPe = syntheticPe({{0x400, 0x200}}, std::vector<uint8_t>(0x18, 0));
    const uint32_t directories = 0x80 + 24 + 108;
    signedPe[directories] = 16;
    signedPe[directories + 4 + 4 * 8 + 1] = 0x06;
    signedPe[directories + 4 + 4 * 8 + 4] = 0x18;
    writeFile(dir / "signed.exe", signedPe);
    const std::string toml = (dir / "app.toml").string();
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string expectedMessage;
    };
    const std::vector<Case> cases = {
        {"unreadable stub", {"build", "--stub", (dir / "absent.exe").string(), "--config", toml, "--out", out.string()}, "cannot read stub"},
        {"stub is a directory", {"build", "--stub", dir.string(), "--config", toml, "--out", out.string()}, "cannot read stub"},
        {"stub without MZ", {"build", "--stub", (dir / "text.exe").string(), "--config", toml, "--out", out.string()}, "is not a PE file"},
        {"stub without PE signature", {"build", "--stub", (dir / "nope.exe").string(), "--config", toml, "--out", out.string()}, "is not a PE file"},
        {"signed stub", {"build", "--stub", (dir / "signed.exe").string(), "--config", toml, "--out", out.string()}, "sign the launcher after packing, not the stub"},
        {"unreadable config", {"build", "--stub", stub.string(), "--config", (dir / "absent.toml").string(), "--out", out.string()}, "cannot read configuration"},
        {"no --out", {"build", "--stub", stub.string(), "--config", toml}, "--out"},
        {"no command", {}, "subcommand"},
        {"unknown command", {"pack", "x"}, "unknown command 'pack'"},
        {"inspect without file", {"inspect"}, "launcher"},
        {"inspect of a missing file", {"inspect", (dir / "absent.exe").string()}, "cannot read launcher"},
        {"verify of a missing file", {"verify", (dir / "absent.exe").string()}, "cannot read launcher"},
        {"verify of a non-PE file", {"verify", (dir / "text.exe").string()}, "is not a PE file"},
        {"inspect of a non-PE file", {"inspect", (dir / "nope.exe").string()}, "is not a PE file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Result result = run(c.args);
        EXPECT_EQ(kExitBadInput, result.code);
        EXPECT_NE(std::string::npos, result.err.find(c.expectedMessage)) << result.err;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST(SldkpackWindows1252, ConvertsWhatTheCodePageHoldsAndRefusesTheRest) {
    struct Case {
        const char* utf8;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"plain ASCII ~", std::string("plain ASCII ~")},
        {"", std::string()},
        {"\xC3\xA9\xC3\xBF\xC2\xA0", std::string("\xE9\xFF\xA0")},
        {"\xE2\x82\xAC \xE2\x80\x9C\xE2\x80\x9D \xC5\xB8", std::string("\x80 \x93\x94 \x9F")},
        {"\xC2\x81", std::nullopt},          // a C1 control that the code page leaves undefined
        {"\xE4\xB8\xAD", std::nullopt},      // CJK
        {"\xF0\x9F\x98\x80", std::nullopt},  // outside the BMP
        {"\xFF\xFE", std::nullopt},          // not UTF-8
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, utf8ToWindows1252(c.utf8)) << c.utf8;
}

// Entry 2004 is the SHA-256 of the archive at the download URL: refused at packaging time
// unless it is 64 hexadecimal digits, and computed from a local copy with --download-archive.
TEST_F(SldkpackCli, DownloadChecksumIsCheckedOrComputedFromTheArchive) {
    const std::string archive(70000, 'r');
    writeFile(dir / "jre.tar.gz", archive);
    const std::string digest = sha256Hex(archive.data(), archive.size());
    const std::string withUrl = "[config]\nruntime-download-url = \"http://example.invalid/jre.tar.gz\"\n";
    const auto buildWith = [&](const std::string& toml, std::vector<std::string> extra) {
        writeFile(dir / "project" / "app.toml", toml);
        std::vector<std::string> args = {"build", "--stub", stub.string(), "--config",
                                         (dir / "project" / "app.toml").string(), "--out", out.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    };

    for (const std::string& bad : {std::string("abc"), digest + "0", digest.substr(0, 63) + "z"}) {
        SCOPED_TRACE(bad);
        const Result refused = buildWith(withUrl + "2004 = \"" + bad + "\"\n", {});
        EXPECT_EQ(kExitBadInput, refused.code);
        EXPECT_NE(std::string::npos, refused.err.find("must be 64 hexadecimal digits")) << refused.err;
        EXPECT_FALSE(fs::exists(out));
    }
    const Result noUrl = buildWith("[config]\n101 = \"x\"\n", {"--download-archive", (dir / "jre.tar.gz").string()});
    EXPECT_EQ(kExitBadInput, noUrl.code);
    EXPECT_NE(std::string::npos, noUrl.err.find("needs a runtime-download-url")) << noUrl.err;
    const Result differs = buildWith(withUrl + "runtime-download-sha256 = \"" + std::string(64, 'a') + "\"\n",
                                     {"--download-archive", (dir / "jre.tar.gz").string()});
    EXPECT_EQ(kExitBadInput, differs.code);
    EXPECT_NE(std::string::npos, differs.err.find("does not match")) << differs.err;
    EXPECT_FALSE(fs::exists(out));

    std::string upper = digest;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const Result given = buildWith(withUrl + "2004 = \"" + upper + "\"\n", {});
    ASSERT_EQ(kExitOk, given.code) << given.err;
    EXPECT_EQ(readBack(readFile(out)).config[2004], upper);
    const Result computed = buildWith(withUrl + "2004 = \"" + upper + "\"\n",
                                      {"--download-archive", (dir / "jre.tar.gz").string()});
    ASSERT_EQ(kExitOk, computed.code) << computed.err;
    EXPECT_EQ(readBack(readFile(out)).config[2004], digest);
    const Result empty = buildWith(withUrl + "2004 = \"\"\n", {});
    ASSERT_EQ(kExitOk, empty.code) << empty.err;
    EXPECT_EQ(readBack(readFile(out)).config[2004], "");
}
