#include "testing/process_runner.h"

#include "launchcore/windows/base/handles.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace {

// Only one child is created at a time: the child ends of its pipes are inheritable for the
// moment of CreateProcess, and a second CreateProcess on another thread in that moment would
// inherit them too and keep the first child's pipes open until it ended.
std::mutex& creationLock()
{
    static std::mutex lock;
    return lock;
}

struct Reader {
    HANDLE pipe = nullptr;
    std::string text;
};

DWORD WINAPI readAll(void* parameter)
{
    auto* reader = static_cast<Reader*>(parameter);
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(reader->pipe, buffer, sizeof buffer, &got, nullptr) || got == 0)
            break;
        reader->text.append(buffer, got);
    }
    return 0;
}

struct Writer {
    HANDLE pipe = nullptr;
    std::string text;
};

DWORD WINAPI writeAll(void* parameter)
{
    auto* writer = static_cast<Writer*>(parameter);
    size_t done = 0;
    while (done < writer->text.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(writer->text.size() - done, 65536));
        DWORD written = 0;
        if (!WriteFile(writer->pipe, writer->text.data() + done, chunk, &written, nullptr) || written == 0)
            break;
        done += written;
    }
    CloseHandle(writer->pipe);
    writer->pipe = nullptr;
    return 0;
}

bool makePipe(unique_handle& readEnd, unique_handle& writeEnd, bool childReads)
{
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!CreatePipe(&r, &w, &attributes, 0))
        return false;
    readEnd.reset(r);
    writeEnd.reset(w);
    // Only the child's end may be inherited.
    SetHandleInformation(childReads ? w : r, HANDLE_FLAG_INHERIT, 0);
    return true;
}

std::wstring upperName(const std::wstring& entry)
{
    // A leading "=" belongs to the name (the per-drive "=C:" entries).
    const size_t equals = entry.find(L'=', 1);
    std::wstring name = entry.substr(0, equals == std::wstring::npos ? entry.size() : equals);
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    return name;
}

} // namespace

struct RunningProcess::State {
    unique_handle job; // the child and everything it starts; closing it ends them all
    unique_handle process;
    DWORD processId = 0;
    Reader out;
    Reader err;
    Writer in;
    unique_handle outPipe;
    unique_handle errPipe;
    unique_handle outThread;
    unique_handle errThread;
    unique_handle inThread;
    bool waited = false;
};

std::wstring quoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    // Backslashes before the closing quote would escape it.
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

std::wstring buildCommandLine(const std::wstring& program, const ProcessOptions& options)
{
    std::wstring line = quoteArgument(program);
    for (const auto& argument : options.arguments) {
        line.push_back(L' ');
        line += quoteArgument(argument);
    }
    if (options.rawArgumentText) {
        line.push_back(L' ');
        line += *options.rawArgumentText;
    }
    return line;
}

std::wstring buildEnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& overrides)
{
    // Keyed by the upper-case name: Windows names are case-insensitive and the block must be
    // sorted that way.
    std::map<std::wstring, std::wstring> entries;
    if (wchar_t* current = GetEnvironmentStringsW()) {
        for (const wchar_t* p = current; *p; p += wcslen(p) + 1) {
            std::wstring entry(p);
            entries[upperName(entry)] = entry;
        }
        FreeEnvironmentStringsW(current);
    }
    for (const auto& [name, value] : overrides) {
        std::wstring key = name;
        CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
        if (value.empty())
            entries.erase(key);
        else
            entries[key] = name + L"=" + value;
    }
    std::wstring block;
    for (const auto& [key, entry] : entries) {
        block += entry;
        block.push_back(L'\0');
    }
    if (block.empty())
        block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

RunningProcess::RunningProcess(RunningProcess&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)), startError_(other.startError_)
{
}

RunningProcess& RunningProcess::operator=(RunningProcess&& other) noexcept
{
    if (this != &other) {
        if (state_ && !state_->waited)
            wait(0);
        delete state_;
        state_ = std::exchange(other.state_, nullptr);
        startError_ = other.startError_;
    }
    return *this;
}

RunningProcess::~RunningProcess()
{
    if (state_ && !state_->waited)
        wait(0);
    delete state_;
}

DWORD RunningProcess::processId() const
{
    return state_ ? state_->processId : 0;
}

HANDLE RunningProcess::processHandle() const
{
    return state_ ? state_->process.get() : nullptr;
}

