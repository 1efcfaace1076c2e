#include "testing/launcher_builder.h"

#include "launchcore/windows/base/handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::wstring temporaryFolder()
{
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0)
            return L"C:\\windows\\temp\\";
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length + 1);
    }
}

std::wstring currentTestName()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "outside-test";
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
            c = '_';
    }
    return fromUtf8(name);
}

bool currentTestFailed()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info && info->result() && info->result()->Failed();
}

struct Reader {
    const std::vector<uint8_t>& bytes;
    uint64_t position;
    bool ok = true;

    int32_t int32()
    {
        if (position + 4 > bytes.size()) {
            ok = false;
            return 0;
        }
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<uint32_t>(bytes[position + i]) << (8 * i);
        position += 4;
        return static_cast<int32_t>(value);
    }
    void skip(int64_t length)
    {
        if (length < 0 || position + static_cast<uint64_t>(length) > bytes.size()) {
            ok = false;
            return;
        }
        position += static_cast<uint64_t>(length);
    }
    // id, length, bytes; records the length field's position.
    void entries(std::vector<AppendedLayout::Entry>& into)
    {
        const int32_t count = int32();
        for (int32_t i = 0; ok && i < count; ++i) {
            AppendedLayout::Entry entry;
            entry.id = int32();
            entry.lengthOffset = position;
            entry.length = int32();
            skip(entry.length);
            into.push_back(entry);
        }
    }
};

} // namespace

