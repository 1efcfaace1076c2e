// In-process tests of the instance semaphore, the instance pid registry, the image check of
// a recorded pid and the window helpers. Several semaphores created and kept open in one
// process stand for as many running launcher copies.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launchcore/windows/single_instance.h"
#include "launchcore/windows/process_windows.h"

namespace {

// An identity no other test or run uses: the semaphores and registry values are shared by
// everything in the Wine prefix.
std::string uniqueIdentity(const char* tag)
{
    static int serial = 0;
    return "c:\\sldk unit\\" + std::string(tag) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount()) + "-" + std::to_string(++serial) + "\\launcher.exe";
}

void deletePidValue(const std::string& identity)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstancePidKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, identity.c_str());
        RegCloseKey(key);
    }
}

bool writePidValue(const std::string& identity, DWORD type, const std::vector<BYTE>& data)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kInstancePidKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExA(key, identity.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::wstring ownImagePath()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length);
}

std::string lowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string upperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string narrow(const std::wstring& text)
{
    std::string result;
    for (wchar_t c : text)
        result.push_back(static_cast<char>(c)); // the test program's path is ASCII
    return result;
}

} // namespace

TEST(SingleInstance, ConcurrentCopiesGetTheFirstFreeCountedName)
{
    for (const bool global : {false, true}) {
        SCOPED_TRACE(global ? "Global" : "Local");
        const std::string identity = uniqueIdentity("counted");
        std::string stem = global ? "Global\\" : "Local\\";
        for (char c : identity)
            stem.push_back(c == '\\' || c == ' ' ? '_' : c);

        std::vector<InstanceSemaphore> copies;
        for (int i = 0; i < 3; ++i) {
            copies.push_back(createInstanceSemaphore(identity, global, true));
            EXPECT_TRUE(copies.back().handle);
            EXPECT_EQ(copies.back().error, 0u);
            EXPECT_EQ(copies.back().name, stem + std::to_string(i));
        }
        // The middle copy ends: the next start takes its name, not a fourth one.
        copies[1].handle.reset();
        const InstanceSemaphore next = createInstanceSemaphore(identity, global, true);
        EXPECT_EQ(next.name, stem + "1");
        EXPECT_EQ(next.error, 0u);

        // The single-instance name has no counter and is not one of the counted names.
        const InstanceSemaphore single = createInstanceSemaphore(identity, global, false);
        EXPECT_EQ(single.name, stem);
        EXPECT_EQ(single.error, 0u);
    }
}

