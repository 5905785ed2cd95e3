#pragma once
// Writing the converter's text files.

#include <string>

// Replaces the file at `path` with `text`: written beside it under a temporary name, flushed and
// renamed over it, so a failed write never leaves a half-written file. False when the file cannot
// be created or written.
bool writeTextFileAtomically(const std::string& path, const std::string& text);
