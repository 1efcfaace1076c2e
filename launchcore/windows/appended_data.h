// Loading the launcher's own appended data at start-up: configuration record, message table
// and the locale blocks of the detected locale. The tables and the plain lookups are in
// launchcore/configuration.h, the display texts in messages/message_texts.h.
#pragma once

#include <cstdint>

// Reads the configuration record, message table and locale blocks, and returns entry 107
// (the application kind). Switches the GUI error mode off unless that kind is 1 or 5.
// Fatal ("Internal Error: ..." or "Error opening media file.") when the data cannot be read.
int loadAppendedData();

// The position after the locale blocks, where the included files begin.
int64_t payloadStartPosition();