std::wstring testProgramPath()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring testProgramDirectory()
{
    const std::wstring path = testProgramPath();
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::optional<std::vector<uint8_t>> readFileBytes(const std::wstring& path)
{
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool fileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool directoryExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<uint8_t> readStub(const wchar_t* stubName)
{
    auto bytes = readFileBytes(testProgramDirectory() + L"\\" + stubName);
    return bytes ? std::move(*bytes) : std::vector<uint8_t>();
}

ScratchDirectory::ScratchDirectory()
{
    static std::atomic<int> counter{0};
    const std::wstring root = temporaryFolder() + L"sldk-tests";
    CreateDirectoryW(root.c_str(), nullptr);
    for (;;) {
        path_ = root + L"\\" + currentTestName() + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        if (CreateDirectoryW(path_.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create the scratch folder " << toUtf8(path_) << " (" << GetLastError() << ")";
            break;
        }
    }
}

ScratchDirectory::~ScratchDirectory()
{
    if (path_.empty() || currentTestFailed() || GetEnvironmentVariableW(L"SLDK_KEEP_SCRATCH", nullptr, 0) > 0)
        return;
    std::error_code ignored;
    fs::remove_all(fs::path(path_), ignored);
}

std::wstring ScratchDirectory::file(const std::wstring& name) const
{
    return path_ + L"\\" + name;
}

std::wstring ScratchDirectory::subdirectory(const std::wstring& name) const
{
    const std::wstring sub = file(name);
    CreateDirectoryW(sub.c_str(), nullptr);
    return sub;
}

sldkpack::LauncherModel basicModel(const std::string& applicationKind)
{
    sldkpack::LauncherModel model;
    model.messages = sldkpack::defaultMessages();
    sldkpack::setConfig(model, 107, applicationKind);
    sldkpack::setConfig(model, 2001, "S");
    return model;
}

std::wstring buildLauncherFile(const wchar_t* stubName, const sldkpack::LauncherModel& model,
                               const std::wstring& directory, const std::wstring& fileName)
{
    const std::vector<uint8_t> stub = readStub(stubName);
    if (stub.empty()) {
        ADD_FAILURE() << "stub " << toUtf8(stubName) << " not found beside the test program";
        return {};
    }
    std::vector<uint8_t> launcher;
    try {
        launcher = sldkpack::buildLauncher(stub, model);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "the packager refused the model: " << e.what();
        return {};
    }
    const std::wstring path = directory + L"\\" + fileName;
    if (!writeFileBytes(path, launcher)) {
        ADD_FAILURE() << "cannot write " << toUtf8(path);
        return {};
    }
    return path;
}

std::wstring copyBareStub(const wchar_t* stubName, const std::wstring& directory, const std::wstring& fileName)
{
    const std::vector<uint8_t> stub = readStub(stubName);
    const std::wstring path = directory + L"\\" + fileName;
    if (stub.empty() || !writeFileBytes(path, stub)) {
        ADD_FAILURE() << "cannot copy the stub " << toUtf8(stubName);
        return {};
    }
    return path;
}

std::vector<std::pair<std::wstring, std::wstring>> launcherEnvironment(const std::wstring& tempDirectory)
{
    return {{L"TMP", tempDirectory}, {L"TEMP", tempDirectory}, {L"SEALDECK_LOG", L""}, {L"VEXON_LOG", L""}};
}

std::optional<LogFile> readLog(const std::wstring& path)
{
    auto bytes = readFileBytes(path);
    if (!bytes)
        return std::nullopt;
    LogFile log;
    size_t start = 0;
    if (bytes->size() >= 3 && (*bytes)[0] == 0xEF && (*bytes)[1] == 0xBB && (*bytes)[2] == 0xBF) {
        log.hasByteOrderMark = true;
        start = 3;
    }
    for (size_t i = start; i < bytes->size(); ++i) {
        if ((*bytes)[i] == '\r' && i + 1 < bytes->size() && (*bytes)[i + 1] == '\n')
            continue;
        log.text.push_back(static_cast<char>((*bytes)[i]));
    }
    return log;
}

std::vector<std::wstring> listLogs(const std::wstring& directory)
{
    std::vector<std::pair<long, std::wstring>> found;
    WIN32_FIND_DATAW data;
    unique_find search(FindFirstFileW((directory + L"\\sldk_nlog_*.log").c_str(), &data));
    if (!search)
        return {};
    do {
        const std::wstring name = data.cFileName;
        // The pattern also matches through 8.3 names; keep only the real ones.
        if (name.rfind(L"sldk_nlog_", 0) != 0 || name.size() < 15 || name.substr(name.size() - 4) != L".log")
            continue;
        found.emplace_back(wcstol(name.c_str() + 10, nullptr, 10), directory + L"\\" + name);
    } while (FindNextFileW(search.get(), &data));
    std::sort(found.begin(), found.end());
    std::vector<std::wstring> paths;
    for (auto& entry : found)
        paths.push_back(std::move(entry.second));
    return paths;
}

int countOccurrences(const std::string& text, const std::string& needle)
{
    if (needle.empty())
        return 0;
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring fromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(std::max(size, 0)), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

bool truncateFile(const std::wstring& path, uint64_t size)
{
    std::error_code error;
    fs::resize_file(fs::path(path), size, error);
    return !error;
}

bool overwriteBytes(const std::wstring& path, uint64_t offset, const std::vector<uint8_t>& bytes)
{
    std::fstream file(fs::path(path), std::ios::binary | std::ios::in | std::ios::out);
    if (!file)
        return false;
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

std::optional<AppendedLayout> describeAppendedData(const std::vector<uint8_t>& file)
{
    AppendedLayout layout;
    try {
        layout.appendedStart = sldkpack::endOfLastSection(file);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    Reader reader{file, layout.appendedStart + 20};
    layout.configStart = reader.position;
    reader.entries(layout.configEntries);
    layout.messagesStart = reader.position;
    reader.entries(layout.messageEntries);
    layout.localeStart = reader.position;
    const int32_t blocks = reader.int32();
    for (int32_t b = 0; reader.ok && b < blocks; ++b) {
        reader.skip(reader.int32()); // the key
        std::vector<AppendedLayout::Entry> ignored;
        reader.entries(ignored);
    }
    layout.payloadStart = reader.position;
    if (!reader.ok)
        return std::nullopt;
    return layout;
}

std::optional<AppendedLayout> describeAppendedData(const std::wstring& path)
{
    auto bytes = readFileBytes(path);
    if (!bytes)
        return std::nullopt;
    return describeAppendedData(*bytes);
}
