#include "servicelauncher/worker_command_line.h"

#include "servicelauncher/service_commands.h" // kWorkerMarker

namespace {

// The splitter separates at blanks and opens a quoted part at an apostrophe anywhere in an
// unquoted argument (a path such as C:\Users\O'Neil\... would swallow the rest of the line),
// and it drops an empty argument unless it is written as "".
bool needsQuotes(std::u16string_view piece)
{
    return piece.empty() || piece.find_first_of(u" '") != std::u16string_view::npos;
}

// Appends one piece; false when it cannot be represented.
bool appendPiece(WorkerCommandLine& line, std::u16string_view piece)
{
    if (piece.find(u'"') != std::u16string_view::npos) {
        line.problem = WorkerCommandLineProblem::UnquotablePiece;
        line.offendingPiece.assign(piece);
        return false;
    }
    if (!line.text.empty())
        line.text += u' ';
    if (needsQuotes(piece)) {
        line.text += u'"';
        line.text.append(piece);
        line.text += u'"';
    } else {
        line.text.append(piece);
    }
    return true;
}

} // namespace

WorkerCommandLine buildWorkerCommandLine(const std::vector<std::u16string>& processArguments,
                                         std::u16string_view serviceName,
                                         const std::vector<std::u16string>& startArguments)
{
    std::vector<std::u16string_view> pieces;
    pieces.emplace_back(processArguments.empty() ? std::u16string_view() : std::u16string_view(processArguments[0]));
    pieces.push_back(serviceName);
    for (size_t i = 1; i < processArguments.size(); ++i)
        pieces.emplace_back(processArguments[i]);
    for (size_t i = 1; i < startArguments.size(); ++i)
        pieces.emplace_back(startArguments[i]);
    pieces.push_back(kWorkerMarker);

    WorkerCommandLine line;
    for (std::u16string_view piece : pieces) {
        if (!appendPiece(line, piece)) {
            line.text.clear();
            return line;
        }
        // Checked as the text grows, so a huge argument list is refused without being built.
        if (line.text.size() >= kWorkerCommandLineCapacity) {
            line.problem = WorkerCommandLineProblem::TooLong;
            line.text.clear();
            return line;
        }
    }
    return line;
}
