// Starting the Java VM inside the launcher process and calling the launcher class's main.
#pragma once

#include <string>
#include <vector>

// Loads the VM library of a runtime and binds JNI_CreateJavaVM. With a location, that
// runtime (a java executable when isJavaExe, else a runtime directory); without one, the
// search chooses. With showErrors a failure shows a message (not fatal).
bool LoadDLL(bool showErrors, const char* location, bool isJavaExe);
// Whether a LoadDLL succeeded, so that a VM can be created.
bool vmLibraryLoaded();

// Composes the VM options, creates the VM and calls main with the launcher arguments; true
// when main returned without a pending exception. After a successful LoadDLL, on the thread
// that will own the VM.
bool launchProgram(const std::vector<std::wstring>& arguments, bool destroyAfterMain);
