// The natives' frame in-process: registration from this program's exports (which are the
// natives as setuplauncher links them), the JNI conventions every family builds on, the
// shell binding, the DLL preload and the privilege switch, and the VM start registering
// everything before main.
#include <windows.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <jni.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "launchcore/windows/JavaVMLauncher.h"
#include "launchcore/windows/state/launcher_state.h"
#include "natives/jni_conventions.h"
#include "natives/windows/dll_preload.h"
#include "natives/windows/privilege_switch.h"
#include "natives/windows/shell_binding.h"
#include "testing/natives_harness/natives_harness.h"
#include "testing/standin_runtime.h"
#include "testing/test_files.h"

using namespace natives_harness;

namespace {

const std::string kPackage = "com/sealdeck/runtime/installer/platform/win32/";
const std::string kExportPrefix = "Java_com_sealdeck_runtime_installer_platform_win32_";

struct Bound {
    std::string shortClass;
    std::string method;
    std::string signature;
};

// "<class> <method> <signature>" lines (the trace's "natives: " lines without the prefix).
std::vector<Bound> parseBindings(const std::vector<std::string>& lines)
{
    std::vector<Bound> bound;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        Bound entry;
        std::string className;
        in >> className >> entry.method >> entry.signature;
        entry.shortClass = className.rfind(kPackage, 0) == 0 ? className.substr(kPackage.size()) : className;
        bound.push_back(entry);
    }
    return bound;
}

std::vector<std::string> classesInOrder(const std::vector<Bound>& bound)
{
    std::vector<std::string> classes;
    for (const Bound& entry : bound)
        if (classes.empty() || classes.back() != entry.shortClass)
            classes.push_back(entry.shortClass);
    return classes;
}

template <typename T>
bool readAt(const std::string& bytes, size_t offset, T& value)
{
    if (offset > bytes.size() || bytes.size() - offset < sizeof value)
        return false;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return true;
}

// The names in the export directory of a 64-bit image file.
std::set<std::string> exportedNames(const std::string& path)
{
    const std::string bytes = readTextFile(path);
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    if (!readAt(bytes, 0, dos) || !readAt(bytes, static_cast<size_t>(dos.e_lfanew), nt))
        return {};
    const size_t sections = static_cast<size_t>(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                            nt.FileHeader.SizeOfOptionalHeader;
    auto offsetOf = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section{};
            if (readAt(bytes, sections + i * sizeof section, section) && rva >= section.VirtualAddress &&
                rva < section.VirtualAddress + section.SizeOfRawData)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        return bytes.size();
    };
    IMAGE_EXPORT_DIRECTORY directory{};
    if (!readAt(bytes, offsetOf(nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress),
                directory))
        return {};
    std::set<std::string> names;
    for (DWORD i = 0; i < directory.NumberOfNames; ++i) {
        DWORD nameRva = 0;
        if (!readAt(bytes, offsetOf(directory.AddressOfNames) + i * sizeof nameRva, nameRva))
            return {};
        const size_t at = offsetOf(nameRva);
        if (at >= bytes.size())
            return {};
        names.insert(std::string(bytes.c_str() + at));
    }
    return names;
}

std::string programDirectory()
{
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of('\\'));
}

const char* const kRegistrationOrder[] = {
    "ACLHandling", "FileVersion",   "FolderInfo",         "Misc",     "ObjectPicker",
    "ShellLink",   "VistaFileChooser", "VistaTaskDialog", "Win32CommunicationBackend",
    "Win32Proxy",  "Win32UserInfo", "Registry",           "Win32Exec", "Win32Handle", "Win32Services"};

std::vector<std::string> firstClasses(size_t count)
{
    return std::vector<std::string>(std::begin(kRegistrationOrder), std::begin(kRegistrationOrder) + count);
}

// A module like this program that lacks one export.
void* exportsWithoutToFront(void*, const char* name)
{
    if (kExportPrefix + "Misc_toFront0" == name)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name));
}

int g_fakeNotifications = 0;

void unexpectedReport(const wchar_t*, ...) { ADD_FAILURE() << "reported"; }

} // namespace

// A shell32 look-alike for the binding test: this program exports SHChangeNotify but no
// ShellExecuteW.
extern "C" __declspec(dllexport) void __stdcall SHChangeNotify(LONG, UINT, const void*, const void*)
{
    ++g_fakeNotifications;
}

