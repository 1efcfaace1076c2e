#include "launchcore/windows/appended_data.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "launchcore/appended_data_format.h"
#include "launchcore/windows/diagnostic_log.h"
#include "launchcore/windows/error_display.h"
#include "launchcore/windows/handles.h"
#include "launchcore/windows/locale_detection.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/startup.h"
#include "launchcore/windows/text_conversion.h"

namespace {

// Included files can be hundreds of megabytes (a bundled runtime): with small chunks the
// per-call cost of ReadFile and WriteFile, not the disk, sets the extraction time.
constexpr DWORD kCopyChunk = 65536;

int64_t g_payloadStart = 0;

class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(HANDLE file) : file_(file) {}

    bool seek(int64_t position) override
    {
        LARGE_INTEGER target;
        target.QuadPart = position;
        return SetFilePointerEx(file_, target, nullptr, FILE_BEGIN) != FALSE;
    }

    int64_t position() const override
    {
        LARGE_INTEGER zero{};
        LARGE_INTEGER current{};
        if (!SetFilePointerEx(file_, zero, &current, FILE_CURRENT))
            return -1;
        return current.QuadPart;
    }

    int64_t size() const override
    {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_, &size))
            return -1;
        return size.QuadPart;
    }

    bool read(void* buffer, uint32_t length, uint32_t& got, uint32_t& systemError) override
    {
        DWORD transferred = 0;
        const BOOL ok = ReadFile(file_, buffer, length, &transferred, nullptr);
        got = transferred;
        systemError = ok ? 0 : GetLastError();
        return ok != FALSE;
    }

private:
    HANDLE file_;
};

[[noreturn]] void failedRead(const AppendedDataError& error)
{
    switch (error.kind) {
    case AppendedDataFailure::ReadInt:
        logLine(L"error %d %d\n", static_cast<int>(error.systemError), static_cast<int>(error.bytesRead));
        break;
    case AppendedDataFailure::ReadLong:
    case AppendedDataFailure::ReadShort:
        logLine(L"error %d\n", static_cast<int>(error.systemError));
        break;
    case AppendedDataFailure::ReadString:
    case AppendedDataFailure::ReadWString:
    case AppendedDataFailure::Magic:
        break;
    }
    fatalError(widenBytesW(fatalText(error.kind)));
}

} // namespace

HANDLE openLauncherFile()
{
    // Write sharing lets the open succeed while another process (a copier, a scanner) holds
    // the executable open for writing.
    return CreateFileW(moduleLongPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void seekAppendedData(HANDLE file)
{
    FileByteSource source(file);
    int64_t start = 0;
    if (const auto error = seekAppendedData(source, start))
        failedRead(*error);
}

int loadAppendedData()
{
    HANDLE opened = openLauncherFile();
    const DWORD openError = GetLastError();
    if (opened == nullptr || opened == INVALID_HANDLE_VALUE) {
        logError(L"Could not open %p %d %s", opened, static_cast<int>(openError), moduleLongPath().c_str());
        fatalError(L"Error opening media file.");
    }
    unique_file file(opened);

    seekAppendedData(file.get());
    FileByteSource source(file.get());
    AppendedRecord record;
    if (const auto error = readAppendedRecord(source, record)) {
        // What was read before the damage still captions the error box.
        installConfiguration(std::move(record.config), std::move(record.messages));
        failedRead(*error);
    }

    const std::string locale = detectLocale(argumentVector());
    setLocaleCode(locale);
    std::map<int32_t, std::u16string> messages = messagesForLocale(record, locale);
    installConfiguration(std::move(record.config), std::move(messages));
    g_payloadStart = record.payloadStart;
    file.reset();

    const int kind = configInt(107);
    if (kind != 1 && kind != 5)
        disableGuiErrorMode();
    return kind;
}

int64_t payloadStartPosition() { return g_payloadStart; }

size_t configStringWide(int32_t id, wchar_t* buffer, size_t size)
{
    if (!buffer || size == 0)
        return 0;
    const std::wstring wide = configStringWide(id);
    const size_t count = std::min(wide.size(), size - 1);
    std::memcpy(buffer, wide.data(), count * sizeof(wchar_t));
    buffer[count] = L'\0';
    return count;
}

std::wstring configStringWide(int32_t id) { return widenAnsi(configValue(id)); }

std::wstring messageText(int32_t id) { return toWide(messageValue(id)); }

std::wstring messageOrConfigText(int32_t id)
{
    std::wstring text = messageText(id);
    if (text.empty())
        text = configStringWide(id);
    return text;
}

std::wstring formatMessage(int32_t id, const wchar_t* argument)
{
    std::wstring text = messageOrConfigText(id);
    if (!argument)
        return text;
    return toWide(replaceFirstPlaceholder(toU16(text), toU16(argument)));
}

std::wstring formatMessage(int32_t id, const char* argument)
{
    if (!argument)
        return formatMessage(id, static_cast<const wchar_t*>(nullptr));
    const std::wstring wide = widenAnsi(argument);
    return formatMessage(id, wide.c_str());
}

int copyUnscrambled(HANDLE source, HANDLE target, int64_t length, bool unscramble)
{
    if (length <= 0)
        return 0;
    std::vector<uint8_t> buffer(kCopyChunk);
    int64_t copied = 0;
    while (copied < length) {
        const DWORD wanted = static_cast<DWORD>(std::min<int64_t>(length - copied, kCopyChunk));
        DWORD got = 0;
        const BOOL readOk = ReadFile(source, buffer.data(), wanted, &got, nullptr);
        if (!readOk || got == 0) {
            const DWORD error = readOk ? 0 : GetLastError();
            logError(L"ReadFile failed %d %d %I64d", static_cast<int>(got), static_cast<int>(error), copied);
            return 1;
        }
        if (unscramble) {
            for (DWORD i = 0; i < got; ++i)
                buffer[i] ^= kPayloadScramble;
        }
        DWORD offset = 0;
        while (offset < got) {
            DWORD written = 0;
            const BOOL writeOk = WriteFile(target, buffer.data() + offset, got - offset, &written, nullptr);
            // A write that reports success without taking a byte would otherwise repeat forever.
            if (!writeOk || written == 0) {
                const DWORD error = writeOk ? 0 : GetLastError();
                logError(L"WriteFile failed %d %d", static_cast<int>(got - offset), static_cast<int>(error));
                return 2;
            }
            offset += written;
        }
        copied += got;
    }
    return 0;
}
