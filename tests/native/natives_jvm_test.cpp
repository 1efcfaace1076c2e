// The natives' JNI conventions against the real Java VM of the build machine, in a probe
// process of their own with -Xcheck:jni.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(RealJvm, NativesConventionsPassTheCheckedVm)
{
#ifndef SLDK_NATIVES_JVM_PROBE
    GTEST_SKIP() << "no JDK was found when the build was configured: the real-VM check did not run";
#else
    const std::string command =
        std::string("'") + SLDK_NATIVES_JVM_PROBE + "' '" + SLDK_REAL_JVM_LIBRARY + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe);
    SCOPED_TRACE("probe output:\n" + output);
    EXPECT_EQ(status, 0);
    EXPECT_NE(output.find("DONE\n"), std::string::npos);
    EXPECT_EQ(output.find("FAIL"), std::string::npos);
    // -Xcheck:jni reports every misuse as a warning or a fatal error.
    EXPECT_EQ(output.find("WARNING"), std::string::npos);
    EXPECT_EQ(output.find("FATAL ERROR"), std::string::npos);
    size_t checks = 0;
    for (size_t at = output.find("CHECK "); at != std::string::npos; at = output.find("CHECK ", at + 1))
        ++checks;
    EXPECT_EQ(checks, 11u);
#endif
}
