// The included runtime archive: written by sldkpack, read back by the installer's own reader.
#include "tools/sldkpack/cli/cli.h"
#include "tools/sldkpack/synthetic_pe.h"

#include "launchcore/appended_data_format.h"
#include "launchcore/crc32.h"
#include "setuplauncher/tar_archive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

using namespace sldkpack;
namespace fs = std::filesystem;

namespace {

struct Result {
    int code;
    std::string out, err;
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

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the reader hands out, by path as it gives them (short names with "\\", long ones with
// "/"): directories (their names end in a separator) and files with their contents.
struct Recorder final : TarOutput {
    std::map<std::string, std::string> entries;
    std::string* open = nullptr;
    void makeDirectory(const std::string& path) override { entries[path]; }
    bool openFile(const std::string& path) override {
        open = &entries[path];
        return true;
    }
    size_t writeFile(const char* data, size_t size) override {
        open->append(data, size);
        return size;
    }
    void closeFile() override {}
    void reportPosition(int64_t, bool) override {}
};

// Untars gzip bytes with the launcher's reader; the uncompressed length read, -1 on failure.
int64_t untar(const std::vector<uint8_t>& gzip, const fs::path& scratch, Recorder& recorder) {
    writeFile(scratch, std::string(gzip.begin(), gzip.end()));
    TarStream stream;
    const bool ok = stream.open(scratch.string()) && extractTarMembers(stream, recorder);
    return ok ? stream.position() : -1;
}

class SldkpackRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("sldkpack_runtime_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        const auto stub = syntheticPe({{0x400, 0x200}});
        writeFile(dir / "stub.exe", std::string(stub.begin(), stub.end()));
        writeFile(dir / "app.toml", "[config]\n107 = \"5\"\n[[file]]\nname = \"app.jar\"\npath = \"app.jar\"\n");
        writeFile(dir / "app.jar", "PK");
    }
    void TearDown() override { fs::remove_all(dir); }

    Result build(const fs::path& runtime, const std::string& outName = "setup.exe") {
        return run({"build", "--stub", (dir / "stub.exe").string(), "--config", (dir / "app.toml").string(),
                    "--runtime", runtime.string(), "--out", (dir / outName).string()});
    }

    fs::path dir;
};

} // namespace

// Names at the long-name boundary and at the reader's path limit keep their bytes; names the
// launcher would refuse or Windows would change are never written.
TEST(SldkpackRuntimeWriter, WritesEveryNameTheReaderTakesAndRefusesTheRest) {
    RuntimeArchiveWriter writer;
    writer.addDirectory("f");
    std::map<std::string, std::string> expected = {{"f\\", ""}};
    for (const size_t length : {99u, 100u, 101u, 5998u}) {
        const std::string name = "f/" + std::string(length - 2, 'n');
        writer.addFile(name, std::vector<uint8_t>(length, 'x'), false);
        expected[length < 100 ? "f\\" + name.substr(2) : name] = std::string(length, 'x');
    }
    for (const auto& [name, directory] : std::vector<std::pair<std::string, bool>>{
             {"", false}, {"../x", false}, {"a/../b", false}, {"/abs", false}, {"c:x", false}, {"a\\b", false},
             {"a//b", false}, {"./a", false}, {"a/", false}, {"dir.", true}, {"dir ", true}, {"a\x01", false},
             {"...", true}, {std::string(5999, 'n'), false}, {std::string(5998, 'n'), true}}) {
        SCOPED_TRACE(name.substr(0, 20));
        EXPECT_TRUE(refusedMemberName(name, directory));
        EXPECT_THROW(directory ? writer.addDirectory(name) : writer.addFile(name, {}, false), PackError);
    }
    const RuntimeArchive archive = writer.finish();
    EXPECT_EQ(5u, archive.memberCount);
    Recorder recorder;
    const fs::path scratch = fs::temp_directory_path() / ("sldkpack_writer_" + std::to_string(::getpid()));
    EXPECT_EQ(static_cast<int64_t>(archive.tarSize), untar(archive.bytes, scratch, recorder));
    fs::remove(scratch);
    EXPECT_EQ(expected, recorder.entries);
}

TEST(SldkpackRuntimeWriter, RefusesArchivesTheLauncherCannotTake) {
    RuntimeArchiveWriter onlyDirectories;
    onlyDirectories.addDirectory("bin");
    EXPECT_THROW(onlyDirectories.finish(), PackError);
    // Header, one data block and the end blocks fit 2048 bytes; a second data block does not.
    RuntimeArchiveWriter limited(2048);
    limited.addFile("a", std::vector<uint8_t>(512, 'a'), false);
    EXPECT_THROW(limited.addFile("b", {'b'}, false), PackError);
    EXPECT_EQ(2048u, limited.finish().tarSize);
}

// A runtime with a long path, an empty directory and an empty file: the launcher's reader
// gets the same tree back, entry 151 is the tar length, and the output does not vary.
TEST_F(SldkpackRuntime, TreeRoundTripsThroughTheLauncherReader) {
    const std::string deep = std::string(70, 'd') + "/" + std::string(70, 'e');
    writeFile(dir / "jre" / "bin" / "java.exe", std::string(1000, 'j'));
    writeFile(dir / "jre" / "bin" / "server" / "jvm.dll", std::string(512, 'v'));
    writeFile(dir / "jre" / deep / "long.txt", "long");
    writeFile(dir / "jre" / "zero", "");
    fs::create_directories(dir / "jre" / "empty");
    const Result built = build(dir / "jre");
    ASSERT_EQ(kExitOk, built.code) << built.err;
    ASSERT_EQ(kExitOk, build(dir / "jre", "again.exe").code);
    const auto image = readFile(dir / "setup.exe");
    EXPECT_EQ(image, readFile(dir / "again.exe"));

    MemoryByteSource source(image.data(), image.size());
    int64_t start = 0;
    AppendedRecord record;
    ASSERT_FALSE(seekAppendedData(source, start));
    ASSERT_FALSE(readAppendedRecord(source, record));
    std::vector<IncludedFileInfo> files;
    int64_t unextracted = 0;
    ASSERT_FALSE(listIncludedFiles(source, record, files, unextracted));
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ("app.jar;jre.tar.gz", record.config[2003]);
    std::vector<uint8_t> gzip(image.begin() + files[1].offset, image.begin() + files[1].offset + files[1].length);
    for (uint8_t& byte : gzip)
        byte ^= kPayloadScramble;

    Recorder recorder;
    const int64_t tarLength = untar(gzip, dir / "jre.tar.gz", recorder);
    EXPECT_EQ(std::to_string(tarLength), record.config[151]);
    const std::string d = std::string(70, 'd') + "\\", e = d.substr(0, 70) + "/" + std::string(70, 'e');
    const std::map<std::string, std::string> expected = {
        {"bin\\", ""}, {"bin\\java.exe", std::string(1000, 'j')}, {"bin\\server\\", ""},
        {"bin\\server\\jvm.dll", std::string(512, 'v')}, {d, ""}, {e + "/", ""}, {e + "/long.txt", "long"},
        {"empty\\", ""}, {"zero", ""}};
    EXPECT_EQ(expected, recorder.entries);

    const std::string line = "runtime-archive: " + std::to_string(gzip.size()) + " bytes, 9 members, " +
                             std::to_string(tarLength) + " bytes unpacked\n";
    EXPECT_NE(std::string::npos, built.out.find(line)) << built.out;
    const Result inspected = run({"inspect", (dir / "setup.exe").string()});
    EXPECT_EQ(kExitOk, inspected.code);
    EXPECT_NE(std::string::npos, inspected.out.find("file jre.tar.gz: " + std::to_string(gzip.size()) +
                                                    " bytes\n" + line)) << inspected.out;
    EXPECT_EQ(line + "ok\n", run({"verify", (dir / "setup.exe").string()}).out);
}

// A damaged archive under an intact CRC: what the installer would find at its untar.
TEST_F(SldkpackRuntime, VerifyAndInspectReportADamagedArchive) {
    std::string noise(5000, '\0');
    for (size_t i = 0, x = 1; i < noise.size(); ++i, x = x * 1103515245 + 12345)
        noise[i] = static_cast<char>(x >> 16);
    writeFile(dir / "jre" / "bin" / "java.exe", noise);
    ASSERT_EQ(kExitOk, build(dir / "jre").code);
    const auto good = readFile(dir / "setup.exe");
    constexpr size_t start = 0x600;
    const size_t coveredLength = good[start + 12] | good[start + 13] << 8;
    for (const auto& [what, fromEnd] : std::vector<std::pair<std::string, size_t>>{{"deflate data", 2000},
                                                                                   {"gzip trailer", 3}}) {
        SCOPED_TRACE(what);
        auto image = good;
        image[start + 20 + coveredLength - fromEnd] ^= 0x55; // the archive is the last covered file
        const uint32_t crc = crc32(image.data() + start + 20, coveredLength);
        for (int i = 0; i < 4; ++i)
            image[start + 8 + i] = static_cast<uint8_t>(crc >> (8 * i));
        writeFile(dir / "damaged.exe", std::string(image.begin(), image.end()));
        const Result verified = run({"verify", (dir / "damaged.exe").string()});
        EXPECT_EQ(kExitDamaged, verified.code);
        EXPECT_EQ(0u, verified.out.find("runtime archive jre.tar.gz is damaged: ")) << verified.out;
        const Result inspected = run({"inspect", (dir / "damaged.exe").string()});
        EXPECT_EQ(kExitDamaged, inspected.code);
        EXPECT_NE(std::string::npos, inspected.out.find("damaged: runtime archive jre.tar.gz: ")) << inspected.out;
    }
}

TEST_F(SldkpackRuntime, UnusableRuntimesExitTwoAndWriteNothing) {
    writeFile(dir / "plain.txt", "x");
    fs::create_directories(dir / "only-dirs" / "bin");
    writeFile(dir / "linked" / "bin" / "java.exe", "j");
    fs::create_symlink("java.exe", dir / "linked" / "bin" / "java");
    writeFile(dir / "cased" / "Java.exe", "j");
    writeFile(dir / "cased" / "java.exe", "j");
    writeFile(dir / "backslash" / "a\\b", "j");
    for (const auto& [runtime, message] : std::vector<std::pair<std::string, std::string>>{
             {"missing", "runtime directory '" + (dir / "missing").string() + "' does not exist"},
             {"plain.txt", "is not a directory"},
             {"only-dirs", "holds no regular file"},
             {"linked", "'bin/java' is a symbolic link"},
             {"cased", "differ only in case"},
             {"backslash", "a character that Windows does not allow"}}) {
        SCOPED_TRACE(runtime);
        const Result built = build(dir / runtime);
        EXPECT_EQ(kExitBadInput, built.code);
        EXPECT_NE(std::string::npos, built.err.find(message)) << built.err;
        EXPECT_FALSE(fs::exists(dir / "setup.exe"));
        EXPECT_FALSE(fs::exists(dir / "setup.exe.tmp"));
    }
    writeFile(dir / "app.toml", "[[file]]\nname = \"jre.tar.gz\"\npath = \"app.jar\"\n");
    EXPECT_NE(std::string::npos, build(dir / "linked").err.find("both give the runtime archive"));
}
