#pragma once
// Replacing a file so that a failed or interrupted write never destroys the previous one.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes the bytes to a new temporary file beside `path` (same folder, so the rename stays on one
// file system), flushes it to disk, and renames it over `path`, keeping an existing file's
// permissions. True only when all of that succeeded; on failure the temporary file is removed and
// whatever was at `path` before is untouched.
bool writeFileAtomically(const std::string& path, const void* data, size_t size);
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
bool writeFileAtomically(const std::string& path, const std::string& text);
