// Restores jars shipped in pack200 form with the runtime's own bin\unpack200.exe.
#pragma once

#include <string>

// Restores every "*.jar.pack" in lib and lib\ext below the runtime directory whose jar is
// missing. Announces the work once per call ("Preparing JRE ..." on the console).
void unpackJarPacks(const std::string& runtimeDirectory);

// Restores one ".pack" file into the file named without that suffix, with the unpack200 of
// runtimeDirectory. The pack is deleted only when the tool succeeds; on a failure the partial
// jar is deleted and the pack kept, so a later run tries again. Fatal (message 1009 "20")
// when the tool cannot be started.
void unpackPackFile(const std::string& runtimeDirectory, const std::string& packPath);
