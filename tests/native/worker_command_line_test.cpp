#include "servicelauncher/worker_command_line.h"

#include <gtest/gtest.h>

#include "launchcore/command_line.h"
#include "launchcore/text.h"

namespace {

using Args = std::vector<std::u16string>;

std::string show(const Args& args)
{
    std::string out = "[";
    for (size_t i = 0; i < args.size(); ++i)
        out += (i ? "|" : "") + toUtf8(args[i]);
    return out + "]";
}

Args split(const std::u16string& text)
{
    Args args;
    splitCommandLine(text, args);
    return args;
}

// The worker splits its command line with the launcher's own splitter; whatever the
// supervisor builds must come back piece for piece, with the marker last.
TEST(WorkerCommandLine, RoundTripsThroughTheSplitter)
{
    struct Case {
        const char* name;
        Args process;
        std::u16string service;
        Args start;
        std::u16string text;   // expected text; empty: only the round trip is checked
        Args worker;           // what the worker's splitter gives back
    };
    const Case cases[] = {
        {"plain", {u"C:\\svc\\svc.exe"}, u"Svc", {u"Svc"}, u"C:\\svc\\svc.exe Svc __sldk_restart",
         {u"C:\\svc\\svc.exe", u"Svc", u"__sldk_restart"}},
        {"blanks in path and name", {u"C:\\Program Files\\My App\\svc.exe"}, u"My Service", {u"My Service"},
         u"\"C:\\Program Files\\My App\\svc.exe\" \"My Service\" __sldk_restart",
         {u"C:\\Program Files\\My App\\svc.exe", u"My Service", u"__sldk_restart"}},
        // An unquoted apostrophe would open a quoted part running to the end of the line.
        {"apostrophe in the path", {u"C:\\Users\\O'Neil\\svc.exe"}, u"Svc", {u"Svc"},
         u"\"C:\\Users\\O'Neil\\svc.exe\" Svc __sldk_restart",
         {u"C:\\Users\\O'Neil\\svc.exe", u"Svc", u"__sldk_restart"}},
        {"blank and apostrophe together", {u"C:\\Dir O'Brien\\svc.exe"}, u"It's a service", {u"It's a service", u"x'y"},
         u"\"C:\\Dir O'Brien\\svc.exe\" \"It's a service\" \"x'y\" __sldk_restart",
         {u"C:\\Dir O'Brien\\svc.exe", u"It's a service", u"x'y", u"__sldk_restart"}},
        {"further process elements then start arguments", {u"svc.exe", u"-a", u"b c"}, u"Svc",
         {u"Svc", u"first", u"second arg"}, u"svc.exe Svc -a \"b c\" first \"second arg\" __sldk_restart",
         {u"svc.exe", u"Svc", u"-a", u"b c", u"first", u"second arg", u"__sldk_restart"}},
        // The first start argument is the service name the manager passes, not a user argument.
        {"no start arguments at all", {u"svc.exe"}, u"unknown", {}, u"svc.exe unknown __sldk_restart",
         {u"svc.exe", u"unknown", u"__sldk_restart"}},
        {"empty start argument is kept", {u"svc.exe"}, u"Svc", {u"Svc", u"", u"z"}, u"svc.exe Svc \"\" z __sldk_restart",
         {u"svc.exe", u"Svc", u"", u"z", u"__sldk_restart"}},
        {"tabs and non-ASCII need no quotes", {u"C:\\D\u00e9j\u00e0\\svc.exe"}, u"S\tvc", {u"S\tvc", u"\u65e5\u672c"},
         u"C:\\D\u00e9j\u00e0\\svc.exe S\tvc \u65e5\u672c __sldk_restart",
         {u"C:\\D\u00e9j\u00e0\\svc.exe", u"S\tvc", u"\u65e5\u672c", u"__sldk_restart"}},
        {"marker given as a start argument stays a plain argument", {u"svc.exe"}, u"Svc", {u"Svc", u"__sldk_restart"},
         u"", {u"svc.exe", u"Svc", u"__sldk_restart", u"__sldk_restart"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WorkerCommandLine line = buildWorkerCommandLine(c.process, c.service, c.start);
        ASSERT_EQ(line.problem, WorkerCommandLineProblem::None);
        if (!c.text.empty())
            EXPECT_EQ(toUtf8(line.text), toUtf8(c.text));
        EXPECT_EQ(show(split(line.text)), show(c.worker));
    }
}

TEST(WorkerCommandLine, RefusesWhatCannotBePassed)
{
    struct Case {
        const char* name;
        Args process;
        std::u16string service;
        Args start;
        WorkerCommandLineProblem problem;
        std::u16string offending;
    };
    const Case cases[] = {
        {"double quote in a start argument", {u"svc.exe"}, u"Svc", {u"Svc", u"say \"hi\""},
         WorkerCommandLineProblem::UnquotablePiece, u"say \"hi\""},
        {"double quote in the service name", {u"svc.exe"}, u"S\"vc", {u"S\"vc"}, WorkerCommandLineProblem::UnquotablePiece,
         u"S\"vc"},
        {"double quote in a process element", {u"svc.exe", u"a\"b"}, u"Svc", {}, WorkerCommandLineProblem::UnquotablePiece,
         u"a\"b"},
        // The first start argument is never used, so its quote does not matter.
        {"double quote in the skipped first start argument", {u"svc.exe"}, u"Svc", {u"S\"vc"},
         WorkerCommandLineProblem::None, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WorkerCommandLine line = buildWorkerCommandLine(c.process, c.service, c.start);
        EXPECT_EQ(line.problem, c.problem);
        EXPECT_EQ(toUtf8(line.offendingPiece), toUtf8(c.offending));
        if (c.problem != WorkerCommandLineProblem::None)
            EXPECT_TRUE(line.text.empty());
    }
}

// "a S <filler> __sldk_restart" is 19 characters plus the filler; the buffer holds 11999
// characters and the terminator.
TEST(WorkerCommandLine, TwelveThousandCharacterLimit)
{
    struct Case {
        size_t filler;
        bool quoted; // a blank in the filler adds two quotes
        WorkerCommandLineProblem problem;
    };
    const Case cases[] = {
        {11980, false, WorkerCommandLineProblem::None},
        {11981, false, WorkerCommandLineProblem::TooLong},
        {11978, true, WorkerCommandLineProblem::None},
        {11979, true, WorkerCommandLineProblem::TooLong},
        {100000, false, WorkerCommandLineProblem::TooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.filler) + (c.quoted ? " quoted" : ""));
        std::u16string filler(c.filler, u'x');
        if (c.quoted)
            filler[0] = u' ';
        const WorkerCommandLine line = buildWorkerCommandLine({u"a"}, u"S", {u"S", filler});
        EXPECT_EQ(line.problem, c.problem);
        if (c.problem == WorkerCommandLineProblem::None) {
            EXPECT_EQ(line.text.size(), kWorkerCommandLineCapacity - 1);
            const Args worker = split(line.text);
            ASSERT_EQ(worker.size(), 4u);
            EXPECT_EQ(worker[2], filler);
            EXPECT_EQ(worker.back(), u"__sldk_restart");
        } else {
            EXPECT_TRUE(line.text.empty());
        }
    }
}

} // namespace
