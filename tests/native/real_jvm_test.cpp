// The launcher's JNI steps against the real Java VM of the build machine, with -Xcheck:jni.
// Each scenario runs in its own probe process, because a process can create only one VM.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

struct ProbeRun {
    int exitCode = -1;
    Lines output; // probe log lines and everything the VM printed
    Lines trace;  // what the Java side recorded
};

Lines splitLines(const std::string& text)
{
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

#ifdef SLDK_REAL_JVM_PROBE
ProbeRun runProbe(const std::string& scenario)
{
    ProbeRun run;
    char traceTemplate[] = "/tmp/sldk_real_jvm_XXXXXX";
    const int fd = mkstemp(traceTemplate);
    if (fd < 0)
        return run;
    close(fd);
    const std::string command = std::string("'") + SLDK_REAL_JVM_PROBE + "' '" + SLDK_REAL_JVM_LIBRARY + "' '" +
                                SLDK_REAL_JVM_CLASSES + "' '" + traceTemplate + "' " + scenario + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output = splitLines(output);
    std::ifstream trace(traceTemplate, std::ios::binary);
    std::stringstream content;
    content << trace.rdbuf();
    run.trace = splitLines(content.str());
    unlink(traceTemplate);
    return run;
}
#endif

// Each expected line must appear, in this order (others may lie between).
void expectInOrder(const Lines& actual, const Lines& expected)
{
    size_t position = 0;
    for (const std::string& line : expected) {
        size_t found = position;
        while (found < actual.size() && actual[found] != line)
            ++found;
        ASSERT_LT(found, actual.size()) << "missing or out of order: " << line;
        position = found + 1;
    }
}

bool contains(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

const Lines launcherArgumentsSeen = {
    "arg 0=true",
    "arg 1=com.example.App",
    "arg 2=C:\\logs\\error.log",
    "arg 3=",
    "arg 4=false",
    "arg 5=launcher.exe",
    "arg 6=--mode",
    "arg 7=two words",
    "arg 8=Gr\u00fc\u00dfe \u20ac",
    "arg 9=last",
};

const Lines propertiesSeen = {
    "property vexon.semaphoreName=Local\\sldk_probe",
    "property vexon.moduleName=C:\\\u041f\u0440\u043e\u0433\\launcher.exe",
    "property sun.java.command=C:\\apps\\probe\\launcher.exe",
    "property vexon.tempDir=C:\\temp\\sldkx_1.tmp",
    "property vexon.unextractedPosition=3221225472",
    "property vexon.consoleCodepage=cp850",
    "library path C:\\jre\\bin;C:\\apps\\probe\\lib",
    "WinDel C:\\\u041f\u0440\u043e\u0433\\setup.exe",
};

TEST(RealJvm, LauncherStepsAgainstTheRealVm)
{
#ifndef SLDK_REAL_JVM_PROBE
    GTEST_SKIP() << "no JDK was found when the build was configured: the real-VM check did not run";
#else
    struct Case {
        const char* scenario;
        int mainResult; // MainResult as a number
        Lines log;      // probe output lines, in order
        Lines trace;    // Java-side trace lines, in order
        Lines absentTrace;
    };
    const std::string splash =
        "splash true true [] 20 20 [0,0,0] 8 500 [Version 1.2 \u00a9 2024] 20 40 [0,0,0] 8 500";
    Lines sealdeckTrace{splash, "initFromLauncher true", "main sealdeck 10"};
    sealdeckTrace.insert(sealdeckTrace.end(), launcherArgumentsSeen.begin(), launcherArgumentsSeen.end());
    sealdeckTrace.push_back("property vexon.isSealdeck=true");
    Lines vexonTrace{splash, "main vexon 10"};
    vexonTrace.insert(vexonTrace.end(), propertiesSeen.begin(), propertiesSeen.end());
    const Lines paramLog{"LOG main class: com/sealdeck/runtime/launcher/WinLauncher", "LOG param count: 10",
                         "LOG param 0: true", "LOG param 8: Gr\u00fc\u00dfe \u20ac", "LOG param 9: last",
                         "LOG calling main", "LOG main returned"};
    Lines sealdeckLog{"LOG helper called 1",
                      "LOG setting vexon.moduleName to C:\\\u041f\u0440\u043e\u0433\\launcher.exe"};
    sealdeckLog.insert(sealdeckLog.end(), paramLog.begin(), paramLog.end());
    sealdeckLog.push_back("RESULT 0");

    const Case cases[] = {
        {"sealdeck", 0, sealdeckLog, sealdeckTrace, {"initFromLauncher false"}},
        {"vexon", 0, {"LOG main class: com/vexon/runtime/WinLauncher", "RESULT 0"}, vexonTrace,
         {"property vexon.isSealdeck=true"}},
        {"throw", 4,
         {"LOG param 10: --throw", "LOG calling main", "LOG main returned", "ERROR an exception occurred",
          "ERROR java.lang.IllegalStateException: launch refused: caf\u00e9", "RESULT 4"},
         {"main sealdeck 11", "arg 10=--throw"},
         {}},
        {"helper-fails", 0,
         {"ERROR registering helper dll failed", "LOG helper called 1", "RESULT 0"},
         {"initFromLauncher true", "initFromLauncher false", "main sealdeck 10"},
         {}},
        {"no-class", 1,
         {"LOG main class: com/example/Missing", "ERROR could not find main class", "RESULT 1"}, {}, {"main sealdeck 10"}},
        {"no-method", 2,
         {"LOG main class: sldkprobe/Trace", "ERROR could not find main method", "RESULT 2"}, {}, {"main sealdeck 10"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        const ProbeRun run = runProbe(c.scenario);
        std::string all;
        for (const std::string& line : run.output)
            all += line + "\n";
        SCOPED_TRACE("probe output:\n" + all);
        EXPECT_EQ(run.exitCode, 0);
        expectInOrder(run.output, c.log);
        expectInOrder(run.trace, c.trace);
        for (const std::string& line : c.absentTrace)
            EXPECT_FALSE(contains(run.trace, line)) << line;
        EXPECT_TRUE(contains(run.output, "RESULT " + std::to_string(c.mainResult)));
        // -Xcheck:jni reports every misuse of JNI as a warning or a fatal error.
        for (const std::string& line : run.output) {
            EXPECT_EQ(line.find("WARNING"), std::string::npos) << line;
            EXPECT_EQ(line.find("FATAL ERROR"), std::string::npos) << line;
        }
    }
#endif
}

} // namespace
