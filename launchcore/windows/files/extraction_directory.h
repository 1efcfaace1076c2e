// The extraction directory on disk: made fresh for the included files, and emptied and
// removed again when the launcher stops on an error. Its path is launcher state.
#pragma once

#include <string>

enum class ExtractionDirectoryResult { Created, NoTemporaryDirectory, NotCreated };

// Makes a fresh directory "<temporary name>_dir<time>" (ten attempts) and records it as the
// extraction directory; on a failure none is recorded.
ExtractionDirectoryResult createExtractionDirectory();

// Deletes the files of a directory and, with alsoSubdirectories, empties and removes its
// first-level subdirectories. Links are removed, never followed. Paths that are empty or
// begin with "." are left alone.
void emptyDirectory(const std::string& path, bool alsoSubdirectories);

// Deletes a directory with everything below it, however deep. A junction or directory link
// inside is removed as a link and never descended. The same path rules as emptyDirectory.
void deleteDirectoryTree(const std::string& path);