TEST(SingleInstance, UncountedNameReportsTheRunningCopyUntilItEnds)
{
    const std::string identity = uniqueIdentity("single");
    InstanceSemaphore first = createInstanceSemaphore(identity, false, false);
    ASSERT_TRUE(first.handle);
    EXPECT_EQ(first.error, 0u);

    InstanceSemaphore second = createInstanceSemaphore(identity, false, false);
    EXPECT_TRUE(second.handle);
    EXPECT_EQ(second.error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(second.name, first.name);

    // Another executable's identity is not affected.
    const InstanceSemaphore other = createInstanceSemaphore(uniqueIdentity("single-other"), false, false);
    EXPECT_EQ(other.error, 0u);

    second.handle.reset();
    first.handle.reset();
    const InstanceSemaphore after = createInstanceSemaphore(identity, false, false);
    EXPECT_TRUE(after.handle);
    EXPECT_EQ(after.error, 0u);
}

// A name the system refuses must end the counter walk at once (it is not "taken") and give
// no handle, so the launcher carries on as the first instance.
TEST(SingleInstance, OverlongNameIsRefusedNotTaken)
{
    const std::string identity = "c:\\" + std::string(400, 'x') + "\\launcher.exe";
    for (const bool counted : {true, false}) {
        SCOPED_TRACE(counted ? "counted" : "single");
        const InstanceSemaphore semaphore = createInstanceSemaphore(identity, false, counted);
        EXPECT_FALSE(semaphore.handle);
        EXPECT_NE(semaphore.error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        EXPECT_NE(semaphore.error, 0u);
        EXPECT_EQ(semaphore.name.back(), counted ? '0' : 'e');
    }
}

TEST(SingleInstance, RecordedPidIsReadOnlyFromFourByteData)
{
    const struct {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
        DWORD expected;
    } cases[] = {
        {"dword", REG_DWORD, {0x39, 0x30, 0x00, 0x00}, 12345},
        {"large pid", REG_DWORD, {0xFC, 0xFF, 0xFF, 0x7F}, 0x7FFFFFFC},
        {"four bytes of another type", REG_BINARY, {0x10, 0x00, 0x00, 0x00}, 16},
        {"two bytes", REG_BINARY, {0x10, 0x00}, 0},
        {"eight bytes", REG_QWORD, {0x10, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"decimal text", REG_SZ, {'1', '2', '3', '4', 0}, 0},
        {"empty", REG_BINARY, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string identity = uniqueIdentity("pid");
        ASSERT_TRUE(writePidValue(identity, c.type, c.data));
        EXPECT_EQ(readInstancePid(identity), c.expected);
        deletePidValue(identity);
    }
    EXPECT_EQ(readInstancePid(uniqueIdentity("missing")), 0u);
}

TEST(SingleInstance, RecordedPidIsKeyedByTheWholeIdentity)
{
    const std::string identity = uniqueIdentity("record");
    const std::string sibling = identity.substr(0, identity.size() - 4) + "2.exe";
    ASSERT_TRUE(recordInstancePid(identity, 4242));
    ASSERT_TRUE(recordInstancePid(sibling, 77));
    EXPECT_EQ(readInstancePid(identity), 4242u);
    EXPECT_EQ(readInstancePid(sibling), 77u);
    // A later first instance overwrites the value.
    ASSERT_TRUE(recordInstancePid(identity, 99));
    EXPECT_EQ(readInstancePid(identity), 99u);
    deletePidValue(identity);
    deletePidValue(sibling);
}

TEST(SingleInstance, LauncherIdentityIsTheLowerCaseFullModulePath)
{
    const std::string identity = launcherIdentity();
    EXPECT_EQ(identity, lowerAscii(narrow(ownImagePath())));
    EXPECT_EQ(identity.find('/'), std::string::npos);
}

// A stale pid may name any program: only a process running this very executable counts.
TEST(SingleInstance, ImageCheckAcceptsOnlyAProcessOfTheSameExecutable)
{
    const std::string own = narrow(ownImagePath());
    std::vector<wchar_t> shortBuffer(32768);
    const DWORD shortLength = GetShortPathNameW(ownImagePath().c_str(), shortBuffer.data(),
                                                static_cast<DWORD>(shortBuffer.size()));
    const std::string shortForm = narrow(std::wstring(shortBuffer.data(), shortLength));
    const DWORD self = GetCurrentProcessId();

    const struct {
        const char* name;
        DWORD pid;
        std::string identity;
        bool expected;
    } cases[] = {
        {"own image", self, lowerAscii(own), true},
        {"letter case differs", self, upperAscii(own), true},
        {"short form", self, lowerAscii(shortForm), true},
        {"other file in the same folder", self, lowerAscii(own) + ".old", false},
        {"same name elsewhere", self, "c:\\elsewhere\\" + lowerAscii(own.substr(own.rfind('\\') + 1)), false},
        {"empty identity", self, "", false},
        {"pid 0", 0, lowerAscii(own), false},
        {"no such process", 0xFFFFFFF0u, lowerAscii(own), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(processImageMatches(c.pid, c.identity), c.expected);
    }
}

TEST(SingleInstance, SemaphoreNameIsEmptyBeforeSingleInstanceModeRan)
{
    EXPECT_TRUE(instanceSemaphoreName().empty());
}

// Needs a display for a real window; without one Wine refuses CreateWindow. Wine binds the
// display driver when a desktop is first used, so a fresh desktop picks up a display that
// the default one may have been created without.
TEST(SingleInstance, WindowHelpersSeeOnlyVisibleWindowsOfTheProcess)
{
    const std::wstring desktopName = L"sldk-single-instance-" + std::to_wstring(GetCurrentProcessId());
    HDESK desktop = CreateDesktopW(desktopName.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (desktop)
        SetThreadDesktop(desktop);
    HWND window = CreateWindowExW(0, L"STATIC", L"sldk single instance", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window)
        GTEST_SKIP() << "no display";
    const DWORD self = GetCurrentProcessId();
    EXPECT_EQ(countVisibleProcessWindows(self), 0); // created hidden
    ShowWindow(window, SW_SHOWMINIMIZED);
    EXPECT_EQ(countVisibleProcessWindows(self), 1);
    bringProcessWindowsToFront(self, true);
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(countVisibleProcessWindows(0xFFFFFFF0u), 0);
    DestroyWindow(window);
    EXPECT_EQ(countVisibleProcessWindows(self), 0);
}
