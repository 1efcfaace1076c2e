#include "launchcore/windows/messages/error_display.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/process_launch.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/base/wide_format.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/state/launcher_state.h"

namespace {

// Switched off once (by the application kind or a quiet switch) before other threads start;
// atomic because the progress and VM threads read it.
std::atomic<bool> g_guiErrorMode{true};
std::atomic<HWND> g_errorOwner{nullptr};
std::atomic<bool> g_consoleAttached{false};

// Explorer's command line has room for a classic path only.
constexpr DWORD kExplorerPathLimit = MAX_PATH;

bool isUsableHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// Whole UTF-16 text in the code page the console would show it in; a process whose output
// is a pipe has no console code page (0), and UTF-8 then keeps every character.
std::string consoleBytes(const std::wstring& text)
{
    const UINT codePage = GetConsoleOutputCP();
    return narrowToCodePage(text, codePage == 0 ? CP_UTF8 : codePage);
}

void writeConsoleWide(HANDLE output, const std::wstring& text)
{
    // Consoles refuse very large single writes, so the text goes out in pieces.
    constexpr size_t kPiece = 8192;
    size_t offset = 0;
    while (offset < text.size()) {
        const DWORD piece = static_cast<DWORD>(std::min(kPiece, text.size() - offset));
        DWORD written = 0;
        if (!WriteConsoleW(output, text.data() + offset, piece, &written, nullptr) || written == 0)
            break;
        offset += written;
    }
    FlushFileBuffers(output);
}

} // namespace

std::wstring errorDisplayText(const std::wstring& text)
{
    const wchar_t* log = logPath();
    if (!log)
        return text;
    std::wstring shown = text;
    shown += L"\n\nLog: ";
    const std::wstring longForm = longPathName(log);
    shown += longForm.empty() ? std::wstring(log) : longForm;
    return shown;
}

void showError(const std::wstring& text)
{
    const std::wstring shown = errorDisplayText(text);
    if (guiErrorMode()) {
        const std::wstring caption = messageOrConfigText(1000);
        // A box that cannot be shown (no desktop) returns 0 or -1; there is nothing else to do.
        MessageBoxW(g_errorOwner.load(), shown.c_str(), caption.c_str(), MB_ICONERROR);
        return;
    }
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!isUsableHandle(output) || GetFileType(output) != FILE_TYPE_CHAR) {
        writeConsoleBytes(stderr, consoleBytes(shown) + '\n');
        return;
    }
    writeConsoleWide(output, shown);
}

void showMessage(int id) { showError(formatMessage(id)); }
void showMessage(int id, const wchar_t* argument) { showError(formatMessage(id, argument)); }
void showMessage(int id, const char* argument) { showError(formatMessage(id, argument)); }

void writeConsole(const char* text)
{
    if (!text)
        return;
    const size_t length = strlen(text);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (consoleAttached() && isUsableHandle(output)) {
        size_t offset = 0;
        while (offset < length) {
            DWORD written = 0;
            const DWORD piece = static_cast<DWORD>(std::min<size_t>(length - offset, 1u << 20));
            if (!WriteFile(output, text + offset, piece, &written, nullptr) || written == 0)
                break;
            offset += written;
        }
        FlushFileBuffers(output);
        return;
    }
    writeConsoleBytes(stdout, std::string_view(text, length));
}

bool guiErrorMode() { return g_guiErrorMode.load(); }
void disableGuiErrorMode() { g_guiErrorMode.store(false); }
void setErrorOwnerWindow(HWND owner) { g_errorOwner.store(owner); }
void setConsoleAttached(bool attached) { g_consoleAttached.store(attached); }
bool consoleAttached() { return g_consoleAttached.load(); }

bool attachConsole()
{
    setConsoleAttached(true);
    // Access denied means this process already has a console.
    if (AttachConsole(ATTACH_PARENT_PROCESS) || GetLastError() == ERROR_ACCESS_DENIED)
        return true;
    return AllocConsole() != 0;
}

std::wstring explorerSelectCommand(const std::wstring& file)
{
    // The short form keeps the command within the classic path limit; a path without one
    // (or whose short form is still too long) is passed as it is. Both parts are quoted, or
    // a directory with a blank would split into several arguments.
    std::wstring target = file;
    std::vector<wchar_t> shortPath(kExplorerPathLimit);
    const DWORD length = GetShortPathNameW(file.c_str(), shortPath.data(), kExplorerPathLimit);
    if (length != 0 && length < kExplorerPathLimit)
        target.assign(shortPath.data(), length);
    return formatWide(L"\"%s\\explorer.exe\" /select,\"%s\"", windowsDirectory().c_str(), target.c_str());
}

void offerToShowLog()
{
    const wchar_t* log = logPath();
    if (!log)
        return; // no log could be created, so there is nothing to point at
    const std::wstring path = log;
    const std::wstring question = formatWide(
        L"The following log file will be created:\n\n%s\n\nDo you want to open an Explorer window?", path.c_str());
    if (MessageBoxW(nullptr, question.c_str(), productWordWide(), MB_YESNO) != IDYES)
        return;

    const std::wstring command = explorerSelectCommand(path);
    logLine(L"calling %s", command.c_str());
    ProcessLaunch launch;
    launch.commandLine = command;
    launch.inheritHandles = true;
    if (!startProcess(launch))
        logLine(L"could not open explorer window %d", static_cast<int>(GetLastError()));
}
