// One download attempt in-process against the loopback server: what is kept of a good
// body, and that every kind of bad answer fails the attempt, says why in the log and leaves
// no file behind at once (the launcher scenarios see only the end of the run).
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

    std::string wrongDigest = sldkpack::sha256Hex(good.data(), good.size());
    wrongDigest[3] = wrongDigest[3] == '0' ? '1' : '0';
    const struct {
        const char* path;
        bool succeeds;
        const char* logged;
        std::string kept;
        std::string checksum = ""; // entry 2004
    } cases[] = {
        {"/good", true, "download successful", good},
        {"/trickle", true, "download successful", *trickle.body},
        {"/missing", false, "HTTP status 404", ""},
        {"/error", false, "HTTP status 500", ""},
        {"/empty", false, "empty download", ""},
        {"/cut", false, "InternetReadFile returned no data (", ""},
        {"/longer", false, "InternetReadFile returned no data (", ""},
        {"/nothing-here", false, "HTTP status 404", ""},
        {"/good", false, "download checksum mismatch", "", wrongDigest},
        // A malformed entry is logged and ignored rather than failing every installer.
        {"/good", true, "download checksum ignored", good, "not-a-digest"},
    };
    LogReader log;
    log.next();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.checksum);
        installConfiguration({{2004, c.checksum}}, {});
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
    installConfiguration({}, {});
}
