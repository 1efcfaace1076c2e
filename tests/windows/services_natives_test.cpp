// The Win32Services natives in-process against Wine's real service manager. Every service
// has a name of its own (the process id in it) and is removed at the end of its test, also
// when the test fails. The service that really runs is a service launcher built for the test
// with the stand-in runtime beside it, as the service tests run it.
#include "tests/windows/service_test_support.h"

#include <gtest/gtest.h>

#include <jni.h>

#include <string>
#include <vector>

#include "testing/launcher_builder.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/standin_runtime.h"

using namespace natives_harness;
using namespace servicetest;

namespace {

using NameNative = jint (*)(JNIEnv*, jobject, jstring);
using Install = jint (*)(JNIEnv*, jobject, jstring, jstring, jstring);
using ChangeConfig = jint (*)(JNIEnv*, jobject, jstring, jstring, jstring, jint, jint, jstring, jstring, jstring,
                              jstring);
using SetRestart = jint (*)(JNIEnv*, jobject, jstring, jboolean, jint);
using SetDelayed = jint (*)(JNIEnv*, jobject, jstring, jboolean);
using Stop = jint (*)(JNIEnv*, jobject, jstring, jint);
using Start = jint (*)(JNIEnv*, jobject, jstring, jobjectArray);
using Binary = jstring (*)(JNIEnv*, jobject, jstring);

constexpr jint kNoChange = static_cast<jint>(SERVICE_NO_CHANGE);
constexpr DWORD kRunningTimeoutMs = 20000;

std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
jstring java(const std::wstring& text) { return javaString(u16(text)); }
constexpr jstring kNull = nullptr;

class ServicesNatives : public testing::Test {
protected:
    void SetUp() override { registerProgramNatives(); }
    void TearDown() override { dropLocalReferences(); }

    static jint byName(const char* method, const std::wstring& name)
    {
        return call(boundNative<NameNative>("Win32Services", method), java(name));
    }
    static jint install(const std::wstring& name, const std::wstring& binary)
    {
        return call(boundNative<Install>("Win32Services", "installService0"), java(name), java(L"Display " + name),
                    java(binary));
    }
    static std::u16string binary(const std::wstring& name)
    {
        return textOf(call(boundNative<Binary>("Win32Services", "getServiceBinary0"), java(name))).value_or(u"<null>");
    }
    static jint change(const std::wstring& name, jstring binaryPath, jint startType, jstring dependencies,
                       jstring account, jstring description)
    {
        return call(boundNative<ChangeConfig>("Win32Services", "changeServiceConfig0"), java(name), kNull, binaryPath,
                    kNoChange, startType, dependencies, account, javaString(u"secret"), description);
    }
};

TEST_F(ServicesNatives, InstallQueryAndUninstall)
{
    ServiceCleanup service(uniqueServiceName());
    const std::wstring& name = service.name();
    const std::wstring path = L"C:\\windows\\system32\\svchost.exe -k test";
    ASSERT_EQ(install(name, path), 0);
    EXPECT_EQ(install(name, path), static_cast<jint>(ERROR_SERVICE_EXISTS));

    const auto registered = registeredService(name);
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(registered->displayName, L"Display " + name);
    EXPECT_EQ(registered->account, L"LocalSystem");
    EXPECT_EQ(byName("getStartType0", name), -static_cast<jint>(SERVICE_DEMAND_START));
    EXPECT_EQ(byName("queryStatus0", name), -static_cast<jint>(SERVICE_STOPPED));
    EXPECT_EQ(binary(name), u16(path));
    EXPECT_EQ(call(boundNative<Stop>("Win32Services", "stopService0"), java(name), 0),
              static_cast<jint>(ERROR_SERVICE_NOT_ACTIVE));

    EXPECT_EQ(byName("uninstallService0", name), 0);
    EXPECT_FALSE(serviceExists(name));
    const jint missing = ERROR_SERVICE_DOES_NOT_EXIST;
    for (const char* method : {"uninstallService0", "queryStatus0", "getStartType0"})
        EXPECT_EQ(byName(method, name), missing) << method;
    EXPECT_EQ(binary(name), u" 1060");

    // A missing service name never reaches the manager.
    const jint invalid = ERROR_INVALID_PARAMETER;
    for (const char* method : {"uninstallService0", "queryStatus0", "getStartType0"})
        EXPECT_EQ(call(boundNative<NameNative>("Win32Services", method), kNull), invalid) << method;
    EXPECT_EQ(call(boundNative<Install>("Win32Services", "installService0"), kNull, kNull, java(path)), invalid);
    EXPECT_EQ(textOf(call(boundNative<Binary>("Win32Services", "getServiceBinary0"), kNull)), u" 87");
}

// A copy that fails ends the native at once: the exception stays pending and nothing else is
// called (the harness checks both), and the service stays as it was.
TEST_F(ServicesNatives, FailedArgumentCopiesChangeNothing)
{
    ServiceCleanup service(uniqueServiceName());
    const std::wstring& name = service.name();
    ASSERT_EQ(install(name, L"C:\\placeholder.exe"), 0);
    for (const int before : {0, 3, 6}) {
        SCOPED_TRACE(before);
        failCall("GetStringChars", before);
        call(boundNative<ChangeConfig>("Win32Services", "changeServiceConfig0"), java(name), javaString(u"D"),
             javaString(u"C:\\other.exe"), kNoChange, SERVICE_DISABLED, javaString(u"a"),
             javaString(u"NT AUTHORITY\\System"), javaString(u"secret"), javaString(u"text"));
        clearException();
    }
    failCall("GetObjectArrayElement", 1);
    call(boundNative<Start>("Win32Services", "startService0"), java(name), stringArray({u"a", u"b"}));
    clearException();
    failCall("NewString", 0);
    EXPECT_EQ(call(boundNative<Binary>("Win32Services", "getServiceBinary0"), java(name)), nullptr);
    clearException();
    EXPECT_EQ(binary(name), u"C:\\placeholder.exe");
    EXPECT_EQ(byName("getStartType0", name), -static_cast<jint>(SERVICE_DEMAND_START));
    EXPECT_EQ(byName("queryStatus0", name), -static_cast<jint>(SERVICE_STOPPED));
}

// An unquoted path with spaces is quoted when, and only when, the whole text is one file.
TEST_F(ServicesNatives, BinaryPathsAreQuotedOnlyWhenTheyNameOneFile)
{
    ScratchDirectory scratch;
    const std::wstring folder = scratch.subdirectory(L"with space");
    const std::wstring file = folder + L"\\svc.exe";
    ASSERT_TRUE(writeFileBytes(file, {0}));
    const struct {
        std::wstring given;
        std::wstring stored;
    } cases[] = {
        {file, L"\"" + file + L"\""},
        {L"\"" + file + L"\"", L"\"" + file + L"\""},
        {L"\"" + file + L"\" -run", L"\"" + file + L"\" -run"},
        {file + L" -run", file + L" -run"},
        {folder + L"\\missing.exe", folder + L"\\missing.exe"},
        {folder, folder},
    };
    ServiceCleanup service(uniqueServiceName());
    ASSERT_EQ(install(service.name(), L"C:\\placeholder.exe"), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.given));
        ServiceCleanup installed(uniqueServiceName());
        EXPECT_EQ(install(installed.name(), c.given), 0);
        EXPECT_EQ(binary(installed.name()), u16(c.stored));
        EXPECT_EQ(change(service.name(), java(c.given), kNoChange, kNull, kNull, kNull), 0);
        EXPECT_EQ(binary(service.name()), u16(c.stored));
    }
    // A null path leaves the registered one as it was.
    EXPECT_EQ(change(service.name(), kNull, kNoChange, kNull, kNull, kNull), 0);
    EXPECT_EQ(binary(service.name()), u16(cases[5].stored));
}

