// One download attempt in-process against the loopback server: what is kept of a good
// body, and that every kind of bad answer fails the attempt, says why in the log and leaves
// no file behind.
#include "testing/loopback_http_server.h"
#include "testing/test_files.h"
#include "tools/sldkpack/sha256.h"

#include "launchcore/configuration.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "setuplauncher/windows/runtime_transfer.h"
#include "setuplauncher/windows/wininet_binding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string body(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return bytes;
}

// The log written since the last call.
class LogReader {
public:
    std::string next()
    {
        logLine(L"log reader mark");
        const std::string text = readTextFile(std::wstring(logPath()));
        const std::string fresh = text.substr(std::min(seen_, text.size()));
        seen_ = text.size();
        return fresh;
    }

private:
    size_t seen_ = 0;
};

int count(const std::string& text, const std::string& needle)
{
    int found = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++found;
    return found;
}

} // namespace

TEST(RuntimeDownloadUnit, AttemptKeepsOnlyAWholeGoodBody)
{
    installConfiguration({}, {});
    ASSERT_TRUE(bindWininet());
    LoopbackHttpServer server;
    ASSERT_TRUE(server.listening());
    TemporaryFolder folder("download");
    const std::string destination = folder / "jre.tar.gz";
    const std::string good = body(3 * 16384 + 100);

    HttpReply cut = replyWith(good);
    cut.closeAfter = static_cast<int64_t>(good.size() / 2);
    HttpReply longer = replyWith(good);
    longer.announcedLength = static_cast<int64_t>(good.size()) + 1000;
    HttpReply trickle = replyWith(body(3000));
    trickle.trickleDelayMs = 20;
    trickle.trickleBytes = 500;
    server.serve("/good", replyWith(good));
    server.serve("/missing", replyWith("<html>not here</html>", 404));
    server.serve("/error", replyWith(std::string(20000, 'e'), 500));
    server.serve("/empty", replyWith(""));
    server.serve("/cut", cut);
    server.serve("/longer", longer);
    server.serve("/trickle", trickle);

    const struct {
        const char* path;
        bool succeeds;
        const char* logged;
        std::string kept;
    } cases[] = {
        {"/good", true, "download successful", good},
        {"/trickle", true, "download successful", *trickle.body},
        {"/missing", false, "HTTP status 404", ""},
        {"/error", false, "HTTP status 500", ""},
        {"/empty", false, "empty download", ""},
        {"/cut", false, "InternetReadFile returned no data (", ""},
        {"/longer", false, "InternetReadFile returned no data (", ""},
        {"/nothing-here", false, "HTTP status 404", ""},
    };
    LogReader log;
    log.next();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(downloadOnce(nullptr, wide(server.url(c.path)), destination.c_str()), c.succeeds);
        const std::string lines = log.next();
        EXPECT_NE(lines.find(c.logged), std::string::npos) << lines;
        EXPECT_EQ(fileOrFolderExists(destination), c.succeeds);
        if (c.succeeds) {
            EXPECT_TRUE(readTextFile(destination) == c.kept) << "the file differs from the body";
        }
        DeleteFileA(destination.c_str());
    }
    EXPECT_EQ(server.requests("/cut"), 1);
}

// A response without a length is asked for twenty times, the URL opened again each time.
TEST(RuntimeDownloadUnit, AnswerWithoutLengthIsQueriedTwentyTimes)
{
    installConfiguration({}, {});
    ASSERT_TRUE(bindWininet());
    LoopbackHttpServer server;
    HttpReply unannounced = replyWith(body(5000));
    unannounced.sendLength = false;
    server.serve("/nolength", unannounced);
    TemporaryFolder folder("download");
    const std::string destination = folder / "jre.tar.gz";
    LogReader log;
    log.next();
    EXPECT_FALSE(downloadOnce(nullptr, wide(server.url("/nolength")), destination.c_str()));
    const std::string lines = log.next();
    EXPECT_EQ(count(lines, "HttpQueryInfo (try "), 20) << lines;
    EXPECT_NE(lines.find("HttpQueryInfo (try 20) failed"), std::string::npos);
    EXPECT_NE(lines.find("Giving up"), std::string::npos);
    EXPECT_EQ(server.requests("/nolength"), 20);
    EXPECT_FALSE(fileOrFolderExists(destination));
}

// Entry 2004: the right digest passes, any other fails after the whole body and leaves no
// file; a malformed entry is ignored (logged once) rather than failing every installer.
TEST(RuntimeDownloadUnit, ConfiguredChecksumDecidesOverTheWholeBody)
{
    ASSERT_TRUE(bindWininet());
    LoopbackHttpServer server;
    const std::string archive = body(100000);
    server.serve("/jre.tar.gz", replyWith(archive));
    TemporaryFolder folder("download");
    const std::string destination = folder / "jre.tar.gz";
    const std::string right = sldkpack::sha256Hex(archive.data(), archive.size());
    std::string wrong = right;
    wrong[10] = wrong[10] == '0' ? '1' : '0';
    const struct {
        std::string entry;
        bool succeeds;
        const char* logged;
    } cases[] = {
        {right, true, "download successful"},
        {wrong, false, "download checksum mismatch"},
        {"not-a-digest", true, "download checksum ignored"},
    };
    LogReader log;
    log.next();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        installConfiguration({{2004, c.entry}}, {});
        EXPECT_EQ(downloadOnce(nullptr, wide(server.url("/jre.tar.gz")), destination.c_str()), c.succeeds);
        const std::string lines = log.next();
        EXPECT_NE(lines.find(c.logged), std::string::npos) << lines;
        EXPECT_EQ(fileOrFolderExists(destination), c.succeeds);
        DeleteFileA(destination.c_str());
    }
    installConfiguration({}, {});
}

TEST(RuntimeDownloadUnit, UnwritableDestinationFailsBeforeReading)
{
    installConfiguration({}, {});
    ASSERT_TRUE(bindWininet());
    LoopbackHttpServer server;
    server.serve("/jre.tar.gz", replyWith(body(1000)));
    TemporaryFolder folder("download");
    LogReader log;
    log.next();
    // The folder itself is no file to write.
    EXPECT_FALSE(downloadOnce(nullptr, wide(server.url("/jre.tar.gz")), folder.path().c_str()));
    EXPECT_NE(log.next().find("opening the destination file " + folder.path() + " failed"), std::string::npos);
    EXPECT_TRUE(fileOrFolderExists(folder.path()));
}
