#include "launch_phases.h"

#include <cstdlib>
#include <functional>
#include <sstream>

namespace {

struct Event {
    double ms = 0;
    bool call = false;      // "Call" (else "Ret", or a module load)
    bool moduleLoad = false;
    std::string function;   // "KERNEL32.CreateFileW"
    std::string rest;       // the arguments, or the module path
    unsigned long long caller = 0; // the return address
};

// "597.668:0134:Call msvcrt.__wgetmainargs(...) ret=140001173",
// "597.668:0134:Ret  msvcrt.__wgetmainargs() retval=0 ret=140001173",
// "597.549:0134:trace:loaddll:build_module Loaded L"C:\...\bench.exe" at 0000000140000000: native"
std::optional<Event> parseLine(const std::string& line)
{
    const size_t dot = line.find('.');
    const size_t colon = line.find(':');
    if (dot == std::string::npos || colon == std::string::npos || dot > colon)
        return std::nullopt;
    const size_t body = line.find(':', colon + 1);
    if (body == std::string::npos)
        return std::nullopt;
    Event event;
    event.ms = std::atof(line.substr(0, dot).c_str()) * 1000.0 + std::atof(line.substr(dot + 1, colon - dot - 1).c_str());
    const std::string text = line.substr(body + 1);
    if (text.rfind("trace:loaddll:", 0) == 0) {
        const size_t loaded = text.find(" Loaded L\"");
        if (loaded == std::string::npos)
            return std::nullopt;
        event.moduleLoad = true;
        event.rest = text.substr(loaded + 10);
        const size_t at = event.rest.find("\" at ");
        if (at != std::string::npos)
            event.caller = std::strtoull(event.rest.c_str() + at + 5, nullptr, 16); // the base
        return event;
    }
    const bool call = text.rfind("Call ", 0) == 0;
    if (!call && text.rfind("Ret  ", 0) != 0)
        return std::nullopt;
    const size_t open = text.find('(');
    if (open == std::string::npos)
        return std::nullopt;
    event.call = call;
    event.function = text.substr(5, open - 5);
    const size_t ret = text.rfind(" ret=");
    event.rest = text.substr(open, ret == std::string::npos ? std::string::npos : ret - open);
    if (ret != std::string::npos)
        event.caller = std::strtoull(text.c_str() + ret + 5, nullptr, 16);
    return event;
}

bool isLogFormat(const Event& e, const char* text = nullptr)
{
    return e.call && e.function == "msvcrt._vsnwprintf" && (!text || e.rest.find(text) != std::string::npos);
}

// A call the timing runs trace too, so cuts fall on the same calls in both kinds of run.
bool isMarker(const Event& e)
{
    static const char* const markers[] = {"msvcrt.__wgetmainargs", "msvcrt.__getmainargs", "msvcrt._vsnwprintf",
                                          "KERNEL32.GetModuleFileNameW", "KERNEL32.LoadLibraryA",
                                          "KERNEL32.LoadLibraryW", "KERNEL32.LoadLibraryExA", "KERNEL32.LoadLibraryExW",
                                          "KERNEL32.GetSystemTimePreciseAsFileTime"};
    if (!e.call)
        return false;
    for (const char* marker : markers)
        if (e.function == marker)
            return true;
    return false;
}

} // namespace

const char* phaseName(Phase phase)
{
    static const char* const names[kPhaseCount] = {
        "loader and C runtime to our entry", "reading the appended data", "first log line",
        "start-up environment",              "runtime search",            "loading the VM library",
        "option files",                      "composing the options",
    };
    return names[phase];
}

const wchar_t* relayMarkerFunctions()
{
    return L"msvcrt.__wgetmainargs;msvcrt.__getmainargs;msvcrt._vsnwprintf;kernel32.GetModuleFileNameW;kernel32.LoadLibraryA;"
           L"kernel32.LoadLibraryW;kernel32.LoadLibraryExA;kernel32.LoadLibraryExW;"
           L"kernel32.GetSystemTimePreciseAsFileTime";
}

const wchar_t* relayEndFunctions()
{
    return L"msvcrt.__wgetmainargs;msvcrt.__getmainargs;kernel32.GetSystemTimePreciseAsFileTime";
}

std::optional<double> entryToVm(const std::string& trace)
{
    std::optional<double> entry;
    bool vmLoaded = false;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        const std::optional<Event> e = parseLine(line);
        if (!e)
            continue;
        if (!entry && !e->call && !e->moduleLoad &&
            (e->function == "msvcrt.__wgetmainargs" || e->function == "msvcrt.__getmainargs"))
            entry = e->ms;
        else if (e->moduleLoad && e->rest.find("jvm.dll\"") != std::string::npos)
            vmLoaded = true;
        else if (entry && vmLoaded && e->call && e->function == "KERNEL32.GetSystemTimePreciseAsFileTime")
            return e->ms - *entry;
    }
    return std::nullopt;
}

