// The temporary directory (with its fallbacks and write probe), temporary names and the
// extraction directory.
#pragma once

#include <string>

// The 8-bit temporary directory; fatal with message 1015 when no candidate is usable.
const std::string& temporaryDirectoryAnsi();
// The UTF-16 temporary directory; empty when none is usable (fatal with message 1015 only
// when fatalWhenNone). Never logs, so the log can use it while it sets itself up.
const std::wstring& temporaryDirectoryWide(bool fatalWhenNone);
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

// A new unique file name in the 8-bit temporary directory.
std::string tempFileName();

// The extraction directory, an 8-bit path; empty when there is none.
std::string& extractionDirectory();
// Creates a fresh extraction directory (ten attempts, then fatal message 1009 "7").
void createExtractionDirectory();