TEST(NativeRegistration, BindsEveryClassInOrderFromTheExports)
{
    const Registration registration = registerProgramNatives();
    EXPECT_TRUE(registration.result);
    EXPECT_TRUE(registration.reports.empty());
    const std::vector<Bound> bound = parseBindings(registration.registered);
    EXPECT_EQ(bound.size(), 79u);
    EXPECT_EQ(classesInOrder(bound), firstClasses(15));

    // Each pointer is the export named after its class and method, and the executable's
    // export table holds exactly those, the unregistered link native and registerNatives.
    std::set<std::string> expected = {kExportPrefix + "ShellLink_create0", "registerNatives"};
    HMODULE program = GetModuleHandleW(nullptr);
    for (const Bound& entry : bound) {
        SCOPED_TRACE(entry.shortClass + "." + entry.method);
        const std::string exportName = kExportPrefix + entry.shortClass + "_" + entry.method;
        EXPECT_TRUE(expected.insert(exportName).second) << "bound twice";
        EXPECT_EQ(boundAddress(entry.shortClass, entry.method),
                  reinterpret_cast<void*>(GetProcAddress(program, exportName.c_str())));
        EXPECT_EQ(entry.signature.front(), '(');
        EXPECT_NE(entry.signature.find(')'), std::string::npos);
    }
    EXPECT_EQ(expected.size(), 81u);
    const std::set<std::string> exported = exportedNames(programDirectory() + "\\setuplauncher.exe");
    EXPECT_EQ(exported, expected);
}

