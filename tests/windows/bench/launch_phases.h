// The start-up phases of one launcher run, read from Wine's relay trace of it
// (WINEDEBUG=+timestamp,+relay,+loaddll). The trace clock is the monotonic tick count in
// whole milliseconds, the clock QueryPerformanceCounter counts in 100 ns under Wine, so the
// benchmark's own counter reading before CreateProcess places the process creation on it.
//
// The phases are cut at calls the launcher makes anyway: the C runtime's __wgetmainargs (our
// entry follows), the formatting of known log lines (msvcrt._vsnwprintf with the format in
// its arguments), the LoadLibrary of jvm.dll and the stand-in VM's clock reading at the top
// of JNI_CreateJavaVM.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

enum Phase {
    kLoaderAndRuntime, // process creation to the first line of our entry
    kAppendedData,     // the launcher file's data, locale and messages (without the log's set-up)
    kFirstLogLine,     // the log file's set-up and its first line
    kStartupEnvironment, // paths, working directory, console, DLL search, payload, single instance
    kRuntimeSearch,    // "LoadDLL" to the LoadLibrary of the chosen jvm.dll
    kVmLibrary,        // loading jvm.dll and binding JNI_CreateJavaVM
    kOptionFiles,      // the ".vmoptions" files
    kOptionComposition, // the rest of the option list up to JNI_CreateJavaVM
    kPhaseCount
};

const char* phaseName(Phase phase);

// The functions the timing runs trace (the value of RelayInclude): few calls each, so the
// trace costs little.
const wchar_t* relayMarkerFunctions();

struct PhaseCounts {
    int registryCalls = 0;
    int fileOpens = 0;     // CreateFile, _wfopen and the other opens of the C runtime
    int existenceChecks = 0; // FindFirstFile and GetFileAttributes
    int dllLoads = 0;      // modules the loader mapped
};

struct PhaseBreakdown {
    std::array<double, kPhaseCount> ms{};
    std::array<PhaseCounts, kPhaseCount> counts{};
    double entryToVmMs = 0;
};

// The functions of the runs that only time our entry to JNI_CreateJavaVM: two traced calls,
// so the figure carries next to no tracing cost.
const wchar_t* relayEndFunctions();

// Our entry to JNI_CreateJavaVM in a run traced with relayEndFunctions (or more); nullopt
// when either end is missing.
std::optional<double> entryToVm(const std::string& trace);

// Splits one run's trace; createdMs is the counter reading (in ms) before CreateProcess.
// nullopt when a cut is missing (the text says which).
std::optional<PhaseBreakdown> splitPhases(const std::string& trace, double createdMs, std::string& missing);
