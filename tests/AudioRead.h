#pragma once
// Reads an audio file back with libsndfile: its samples as 16-bit values, its format in `info`
// (all zero, and no samples, when the file does not open).

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

inline std::vector<int16_t> readAudio(const std::string& path, SF_INFO& info) {
    info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<int16_t> s(size_t(info.frames));
    s.resize(size_t(std::max<sf_count_t>(0, sf_read_short(f, s.data(), sf_count_t(s.size())))));
    sf_close(f);
    return s;
}
