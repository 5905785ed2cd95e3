#include "app/UriList.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string firstFileOfUriList(const std::string& list) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find_first_of("\r\n", start);
        if (end == std::string::npos) end = list.size();
        std::string line = list.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == '#') continue;  // comments are allowed in the list
        if (line.compare(0, 7, "file://") != 0) continue;
        std::string rest = line.substr(7);
        // "file://host/path": the host part (usually empty or "localhost") is dropped.
        const size_t slash = rest.find('/');
        if (slash == std::string::npos) continue;
        rest = rest.substr(slash);
        std::string path;
        for (size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 &&
                hexValue(rest[i + 2]) >= 0) {
                path += char(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]));
                i += 2;
            } else {
                path += rest[i];
            }
        }
        if (path.find('\0') != std::string::npos) continue;
        return path;
    }
    return "";
}
