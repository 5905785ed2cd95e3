#pragma once
// Small services of the operating system: where the program lives, and the last-resort error box.

#include <string>

// The directory of the running executable with its trailing '/', from /proc/self/exe; "./" when
// it cannot be found.
std::string executableDirectory();

// Writes "Error: " + message to standard error and, when a display is available, shows a
// message box titled "Bleepforge" with "Error:\n\n" + message (through zenity or xmessage,
// whichever is installed; nothing when neither is). Returns after the box is closed.
void reportFatalError(const std::string& message);

// The same for an error without a message: "Unknown error occurred."
void reportUnknownError();
