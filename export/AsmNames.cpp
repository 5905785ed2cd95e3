#include "export/AsmNames.h"

#include <cctype>

const std::string& LabelTable::labelFor(const std::string& key) {
    auto it = labels_.find(key);
    if (it == labels_.end()) it = labels_.emplace(key, "BLEEP_L" + std::to_string(labels_.size())).first;
    return it->second;
}

namespace {

// Position of the "." that starts the name's extension, or npos.
size_t extensionDot(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::string::npos;
    const size_t sep = name.find_last_of("/\\");
    if (sep != std::string::npos && dot <= sep + 1) return std::string::npos;
    return dot;
}

}  // namespace

std::string directoryOf(const std::string& path) {
    const size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string fileNameOf(const std::string& path) {
    const size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string extensionOf(const std::string& name, const std::string& fallback) {
    const size_t dot = extensionDot(name);
    return dot == std::string::npos ? fallback : name.substr(dot + 1);
}

std::string replaceExtension(const std::string& name, const std::string& ext) {
    const size_t dot = extensionDot(name);
    std::string result = dot == std::string::npos ? name : name.substr(0, dot);
    if (!ext.empty()) result += "." + ext;
    return result;
}

std::string sanitizeLabel(const std::string& text) {
    std::string result = text;
    for (char& c : result)
        if (!std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80) c = '_';
    return result;
}

std::string entryKey(const std::string& prefix, const std::string& path) {
    return prefix + "_" + sanitizeLabel(replaceExtension(fileNameOf(path), ""));
}

OutputNames::OutputNames(const std::string& outputPath)
    : path(outputPath),
      base(sanitizeLabel(replaceExtension(fileNameOf(outputPath), ""))),
      stem(replaceExtension(fileNameOf(outputPath), "")),
      ext(extensionOf(fileNameOf(outputPath), "s")) {
    const std::string dir = directoryOf(outputPath);
    if (!dir.empty()) prefix = dir + "/";
}

std::string OutputNames::songFileName(const std::string& songPath) const {
    std::string name = prefix + stem + "-" + replaceExtension(fileNameOf(songPath), ext);
    if (name == songPath) name += ".1";
    return name;
}

std::string OutputNames::effectFileName(const std::string& effectPath) const {
    return prefix + stem + "-" + replaceExtension(fileNameOf(effectPath), ext);
}

std::string OutputNames::dpcmFileName() const { return prefix + stem + "-dpcm." + ext; }
