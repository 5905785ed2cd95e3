// Feeds arbitrary text as a dropped file list. The name found must be a path with no zero byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/UriList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = firstFileOfUriList(std::string(reinterpret_cast<const char*>(data), size));
    if (!path.empty() && (path[0] != '/' || path.find('\0') != std::string::npos)) std::abort();
    return 0;
}
