// The command line of the service's worker: the supervisor starts a second copy of its own
// executable, which splits this text again with the launcher's own splitter, so every piece
// has to come back from that splitter exactly as it went in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The worker command line lives in a buffer of this many characters, terminator included.
inline constexpr size_t kWorkerCommandLineCapacity = 12000;

enum class WorkerCommandLineProblem {
    None,
    // A piece holds a double quote: the splitter has no escape, so it cannot be passed.
    UnquotablePiece,
    // The text would not fit the buffer; cutting it would lose the marker at its end.
    TooLong,
};

struct WorkerCommandLine {
    std::u16string text;
    WorkerCommandLineProblem problem = WorkerCommandLineProblem::None;
    std::u16string offendingPiece; // the piece with the double quote
};

// processArguments is this process's split command line (element 0 the executable);
// startArguments are those the service control manager passed, the first being the
// service name, which is skipped. The worker gets: element 0, the service name, elements 1
// onwards, the start arguments after the first, and the marker.
WorkerCommandLine buildWorkerCommandLine(const std::vector<std::u16string>& processArguments,
                                         std::u16string_view serviceName,
                                         const std::vector<std::u16string>& startArguments);