TEST(NativeRegistration, StopsAtTheFirstFailingClassWithNothingPending)
{
    struct Case {
        const char* what;
        void (*prepare)();
        bool throughLookup;
        std::wstring report;
        size_t boundClasses;
    };
    const Case cases[] = {
        {"a module lacking one export", [] {}, true,
         L"did not find Java_com_sealdeck_runtime_installer_platform_win32_Misc_toFront0", 3},
        {"a class missing on the Java side", [] { hideClass(kPackage + "Win32Proxy"); }, false,
         L"could not load class com/sealdeck/runtime/installer/platform/win32/Win32Proxy", 9},
        {"RegisterNatives refused", [] { failCall("RegisterNatives", 4); }, false,
         L"register com/sealdeck/runtime/installer/platform/win32/ObjectPicker failed -1", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        const Registration registration =
            c.throughLookup ? registerWithLookup(exportsWithoutToFront, nullptr) : registerProgramNatives();
        hideClass("");
        EXPECT_FALSE(registration.result);
        EXPECT_EQ(registration.reports, std::vector<std::wstring>{c.report});
        EXPECT_EQ(classesInOrder(parseBindings(registration.registered)), firstClasses(c.boundClasses));
        EXPECT_FALSE(exceptionPending()) << "the caller goes on with JNI calls";
        clearException();
    }

    // Without an env, a module or a reporter nothing is touched.
    using RegisterNatives = unsigned char (*)(JNIEnv*, HMODULE, void (*)(const wchar_t*, ...));
    auto registerNatives =
        reinterpret_cast<RegisterNatives>(GetProcAddress(GetModuleHandleW(nullptr), "registerNatives"));
    ASSERT_NE(registerNatives, nullptr);
    const size_t before = liveLocalReferences();
    EXPECT_EQ(registerNatives(nullptr, GetModuleHandleW(nullptr), unexpectedReport), 0);
    EXPECT_EQ(registerNatives(env(), nullptr, unexpectedReport), 0);
    EXPECT_EQ(registerNatives(env(), GetModuleHandleW(nullptr), nullptr), 0);
    EXPECT_EQ(liveLocalReferences(), before);
}

TEST(JniConventions, JavaStringsCrossExactly)
{
    const std::u16string tricky(u"a\0b\U0001F600", 5);
    const struct {
        const char* what;
        bool isNull;
        std::u16string text;
    } cases[] = {{"null", true, u""}, {"empty", false, u""}, {"NUL and surrogate pair", false, tricky}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        jstring value = c.isNull ? nullptr : javaString(c.text);
        callCode([&] {
            JavaText text(env(), value);
            EXPECT_TRUE(text.ok());
            EXPECT_EQ(text.isNull(), c.isNull);
            // What Windows receives: null for null, else exactly the text and a terminating NUL.
            EXPECT_EQ(text.wide() == nullptr, c.isNull);
            EXPECT_EQ(text.view(), c.text);
            if (!c.isNull) {
                EXPECT_EQ(text.get()[c.text.size()], u'\0');
            }
        });
        jstring back = callCode([&] { return newJavaString(env(), std::u16string_view(c.text)); });
        EXPECT_EQ(textOf(back), c.text);
    }
    jstring cut = callCode([] { return newStringUpToNul(env(), u"ab\0cd"); });
    EXPECT_EQ(textOf(cut), u"ab");

    // A copy the VM cannot make leaves its exception and a failed text, nothing more.
    jstring value = javaString(u"x");
    failCall("GetStringChars", 0);
    callCode([&] { EXPECT_FALSE(JavaText(env(), value).ok()); });
    EXPECT_TRUE(exceptionPending());
    clearException();
    dropLocalReferences();
}

TEST(JniConventions, StringArraysUseFewLocalReferences)
{
    std::vector<std::u16string> texts;
    std::vector<std::optional<std::u16string>> expected;
    for (int i = 0; i < 10000; ++i) {
        texts.push_back(u"element \U0001F600 " + std::u16string(static_cast<size_t>(i % 7), u'x'));
        expected.emplace_back(texts.back());
    }
    const size_t base = liveLocalReferences();
    jobjectArray array = callCode([&] { return newStringArray(env(), texts); });
    EXPECT_LE(peakLocalReferences() - base, 16u);
    ASSERT_EQ(elementsOf(array).size(), texts.size());
    EXPECT_EQ(textOf(elementsOf(array)[9999]), texts[9999]);

    std::vector<std::optional<std::u16string>> read;
    EXPECT_TRUE(callCode([&] { return readStringArray(env(), array, read); }));
    EXPECT_LE(peakLocalReferences() - base, 16u);
    EXPECT_EQ(read, expected);

    jobjectArray empty = callCode([] { return newStringArray(env(), {}); });
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(elementsOf(empty).empty());

    // Null arrays and wrong elements are failures; a null element stays null.
    const struct {
        const char* what;
        jobjectArray array;
        bool ok;
        std::vector<std::optional<std::u16string>> texts;
    } inputs[] = {
        {"null array", nullptr, false, {}},
        {"null element", stringArray({u"a", std::nullopt, u""}), true, {u"a", std::nullopt, u""}},
        {"an Integer among strings", objectArray({javaString(u"a"), plainObject("java/lang/Integer")}), false, {}},
    };
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.what);
        EXPECT_EQ(callCode([&] { return readStringArray(env(), input.array, read); }), input.ok);
        if (input.ok) {
            EXPECT_EQ(read, input.texts);
        }
    }

    // The third string cannot be made: the helper stops there and hands back nothing.
    failCall("NewString", 2);
    EXPECT_EQ(callCode([&] { return newStringArray(env(), texts); }), nullptr);
    EXPECT_TRUE(exceptionPending());
    clearException();
    dropLocalReferences();
}

TEST(JniConventions, ConstructedObjectsCarryTheirArguments)
{
    jstring text = javaString(u"%SystemRoot%");
    jvalue integer[1];
    integer[0].i = -7;
    jvalue expand[1];
    expand[0].l = text;
    jvalue window[4];
    window[0].j = 0x12345678abLL;
    window[1].i = 42;
    window[2].l = text;
    window[3].l = nullptr;
    jvalue result[5] = {};
    result[0].l = text;
    const struct {
        const ConstructedClass& type;
        const jvalue* arguments;
        size_t count;
    } cases[] = {{kIntegerClass, integer, 1},
                 {kExpandStringClass, expand, 1},
                 {kWindowInfoClass, window, 4},
                 {kObjectPickerResultClass, result, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type.name);
        jobject object = callCode([&] { return constructObject(env(), c.type, c.arguments); });
        EXPECT_EQ(classNameOf(object), c.type.name);
        const std::vector<jvalue> got = constructorArguments(object);
        ASSERT_EQ(got.size(), c.count);
        for (size_t i = 0; i < c.count; ++i)
            EXPECT_EQ(got[i].j, c.arguments[i].j) << "argument " << i;
    }
    jobject number = callCode([&] { return constructObject(env(), kIntegerClass, integer); });
    EXPECT_TRUE(callCode([&] { return isInstanceOf(env(), number, "java/lang/Number"); }));
    EXPECT_FALSE(callCode([&] { return isInstanceOf(env(), text, "java/lang/Integer"); }));
    EXPECT_FALSE(callCode([&] { return isInstanceOf(env(), nullptr, "java/lang/Integer"); }));

    // A class the Java side lacks gives null; the VM's exception is the Java caller's.
    hideClass(kExpandStringClass.name);
    EXPECT_EQ(callCode([&] { return constructObject(env(), kExpandStringClass, expand); }), nullptr);
    hideClass("");
    EXPECT_TRUE(exceptionPending());
    clearException();
    dropLocalReferences();
}

