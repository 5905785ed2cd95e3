#pragma once
// The converter as the program's entry runs it: everything a conversion needs, made for the run
// alone (a song, the sound chip and its output buffer, the Player, the capture recorder), with no
// configuration and no window.

#include <optional>

// Nothing when the command line is not the converter's (the program then starts the editor).
// Otherwise converts, writing progress to standard output, and returns the exit code: 0 on
// success, 1 on failure. An error that ends the run is printed as "Error: " + message on
// standard error and gives 1.
std::optional<int> runConverterFromCommandLine(int argc, char** argv);