TEST_F(ServicesNatives, ConfigurationChangesDependenciesAccountAndDescription)
{
    ServiceCleanup service(uniqueServiceName());
    const std::wstring& name = service.name();
    ASSERT_EQ(install(name, L"C:\\placeholder.exe"), 0);
    const auto dependencies = [&] { return registeredService(name).value_or(RegisteredService{}).dependencies; };

    ASSERT_EQ(change(name, kNull, SERVICE_AUTO_START, javaString(u"a,,b"), kNull, javaString(u"First")), 0);
    EXPECT_EQ(dependencies(), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(byName("getStartType0", name), -static_cast<jint>(SERVICE_AUTO_START));
    EXPECT_EQ(serviceDescription(name), L"First");

    // A list past the buffer is refused whole, before anything changes.
    EXPECT_EQ(change(name, kNull, SERVICE_DISABLED, javaString(std::u16string(10000, u'x')), kNull, javaString(u"No")),
              static_cast<jint>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(dependencies(), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(byName("getStartType0", name), -static_cast<jint>(SERVICE_AUTO_START));
    EXPECT_EQ(serviceDescription(name), L"First");

    // A null list clears the dependencies; a null description keeps the description.
    ASSERT_EQ(change(name, kNull, kNoChange, kNull, kNull, kNull), 0);
    EXPECT_TRUE(dependencies().empty());
    EXPECT_EQ(serviceDescription(name), L"First");

    // The two spellings the manager does not take become "LocalSystem"; a null account keeps it.
    const struct {
        jstring given;
        std::wstring stored;
    } accounts[] = {
        {javaString(u".\\sldk-nobody"), L".\\sldk-nobody"},
        {javaString(u"NT AUTHORITY\\System"), L"LocalSystem"},
        {javaString(u".\\sldk-nobody"), L".\\sldk-nobody"},
        {javaString(u"NT AUTHORITY\\LocalSystem"), L"LocalSystem"},
        {kNull, L"LocalSystem"},
    };
    for (const auto& account : accounts) {
        SCOPED_TRACE(toUtf8(account.stored));
        EXPECT_EQ(change(name, kNull, kNoChange, kNull, account.given, kNull), 0);
        EXPECT_EQ(registeredService(name).value_or(RegisteredService{}).account, account.stored);
    }
}

TEST_F(ServicesNatives, FailureActionsAndDelayedStart)
{
    ServiceCleanup service(uniqueServiceName());
    const std::wstring& name = service.name();
    ASSERT_EQ(install(name, L"C:\\placeholder.exe"), 0);
    const auto restart = boundNative<SetRestart>("Win32Services", "setRestartServiceConfig0");
    // Wine takes failure actions but cannot report them (QueryServiceConfig2W answers
    // ERROR_INVALID_LEVEL): only the results can be checked.
    EXPECT_EQ(call(restart, java(name), JNI_TRUE, 3000), 0);
    EXPECT_EQ(call(restart, java(name), JNI_FALSE, 3000), 0);
    EXPECT_EQ(call(restart, java(name + L"-missing"), JNI_TRUE, 0), static_cast<jint>(ERROR_SERVICE_DOES_NOT_EXIST));

    // Wine's manager refuses the delayed start; its error comes through as it is.
    ScHandle handle = openService(name, SERVICE_ALL_ACCESS);
    SERVICE_DELAYED_AUTO_START_INFO info{TRUE};
    const BOOL accepted = ChangeServiceConfig2W(handle.handle, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info);
    const jint expected = accepted ? 0 : static_cast<jint>(GetLastError());
    EXPECT_EQ(call(boundNative<SetDelayed>("Win32Services", "setDelayedAutoStart0"), java(name), JNI_TRUE), expected);
}

// A service launcher with the stand-in runtime, installed through the natives: started with
// arguments, its status read while it runs, stopped with the wait.
TEST_F(ServicesNatives, StartsWithArgumentsAndStopsWithTheWait)
{
    ScratchDirectory scratch;
    ServiceCleanup service(uniqueServiceName());
    const std::wstring& name = service.name();
    const std::wstring trace = scratch.file(L"trace.txt");
    sldkpack::LauncherModel model = basicModel("4");
    const std::pair<int32_t, std::string> config[] = {
        {101, toUtf8(name)},
        {122, "com.example.Main"},
        {123, "\"-Dsldk.trace=" + toUtf8(trace) + "\""},
        {125, "1"},
        {126, "1.8"},
        {128, "Ajre"},
    };
    for (const auto& [id, value] : config)
        sldkpack::setConfig(model, id, value);
    const std::wstring launcher = buildLauncherFile(kServiceStub, model, scratch.path(), L"svc.exe");
    ASSERT_FALSE(launcher.empty());
    ASSERT_TRUE(layOutStandinRuntime(toUtf8(scratch.path() + L"\\jre")));
    ASSERT_EQ(install(name, L"\"" + launcher + L"\""), 0);

    const auto start = boundNative<Start>("Win32Services", "startService0");
    EXPECT_EQ(call(start, java(name), stringArray({u"a", std::nullopt})), static_cast<jint>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(byName("queryStatus0", name), -static_cast<jint>(SERVICE_STOPPED));

    ASSERT_EQ(call(start, java(name), stringArray({u"first", u"second arg"})), 0);
    ASSERT_TRUE(waitForState(name, SERVICE_RUNNING, kRunningTimeoutMs));
    const ULONGLONG end = GetTickCount64() + kRunningTimeoutMs;
    while (traced(traceLines(trace), "arg-count: ").empty() && GetTickCount64() < end)
        Sleep(50);
    const std::vector<std::string> arguments = traced(traceLines(trace), "arg ");
    ASSERT_GE(arguments.size(), 2u);
    EXPECT_EQ(arguments[arguments.size() - 2].substr(arguments[arguments.size() - 2].find(": ") + 2), "first");
    EXPECT_EQ(arguments.back().substr(arguments.back().find(": ") + 2), "second arg");
    EXPECT_EQ(byName("queryStatus0", name), -static_cast<jint>(SERVICE_RUNNING));
    EXPECT_EQ(call(start, java(name), static_cast<jobjectArray>(nullptr)),
              static_cast<jint>(ERROR_SERVICE_ALREADY_RUNNING));

    // The stop returns once the service has stopped, however short the timeout.
    const auto stop = boundNative<Stop>("Win32Services", "stopService0");
    EXPECT_EQ(call(stop, java(name), 0), 0);
    EXPECT_EQ(serviceState(name), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(traced(traceLines(trace), "stdin: "), (std::vector<std::string>{"0"}));
    EXPECT_EQ(call(stop, java(name), 0), static_cast<jint>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(byName("uninstallService0", name), 0);
    EXPECT_EQ(waitForNoProcessOf(launcher, 10000), 0);
}

} // namespace