RunningProcess startProcess(const std::wstring& program, const ProcessOptions& options)
{
    RunningProcess running;
    auto state = std::make_unique<RunningProcess::State>();

    unique_handle inRead, inWrite, outRead, outWrite, errRead, errWrite;
    std::wstring commandLine = buildCommandLine(program, options);
    std::wstring environment = buildEnvironmentBlock(options.environment);
    PROCESS_INFORMATION info{};
    {
        std::lock_guard<std::mutex> guard(creationLock());
        if (!makePipe(inRead, inWrite, true) || !makePipe(outRead, outWrite, false) ||
            !makePipe(errRead, errWrite, false)) {
            running.startError_ = GetLastError();
            return running;
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inRead.get();
        startup.hStdOutput = outWrite.get();
        startup.hStdError = errWrite.get();
        std::wstring desktop = options.desktop;
        if (!desktop.empty())
            startup.lpDesktop = desktop.data();
        // Started suspended and put into a job before it runs, so that nothing it starts can
        // escape: a grandchild that outlives the test would keep the test's own pipes open.
        // Wine now and then refuses a suspended start with ERROR_INTERNAL_ERROR while other
        // processes are being created; a second attempt goes through.
        BOOL created = FALSE;
        for (int attempt = 0; attempt < 5 && !created; ++attempt) {
            created = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                     CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED | options.creationFlags,
                                     environment.data(),
                                     options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(),
                                     &startup, &info);
            if (!created && GetLastError() != ERROR_INTERNAL_ERROR)
                break;
            if (!created)
                Sleep(100);
        }
        if (!created) {
            running.startError_ = GetLastError();
            return running;
        }
        // Our copies of the child's ends must go, or the pipes never report their end.
        inRead.reset();
        outWrite.reset();
        errWrite.reset();
    }
    state->job.reset(CreateJobObjectW(nullptr, nullptr));
    if (state->job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(state->job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        if (!AssignProcessToJobObject(state->job.get(), info.hProcess))
            state->job.reset();
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    state->process.reset(info.hProcess);
    state->processId = info.dwProcessId;

    state->outPipe = std::move(outRead);
    state->errPipe = std::move(errRead);
    state->out.pipe = state->outPipe.get();
    state->err.pipe = state->errPipe.get();
    state->in.pipe = inWrite.release();
    state->in.text = options.standardInput;
    state->outThread.reset(CreateThread(nullptr, 0, readAll, &state->out, 0, nullptr));
    state->errThread.reset(CreateThread(nullptr, 0, readAll, &state->err, 0, nullptr));
    state->inThread.reset(CreateThread(nullptr, 0, writeAll, &state->in, 0, nullptr));
    if (!state->inThread) {
        CloseHandle(state->in.pipe);
        state->in.pipe = nullptr;
    }
    running.state_ = state.release();
    return running;
}

ProcessResult RunningProcess::wait(DWORD timeoutMs)
{
    ProcessResult result;
    result.startError = startError_;
    if (!state_ || state_->waited)
        return result;
    State& s = *state_;
    s.waited = true;
    result.started = true;
    result.processId = s.processId;

    if (WaitForSingleObject(s.process.get(), timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        if (s.job)
            TerminateJobObject(s.job.get(), 0xDEAD);
        TerminateProcess(s.process.get(), 0xDEAD);
        WaitForSingleObject(s.process.get(), 5000);
    }
    GetExitCodeProcess(s.process.get(), &result.exitCode);

    // A grandchild that inherited the pipes may keep them open; its output is not ours to
    // wait for, so after a short grace time whatever is left of the job is ended.
    HANDLE threads[] = {s.outThread.get(), s.errThread.get(), s.inThread.get()};
    auto readersDone = [&](DWORD ms) {
        const ULONGLONG deadline = GetTickCount64() + ms;
        for (HANDLE thread : threads) {
            if (!thread)
                continue;
            const ULONGLONG now = GetTickCount64();
            const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
            if (WaitForSingleObject(thread, left) != WAIT_OBJECT_0)
                return false;
        }
        return true;
    };
    if (!readersDone(3000)) {
        if (s.job)
            TerminateJobObject(s.job.get(), 0xDEAD);
        if (!readersDone(3000)) {
            for (HANDLE thread : threads) {
                if (thread && WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) {
                    CancelSynchronousIo(thread);
                    if (WaitForSingleObject(thread, 1000) != WAIT_OBJECT_0)
                        TerminateThread(thread, 1);
                }
            }
        }
    }
    s.job.reset();
    if (s.in.pipe) {
        CloseHandle(s.in.pipe);
        s.in.pipe = nullptr;
    }
    result.standardOutput = std::move(s.out.text);
    result.standardError = std::move(s.err.text);
    return result;
}

ProcessResult runProcess(const std::wstring& program, const ProcessOptions& options)
{
    RunningProcess running = startProcess(program, options);
    if (!running.started()) {
        ProcessResult result;
        result.startError = running.startError();
        return result;
    }
    return running.wait(options.timeoutMs);
}
