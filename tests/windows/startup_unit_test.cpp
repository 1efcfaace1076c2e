// In-process tests of the launcher's own paths, the temporary-directory search, temporary
// names, the extraction directory and the native-library PATH handling.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/windows/dll_search.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/startup.h"
#include "launchcore/windows/log/temporary_directory.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/files/extraction_directory.h"
#include "launchcore/windows/files/temporary_files.h"
#include "launchcore/windows/path_list.h"

namespace {

std::wstring systemTempPath()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, length);
}

std::wstring withoutSlash(std::wstring path)
{
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

void removeTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

// A fresh directory under the system temporary directory, removed with everything in it.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::wstring& tag = L"startup")
    {
        static int counter = 0;
        path_ = withoutSlash(systemTempPath()) + L"\\" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(++counter);
        removeTree(path_);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchDirectory() { removeTree(path_); }
    const std::wstring& path() const { return path_; }
    std::string ansi() const { return narrowAnsi(path_); }
    std::wstring makeDirectory(const std::wstring& relative) const
    {
        std::wstring full = path_;
        size_t start = 0;
        while (start < relative.size()) {
            size_t end = relative.find(L'\\', start);
            if (end == std::wstring::npos)
                end = relative.size();
            full += L"\\" + relative.substr(start, end - start);
            CreateDirectoryW(full.c_str(), nullptr);
            start = end + 1;
        }
        return full;
    }
    std::wstring makeFile(const std::wstring& name) const
    {
        const std::wstring full = path_ + L"\\" + name;
        HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(file);
        return full;
    }

private:
    std::wstring path_;
};

// Sets environment variables for one scope and puts the old values back.
class EnvironmentScope {
public:
    void set(const wchar_t* name, const std::optional<std::wstring>& value)
    {
        if (saved_.count(name) == 0)
            saved_.emplace(name, read(name));
        SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
    }
    ~EnvironmentScope()
    {
        for (const auto& [name, value] : saved_)
            SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
    }

private:
    static std::optional<std::wstring> read(const wchar_t* name)
    {
        const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
        if (needed == 0)
            return std::nullopt;
        std::wstring value(needed, L'\0');
        const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
        value.resize(length);
        return value;
    }
    std::map<std::wstring, std::optional<std::wstring>> saved_;
};

size_t entriesIn(const std::wstring& directory)
{
    size_t count = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            ++count;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return count;
}

std::string readPathA()
{
    std::vector<char> buffer(70000);
    const DWORD length = GetEnvironmentVariableA("PATH", buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::string(buffer.data(), length);
}

} // namespace

TEST(StartupPaths, PathExistsHandlesRootsWildcardsAndTrailingBackslashes)
{
    ScratchDirectory scratch;
    scratch.makeDirectory(L"dir");
    scratch.makeFile(L"file.txt");
    const std::wstring base = scratch.path() + L"\\";
    struct Case {
        std::wstring path;
        bool exists;
    };
    const Case cases[] = {
        {base + L"dir", true},
        {base + L"dir\\", true},
        {base + L"di?", false},
        {base + L"d*", false},
        {base + L"file.txt", true},
        {base + L"file.tx?", false},
        {base + L"missing", false},
        {base + L"missing\\", false},
        {L"C:\\", true},
        {L"C:\\.", true},
        {L"C:\\.\\.", true},
        {L"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pathExists(c.path), c.exists) << narrowAnsi(c.path);
        EXPECT_EQ(pathExists(narrowAnsi(c.path)), c.exists) << narrowAnsi(c.path);
    }

    FILETIME lastWrite{};
    ASSERT_TRUE(pathExists(narrowAnsi(base + L"file.txt"), lastWrite));
    EXPECT_NE(lastWrite.dwHighDateTime, 0u);
    EXPECT_FALSE(pathExists(narrowAnsi(base + L"fil?.txt"), lastWrite));
}

TEST(StartupPaths, ModulePathsAndLauncherDirectoryAgree)
{
    const std::wstring& module = moduleLongPath();
    const std::wstring& directory = launcherDirectoryWide();
    ASSERT_GT(module.size(), 4u);
    EXPECT_EQ(module.substr(module.size() - 4), L".exe");
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), L'\\');
    EXPECT_EQ(module.compare(0, directory.size(), directory), 0);
    EXPECT_EQ(module.find(L'\\', directory.size()), std::wstring::npos);

    // Also run from a directory the ANSI code page cannot spell (below): the 8-bit form must
    // then be a short form that still names this file.
    const std::string& ansi = moduleAnsiPath();
    ASSERT_GT(ansi.size(), 4u);
    EXPECT_EQ(ansi.find('?'), std::string::npos) << ansi;
    EXPECT_TRUE(GetFileAttributesA(ansi.c_str()) != INVALID_FILE_ATTRIBUTES) << ansi;
    EXPECT_TRUE(GetFileAttributesA(launcherDirectoryAnsi().c_str()) != INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(launcherDirectoryAnsi().back(), '\\');
    EXPECT_EQ(launcherDirectoryWidened(), widenAnsi(launcherDirectoryAnsi()));
}

TEST(StartupPaths, ModulePathsWorkFromANonAnsiDirectory)
{
    ScratchDirectory scratch(L"modpath");
    const std::wstring directory = scratch.makeDirectory(L"\u0395\u03BB\u03BB\u03AC\u03B4\u03B1 app");
    bool exact = true;
    narrowAnsi(directory, &exact);
    if (exact)
        GTEST_SKIP() << "the ANSI code page can spell Greek here";
    const std::wstring copy = directory + L"\\tests copy.exe";
    ASSERT_TRUE(CopyFileW(moduleLongPath().c_str(), copy.c_str(), FALSE));

    std::wstring commandLine = L"\"" + copy + L"\" --gtest_filter=StartupPaths.ModulePathsAndLauncherDirectoryAgree";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);
}

