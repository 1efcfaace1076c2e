// Getting a runtime when the installer carries none and none is installed: the download
// dialog with its Download, Locate and Cancel choices, or a download without asking.
#pragma once

#include <windows.h>

// Offers the download or the manual choice of a runtime (without asking when configured so)
// and, when the installer started without window, closes the progress window afterwards.
// Ends the process when the user cancels or nothing could be had.
void offerRuntimeDownload(HWND window);
