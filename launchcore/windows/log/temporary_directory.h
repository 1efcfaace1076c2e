// The temporary directory: the search over its candidates (with their fallbacks and a write
// probe) and the manual directory of "-temp". Nothing here logs or ends the process: the
// diagnostic log asks for the directory while it sets itself up, and what to do when there
// is none is the caller's decision.
#pragma once

#include <string>

// The 8-bit temporary directory; empty when no candidate is usable.
const std::string& temporaryDirectoryAnsi();
// The UTF-16 temporary directory; empty when no candidate is usable.
const std::wstring& temporaryDirectoryWide();
// Set when only the relaxed second pass found a directory.
bool temporaryDirectoryFallbackUsed();

// A manual temporary directory ("-temp DIR") checked and set by the start-up; both forms
// override the search. Returns false (and sets nothing) when it is not usable.
// ansiForm receives the 8-bit form that was checked (also when it is not usable).
bool setManualTemporaryDirectory(const std::wstring& directory, std::string* ansiForm = nullptr);

// Whether a directory can hold the launcher's files: created first when asked, its long
// form free of characters the ANSI code page lacks when asked, and a probe directory can be
// made in it.
bool isUsableDirectory(const std::wstring& directory, bool create, bool ansiCheck);

// One uncached walk over the candidate directories; empty when none is usable. The
// temporary directory caches the first answer; tests call this to see the candidates.
std::wstring searchTemporaryDirectory(bool& fallbackUsed);
