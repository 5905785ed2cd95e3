#pragma once
// Small helpers for writing JSON text by hand.

#include <cstdint>
#include <cstdio>
#include <string>

// A JSON string literal (with quotes) for arbitrary bytes: quotes, backslashes and control
// characters are escaped, and bytes 0x80-0xFF become \u0080-\u00FF so that text read from a file
// in any encoding always gives valid JSON.
inline std::string jsonString(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
                    out += buf;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

inline const char* jsonBool(bool b) { return b ? "true" : "false"; }