std::optional<PhaseBreakdown> splitPhases(const std::string& trace, double createdMs, std::string& missing)
{
    std::vector<Event> events;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (auto event = parseLine(line))
            events.push_back(std::move(*event));
    }
    // The launcher is the first module of the trace; its calls are those returning into it.
    unsigned long long imageBase = 0;
    for (const Event& e : events)
        if (e.moduleLoad && e.rest.find(".exe\"") != std::string::npos) {
            imageBase = e.caller;
            break;
        }
    const auto fromLauncher = [&](const Event& e) {
        return imageBase && e.caller >= imageBase && e.caller < imageBase + 0x1000000;
    };

    size_t at = 0;
    const auto find = [&](const char* what, size_t from, const std::function<bool(const Event&)>& match) {
        for (size_t i = from; i < events.size(); ++i)
            if (match(events[i]))
                return i;
        if (missing.empty())
            missing = what;
        return events.size();
    };
    const size_t entry = find("entry", at, [](const Event& e) {
        return !e.call && !e.moduleLoad && (e.function == "msvcrt.__wgetmainargs" || e.function == "msvcrt.__getmainargs");
    });
    // The launcher file is opened by its own path; the log header asks for the same name, so
    // that call is passed over.
    size_t ownPath = entry;
    for (;;) {
        ownPath = find("own path", ownPath, [&](const Event& e) {
            return e.call && e.function == "KERNEL32.GetModuleFileNameW" && fromLauncher(e);
        });
        size_t next = ownPath + 1;
        while (next < events.size() && !isMarker(events[next]))
            ++next;
        if (next >= events.size() || !isLogFormat(events[next], "Started executable"))
            break;
        ++ownPath;
    }
    const size_t firstLog = find("first log line", entry, [&](const Event& e) { return isLogFormat(e) && fromLauncher(e); });
    const size_t prefix = find("first prefix", firstLog, [](const Event& e) { return isLogFormat(e, "L\"[%d:%d] \""); });
    // Whatever the launcher does next ends the first line (in the installer that is loading
    // libraries, not logging).
    const size_t secondLog = find("after the first line", prefix + 1, [](const Event& e) { return isMarker(e); });
    const size_t locale = find("locale line", secondLog, [](const Event& e) { return isLogFormat(e, "language/country is"); });
    const size_t afterData = find("after the data", locale + 1, [](const Event& e) { return isLogFormat(e); });
    const size_t search = find("LoadDLL", afterData, [](const Event& e) { return isLogFormat(e, "L\"LoadDLL ("); });
    const size_t load = find("jvm.dll load", search, [](const Event& e) {
        return e.call && e.function.rfind("KERNEL32.LoadLibrary", 0) == 0 && e.rest.find("jvm.dll") != std::string::npos;
    });
    const size_t loaded = find("jvm.dll loaded", load, [](const Event& e) { return isLogFormat(e, "Loading of JVM-DLL successful"); });
    // The default file is opened by the launcher's name, just before its first log line.
    size_t options = find("option files", loaded, [](const Event& e) { return isLogFormat(e, "vmoptions"); });
    if (options < events.size()) {
        size_t previous = options - 1;
        while (previous > loaded && !isMarker(events[previous]))
            --previous;
        if (events[previous].function == "KERNEL32.GetModuleFileNameW")
            options = previous;
    }
    const size_t optionsShown = find("option file shown", options, [](const Event& e) { return isLogFormat(e, "default vmoptions file"); });
    const size_t afterOptions = find("after the option files", optionsShown + 1, [](const Event& e) { return isLogFormat(e); });
    const size_t vm = find("JNI_CreateJavaVM", loaded, [](const Event& e) {
        return e.call && e.function == "KERNEL32.GetSystemTimePreciseAsFileTime";
    });
    if (!missing.empty())
        return std::nullopt;

    // Each stretch between two traced events belongs to the phase of the first; a phase may be
    // made of several stretches (the start-up environment comes before and after the appended
    // data, and the first log line is written wherever the first line is logged).
    const auto phaseOf = [&](size_t i) -> Phase {
        if (i < entry)
            return kLoaderAndRuntime;
        if (i >= firstLog && i < secondLog)
            return kFirstLogLine;
        if (i < ownPath)
            return kStartupEnvironment;
        if (i < afterData)
            return kAppendedData;
        if (i < search)
            return kStartupEnvironment;
        if (i < load)
            return kRuntimeSearch;
        if (i < loaded)
            return kVmLibrary;
        if (i >= options && i < afterOptions)
            return kOptionFiles;
        return kOptionComposition;
    };
    PhaseBreakdown result;
    result.ms[kLoaderAndRuntime] = events[entry].ms - createdMs;
    for (size_t i = entry; i < vm; ++i)
        result.ms[phaseOf(i)] += events[i + 1].ms - events[i].ms;
    result.entryToVmMs = events[vm].ms - events[entry].ms;

    static const char* const opens[] = {"KERNEL32.CreateFileW", "KERNEL32.CreateFileA", "msvcrt._wfopen",
                                        "msvcrt._wfsopen",      "msvcrt.fopen",         "msvcrt._fsopen",
                                        "msvcrt._wopen",        "msvcrt._open"};
    static const char* const checks[] = {"KERNEL32.FindFirstFileA", "KERNEL32.FindFirstFileW",
                                         "KERNEL32.FindFirstFileExW", "KERNEL32.GetFileAttributesA",
                                         "KERNEL32.GetFileAttributesW", "KERNEL32.GetFileAttributesExW",
                                         "KERNEL32.GetFileAttributesExA"};
    for (size_t i = 0; i <= vm; ++i) {
        const Event& e = events[i];
        PhaseCounts& counts = result.counts[phaseOf(i)];
        if (e.moduleLoad) {
            ++counts.dllLoads;
            continue;
        }
        if (!e.call || !fromLauncher(e))
            continue;
        if (e.function.rfind("advapi32.Reg", 0) == 0)
            ++counts.registryCalls;
        for (const char* name : opens)
            counts.fileOpens += e.function == name;
        for (const char* name : checks)
            counts.existenceChecks += e.function == name;
    }
    return result;
}
