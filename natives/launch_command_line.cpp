#include "natives/launch_command_line.h"

std::u16string launchCommandLine(std::u16string_view commandLine,
                                 const std::function<bool(std::u16string_view path)>& isExistingFile)
{
    const bool mayBeSplit = !commandLine.empty() && commandLine.front() != u'"' &&
                            commandLine.find_first_of(u" \t") != std::u16string_view::npos;
    if (!mayBeSplit || !isExistingFile(commandLine))
        return std::u16string(commandLine);
    std::u16string quoted;
    quoted.reserve(commandLine.size() + 2);
    quoted.append(1, u'"').append(commandLine).append(1, u'"');
    return quoted;
}