// The harness itself: a JNI call with an exception pending fails the test, and the native's
// frame is checked for what it left behind.
TEST(NativesHarness, FailsNativesThatBreakTheRules)
{
    EXPECT_NONFATAL_FAILURE(callCode([] {
                                failCall("FindClass", 0);
                                env()->FindClass("java/lang/String");
                                env()->FindClass("java/lang/String");
                            }),
                            "with exception pending");
    clearException();
    EXPECT_NONFATAL_FAILURE(callCode([] { env()->NewStringUTF("leaked"); }), "local references left behind");
    dropLocalReferences();
}

TEST(ShellBinding, IsReadyOnlyWithBothFunctions)
{
    EXPECT_TRUE(shellBinding().ready());
    const ShellBinding half = shellBindingOf(GetModuleHandleW(nullptr));
    EXPECT_NE(half.changeNotify, nullptr);
    EXPECT_FALSE(half.ready());
    for (const ShellBinding& binding : {half, shellBindingOf(nullptr)}) {
        shellNotify(binding, 0x08000000, 0, nullptr, nullptr);
        EXPECT_EQ(shellExecute(binding, nullptr, L"open", L"notepad.exe", nullptr, nullptr, SW_HIDE), nullptr);
    }
    EXPECT_EQ(g_fakeNotifications, 0) << "a half binding called its notification";

    registerProgramNatives();
    call(boundNative<void (*)(JNIEnv*, jobject)>("Registry", "changeNotifyAssociations0"));
}

TEST(SystemHelpers, PreloadFromTheSystemDirectoryAndPrivilegeSwitch)
{
    wchar_t system[MAX_PATH + 1] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    EXPECT_EQ(preloadedLibraryPaths(),
              (std::vector<std::wstring>{std::wstring(system) + L"\\davhlpr.dll", std::wstring(system) + L"\\fwbase.dll"}));
    preloadSystemLibraries();
    preloadSystemLibraries();

    EXPECT_FALSE(switchPrivilege(L"SeNoSuchPrivilege", true));
    EXPECT_FALSE(switchPrivilege(nullptr, true));
    const size_t before = natives_harness::ownHandleCount();
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(switchPrivilege(L"SeShutdownPrivilege", i % 2 == 0)) << i;
    EXPECT_EQ(natives_harness::ownHandleCount(), before) << "the token handle leaks";
}

// The VM start with the stand-in runtime, in this program as setuplauncher would run it:
// every class is registered from the program's own module before main runs.
TEST(VmStart, RegistersEveryClassBeforeMain)
{
    TemporaryFolder folder("natives_vm");
    const std::string home = folder / "jre";
    ASSERT_TRUE(layOutStandinRuntime(home));
    const std::wstring trace = std::wstring(folder.path().begin(), folder.path().end()) + L"\\trace.txt";
    SetEnvironmentVariableW(L"SLDK_TRACE", trace.c_str());
    setLauncherProgram(LauncherProgram::Setup);
    ASSERT_TRUE(LoadDLL(false, home.c_str(), false));
    EXPECT_TRUE(launchProgram({L"setup.exe"}, true));
    SetEnvironmentVariableW(L"SLDK_TRACE", nullptr);

    const std::vector<std::string> lines = traceLines(trace);
    const std::vector<Bound> bound = parseBindings(traced(lines, "natives: "));
    EXPECT_EQ(bound.size(), 79u);
    EXPECT_EQ(classesInOrder(bound), firstClasses(15));
    auto at = [&](const std::string& prefix) {
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(prefix, 0) == 0)
                return static_cast<ptrdiff_t>(i);
        return static_cast<ptrdiff_t>(-1);
    };
    EXPECT_LT(at("initFromLauncher: true"), at("natives: "));
    EXPECT_LT(at("natives: "), at("launcher-class: "));
    EXPECT_EQ(at("initFromLauncher: false"), -1);
}
