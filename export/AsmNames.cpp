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

std::string entryLabel(const std::string& base) {
    static const char* const reserved[] = {
        "a",   "f",   "x",   "y",   "z",   "adc", "and", "asl", "bcc", "bcs", "beq", "bit", "bmi",
        "bne", "bpl", "brk", "bvc", "bvs", "clc", "cld", "cli", "clv", "cmp", "cpx", "cpy", "dec",
        "dex", "dey", "eor", "inc", "inx", "iny", "jmp", "jsr", "lda", "ldx", "ldy", "lsr", "nop",
        "ora", "pha", "php", "pla", "plp", "rol", "ror", "rti", "rts", "sbc", "sec", "sed", "sei",
        "sta", "stx", "sty", "tax", "tay", "tsx", "txa", "txs", "tya"};
    bool symbol = !base.empty() && !std::isdigit(static_cast<unsigned char>(base[0]));
    if (symbol && base.size() <= 3) {
        std::string lower = base;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        for (const char* word : reserved)
            if (lower == word) symbol = false;
    }
    // The generated labels are case-sensitive symbols: only the exact form clashes.
    const std::string generated = "BLEEP_L";
    if (symbol && base.size() > generated.size() && base.compare(0, generated.size(), generated) == 0 &&
        base.find_first_not_of("0123456789", generated.size()) == std::string::npos)
        symbol = false;
    return symbol ? base : "BLEEP_" + base;
}

OutputNames::OutputNames(const std::string& outputPath)
    : path(outputPath),
      base(sanitizeLabel(replaceExtension(fileNameOf(outputPath), ""))),
      label(entryLabel(base)),
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