TEST(StartupPaths, ShellShortNameMustNameAnExistingExe)
{
    ScratchDirectory scratch(L"shellname");
    const std::string tool = narrowAnsi(scratch.makeFile(L"tool.exe"));
    const std::string text = narrowAnsi(scratch.makeFile(L"notes.txt"));
    struct Case {
        std::string name;
        bool usable;
    };
    const Case cases[] = {
        {tool, true},
        {moduleAnsiPath(), true},
        {"", false},
        {text, false},
        {scratch.ansi() + "\\missing.exe", false},
        {scratch.ansi() + "\\too?.exe", false},
        {scratch.ansi() + "\\*.exe", false},
        {"C:\\?\\a.exe", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(usableShellShortName(c.name), c.usable) << c.name;
}

TEST(StartupPaths, ResolvePathPutsRelativePathsBehindTheRightDirectory)
{
    const std::wstring launcher = launcherDirectoryWide();
    struct Case {
        std::wstring path;
        const wchar_t* baseFile;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"lib\\a.dll", nullptr, launcher + L"lib\\a.dll"},
        {L"lib\\\\deep\\\\a.dll", nullptr, launcher + L"lib\\deep\\a.dll"},
        {L"\\rooted", nullptr, launcher + L"rooted"},
        {L"C:", nullptr, launcher + L"C:"},
        {L"C:\\abs\\\\x", nullptr, L"C:\\abs\\x"},
        {L"C:/abs/x", nullptr, L"C:/abs/x"},
        {L"\\\\server\\\\share\\x", nullptr, L"\\\\server\\share\\x"},
        {L"conf\\x.txt", L"C:\\base\\dir\\file.cfg", L"C:\\base\\dir\\conf\\x.txt"},
        {L"D:\\elsewhere", L"C:\\base\\dir\\file.cfg", L"D:\\elsewhere"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolvePath(c.path, false, c.baseFile), c.expected) << narrowAnsi(c.path);
        const std::string base = c.baseFile ? narrowAnsi(c.baseFile) : std::string();
        std::string expectedAnsi = narrowAnsi(c.expected);
        if (!c.baseFile && expectedAnsi.rfind(narrowAnsi(launcher), 0) == 0)
            expectedAnsi = launcherDirectoryAnsi() + expectedAnsi.substr(narrowAnsi(launcher).size());
        EXPECT_EQ(resolvePath(narrowAnsi(c.path), c.baseFile ? base.c_str() : nullptr), expectedAnsi)
            << narrowAnsi(c.path);
    }
    EXPECT_EQ(resolvePath(L"x", true), launcherDirectoryWidened() + L"x");
}

TEST(StartupPaths, FullPathNormalisesAndLowerCasesUnlessAsked)
{
    struct Case {
        std::wstring path;
        bool keepCase;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"C:\\Dir\\.\\Sub\\..\\File.TXT", false, L"c:\\dir\\file.txt"},
        {L"C:\\Dir\\.\\Sub\\..\\File.TXT", true, L"C:\\Dir\\File.TXT"},
        {L"C:\\A\\\\B", true, L"C:\\A\\B"},
        {L"C:\\\u00C4rger\\X", false, L"c:\\\u00C4rger\\x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fullPath(c.path, false, c.keepCase), c.expected) << narrowAnsi(c.path);
        bool exact = false;
        const std::string ansi = narrowAnsi(c.path, &exact);
        if (exact) {
            EXPECT_EQ(fullPath(ansi, c.keepCase), narrowAnsi(c.expected)) << ansi;
        }
    }
    const std::wstring relative = fullPath(L"Sub\\..\\Name", false, true);
    EXPECT_EQ(relative, launcherDirectoryWide() + L"Name");
}

TEST(TemporaryDirectory, UsableDirectoryNeedsAWritableDirectory)
{
    ScratchDirectory scratch;
    const std::wstring existing = scratch.makeDirectory(L"existing");
    const std::wstring file = scratch.makeFile(L"plain.txt");
    struct Case {
        std::wstring path;
        bool create;
        bool ansiCheck;
        bool usable;
    };
    const Case cases[] = {
        {L"", true, true, false},
        {existing, false, true, true},
        {existing + L"\\", false, false, true},
        {scratch.path() + L"\\missing", false, false, false},
        {scratch.path() + L"\\created", true, true, true},
        {scratch.path() + L"\\no\\parent", true, false, false},
        {file, true, false, false},
        {scratch.makeDirectory(L"\u03A9\u03BC\u03AD\u03B3\u03B1"), false, true, false},
        {scratch.path() + L"\\\u03A9\u03BC\u03AD\u03B3\u03B1", false, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isUsableDirectory(c.path, c.create, c.ansiCheck), c.usable) << toUtf8(toU16(c.path));
    // The write probe cleans up after itself.
    EXPECT_EQ(entriesIn(existing), 0u);
    EXPECT_TRUE(pathExists(scratch.path() + L"\\created"));
}

TEST(TemporaryDirectory, SearchSkipsUnusableCandidatesInOrder)
{
    ScratchDirectory scratch(L"tmpsearch");
    const std::wstring good = scratch.makeDirectory(L"good");
    const std::wstring file = scratch.makeFile(L"notadir");
    const std::wstring profile = scratch.path() + L"\\profile";
    const std::wstring profileTemp = scratch.makeDirectory(L"profile\\AppData\\Local\\Temp");
    const std::wstring home = scratch.makeDirectory(L"home");
    const std::wstring greek = scratch.makeDirectory(L"\u03B5\u03BB\u03BB\u03B7\u03BD");

    wchar_t windowsBuffer[MAX_PATH];
    const std::wstring windows(windowsBuffer, GetWindowsDirectoryW(windowsBuffer, MAX_PATH));
    const std::wstring homeDrive = home.substr(0, 2);
    const std::wstring homePath = home.substr(2);

    using Value = std::optional<std::wstring>;
    struct Case {
        const char* name;
        Value tmp;
        Value profile;
        Value homeDrive;
        Value homePath;
        std::wstring expected;
    };
    const Case cases[] = {
        {"system temp usable", good, profile, homeDrive, homePath, good + L"\\"},
        {"system temp is created", scratch.path() + L"\\fresh", profile, homeDrive, homePath,
         scratch.path() + L"\\fresh\\"},
        {"system temp is a file", file, profile, homeDrive, homePath, profileTemp},
        {"system temp not ANSI", greek, profile, homeDrive, homePath, profileTemp},
        {"no profile", file, std::nullopt, homeDrive, homePath, home},
        {"empty profile", file, std::wstring(), homeDrive, homePath, home},
        {"profile without temp", file, home, homeDrive, homePath, home},
        {"home drive missing", file, std::nullopt, std::nullopt, homePath, windows + L"\\temp"},
        {"home path missing", file, std::nullopt, homeDrive, std::nullopt, windows + L"\\temp"},
    };
    for (const Case& c : cases) {
        EnvironmentScope environment;
        environment.set(L"TMP", c.tmp);
        environment.set(L"TEMP", c.tmp);
        environment.set(L"USERPROFILE", c.profile);
        environment.set(L"HOMEDRIVE", c.homeDrive);
        environment.set(L"HOMEPATH", c.homePath);
        bool fallback = true;
        const std::wstring found = searchTemporaryDirectory(fallback);
        EXPECT_EQ(toUtf8(toU16(found)), toUtf8(toU16(c.expected))) << c.name;
        EXPECT_FALSE(fallback) << c.name;
    }
}

TEST(TemporaryDirectory, BothFormsComeFromOneSearch)
{
    const std::wstring& wide = temporaryDirectoryWide();
    const std::string& ansi = temporaryDirectoryAnsi();
    ASSERT_FALSE(wide.empty());
    EXPECT_EQ(widenAnsi(ansi), wide);
    EXPECT_TRUE(pathExists(wide));
}

TEST(TemporaryDirectory, ManualDirectoryMustBeUsable)
{
    ScratchDirectory scratch(L"manual");
    const std::wstring before = temporaryDirectoryWide();
    struct Case {
        std::wstring path;
        bool usable;
    };
    const Case cases[] = {
        {scratch.path() + L"\\missing", false},
        {scratch.makeFile(L"file"), false},
        {scratch.makeDirectory(L"\u03A9\u03BC\u03AD\u03B3\u03B1"), false},
    };
    for (const Case& c : cases) {
        std::string ansi;
        EXPECT_EQ(setManualTemporaryDirectory(c.path, &ansi), c.usable) << toUtf8(toU16(c.path));
        EXPECT_FALSE(ansi.empty());
        EXPECT_EQ(temporaryDirectoryWide(), before);
    }

    const std::wstring manual = scratch.makeDirectory(L"Manual Dir");
    std::string ansi;
    ASSERT_TRUE(setManualTemporaryDirectory(manual, &ansi));
    EXPECT_EQ(ansi, narrowAnsi(manual));
    EXPECT_EQ(temporaryDirectoryWide(), manual);
    EXPECT_EQ(temporaryDirectoryAnsi(), ansi);

    const std::string name = tempFileName();
    EXPECT_EQ(name.rfind(ansi + "\\vxn", 0), 0u) << name;
    ASSERT_TRUE(setManualTemporaryDirectory(before));
}

TEST(TemporaryDirectory, TempFileNamesAreFreshFilesInTheTemporaryDirectory)
{
    const std::string directory = temporaryDirectoryAnsi();
    std::set<std::string> names;
    for (int i = 0; i < 5; ++i) {
        const std::string name = tempFileName();
        EXPECT_EQ(name.find(directory), 0u) << name;
        EXPECT_NE(name.find("vxn"), std::string::npos) << name;
        EXPECT_TRUE(pathExists(name)) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 5u);
    for (const std::string& name : names)
        DeleteFileA(name.c_str());
}

TEST(TemporaryDirectory, FallbackNamesDifferWhenTheSystemCannotMakeOne)
{
    // GetTempFileNameA cannot make a name in a directory longer than MAX_PATH - 14 (Windows
    // fails, Wine cuts the name), so the fallback names are used.
    ScratchDirectory scratch(L"longtemp");
    constexpr size_t wanted = MAX_PATH - 12;
    std::wstring relative;
    for (size_t total = scratch.path().size() + 1; total < wanted; total = scratch.path().size() + 1 + relative.size()) {
        if (!relative.empty())
            relative += L'\\';
        relative += std::wstring(std::min<size_t>(40, wanted - total), L'd');
    }
    const std::wstring longDirectory = scratch.makeDirectory(relative);
    ASSERT_GT(longDirectory.size(), static_cast<size_t>(MAX_PATH - 14));
    ASSERT_LT(longDirectory.size(), static_cast<size_t>(MAX_PATH));
    const std::wstring before = temporaryDirectoryWide();
    ASSERT_TRUE(setManualTemporaryDirectory(longDirectory));

    std::set<std::string> names;
    for (int i = 0; i < 4; ++i) {
        const std::string name = tempFileName();
        EXPECT_EQ(name.rfind(narrowAnsi(longDirectory) + "\\vxn", 0), 0u) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 4u);

    ASSERT_TRUE(setManualTemporaryDirectory(before));
}

TEST(TemporaryDirectory, ExtractionDirectoryIsCreatedBesideATempFile)
{
    setExtractionDirectory({});
    createExtractionDirectory();
    const std::string directory = extractionDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.find(temporaryDirectoryAnsi()), 0u);
    const size_t suffix = directory.rfind("_dir");
    ASSERT_NE(suffix, std::string::npos);
    EXPECT_TRUE(pathExists(directory.substr(0, suffix))) << "the reserving file stays";
    const DWORD attributes = GetFileAttributesA(directory.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    createExtractionDirectory();
    const std::string second = extractionDirectory();
    EXPECT_NE(second, directory);
    EXPECT_TRUE(pathExists(second));
    for (const std::string& made : {directory, second}) {
        RemoveDirectoryA(made.c_str());
        DeleteFileA(made.substr(0, made.rfind("_dir")).c_str());
    }
    setExtractionDirectory({});
}

TEST(NativeLibraries, PathListResolvesAndJoinsNonEmptyElements)
{
    const std::string launcher = launcherDirectoryAnsi();
    struct Case {
        std::string list;
        std::string joined;
        size_t calls;
    };
    const Case cases[] = {
        {"", "", 0},
        {";;;", "", 0},
        {"lib", launcher + "lib", 1},
        {"a;;b;", launcher + "a;" + launcher + "b", 2},
        {"C:\\abs\\\\x;rel\\\\y", "C:\\abs\\x;" + launcher + "rel\\y", 2},
        {"\\\\srv\\share;", "\\\\srv\\share", 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> seen;
        const std::string joined = pathList(c.list, [&](const std::string& element) { seen.push_back(element); });
        EXPECT_EQ(joined, c.joined) << c.list;
        EXPECT_EQ(seen.size(), c.calls) << c.list;
    }
}

TEST(NativeLibraries, DirectoriesGoInFrontOfALongPathWithoutLosingIt)
{
    ScratchDirectory scratch(L"nativelib");
    const std::string absolute = narrowAnsi(scratch.makeDirectory(L"bin"));
    // Longer than any first guess of a buffer: the old PATH must survive completely.
    std::string oldPath = "C:\\windows\\system32";
    while (oldPath.size() < 20000)
        oldPath += ";C:\\some\\rather\\long\\directory\\name\\" + std::to_string(oldPath.size());
    EnvironmentScope environment;
    environment.set(L"PATH", widenAnsi(oldPath));

    struct Case {
        std::string entry;
        std::string prefix;
    };
    const Case cases[] = {
        {"", ""},
        {"natives;" + absolute, launcherDirectoryAnsi() + "natives;" + absolute + ";"},
        {absolute + ";", absolute + ";"},
    };
    for (const Case& c : cases) {
        SetEnvironmentVariableA("PATH", oldPath.c_str());
        installConfiguration({{10004, c.entry}}, {});
        addNativeLibraryDirectories();
        const std::string path = readPathA();
        EXPECT_EQ(path, c.prefix + oldPath) << c.entry;
        const char* runtimePath = std::getenv("PATH");
        ASSERT_NE(runtimePath, nullptr);
        EXPECT_EQ(std::string(runtimePath), path) << c.entry;
    }
    installConfiguration({}, {});
}

TEST(NativeLibraries, ServiceAddsDllDirectoriesOnlyWhenConfigured)
{
    ScratchDirectory scratch(L"dlldir");
    const std::string directory = narrowAnsi(scratch.makeDirectory(L"natives"));
    struct Case {
        bool needsConfiguration;
        std::string entry154;
        bool added;
    };
    const Case cases[] = {
        {false, "", true},
        {true, "", false},
        {true, "0", false},
        {true, "1", true},
    };
    for (const Case& c : cases) {
        installConfiguration({{154, c.entry154}}, {});
        setLauncherProgram(c.needsConfiguration ? LauncherProgram::Service : LauncherProgram::Setup);
        void* cookie = addDllDirectory(directory);
        EXPECT_EQ(cookie != nullptr, c.added) << c.needsConfiguration << " '" << c.entry154 << "'";
        removeDllDirectory(cookie);
    }
    removeDllDirectory(nullptr);
    setLauncherProgram(LauncherProgram::Setup);
    installConfiguration({}, {});
}

TEST(StartupSwitches, KeepLogSwitchCountsOnlyDirectlyAfterTheProgram)
{
    using Args = std::vector<std::wstring>;
    struct Case {
        Args arguments;
        bool taken;
        Args remaining;
    };
    const Case cases[] = {
        {{L"app"}, false, {L"app"}},
        {{}, false, {}},
        {{L"app", L"-create-sldk-log", L"x"}, true, {L"app", L"x"}},
        {{L"app", L"-create-vxn-log"}, true, {L"app"}},
        {{L"app", L"/create-sldk-log"}, true, {L"app"}},
        {{L"app", L"/create-vxn-log", L"-create-sldk-log"}, true, {L"app", L"-create-sldk-log"}},
        {{L"app", L"x", L"-create-sldk-log"}, false, {L"app", L"x", L"-create-sldk-log"}},
        {{L"app", L"-CREATE-SLDK-LOG"}, false, {L"app", L"-CREATE-SLDK-LOG"}},
        {{L"app", L"--create-sldk-log"}, false, {L"app", L"--create-sldk-log"}},
    };
    for (const Case& c : cases) {
        Args arguments = c.arguments;
        EXPECT_EQ(takeKeepLogSwitch(arguments), c.taken) << c.arguments.size();
        EXPECT_EQ(arguments, c.remaining);
    }
}

TEST(StartupSwitches, ManualTemporaryDirectoryEditsTheVector)
{
    ScratchDirectory scratch(L"switch");
    const std::wstring usable = scratch.makeDirectory(L"usable");
    const std::wstring missing = scratch.path() + L"\\missing";
    using Args = std::vector<std::wstring>;
    struct Case {
        Args arguments;
        Args remaining;
    };
    // Unusable directories first: the first usable one stays in force for the process.
    const Case cases[] = {
        {{L"app", L"a", L"b"}, {L"app", L"a", L"b"}},
        {{L"app", L"-temp"}, {L"app"}},
        {{L"app", L"/temp", L"", L"x"}, {L"app", L"", L"x"}},
        {{L"app", L"-temp", missing, L"x"}, {L"app", L"x"}},
        {{L"app", L"x", L"/temp", missing}, {L"app", L"x"}},
        {{L"app", L"-temp", missing, L"-temp", usable}, {L"app", L"-temp", usable}},
        {{L"app", L"-TEMP", missing}, {L"app", L"-TEMP", missing}},
        {{L"app", L"x", L"-temp", usable, L"y"}, {L"app", L"x", L"-temp", usable, L"y"}},
    };
    const std::wstring before = temporaryDirectoryWide();
    for (const Case& c : cases) {
        Args arguments = c.arguments;
        takeManualTemporaryDirectory(arguments);
        EXPECT_EQ(arguments, c.remaining) << c.arguments.size();
    }
    EXPECT_EQ(temporaryDirectoryWide(), usable);
    ASSERT_TRUE(setManualTemporaryDirectory(before));
}
