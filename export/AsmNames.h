#pragma once
// Labels and file names shared by every file of one converter run.
//
// Labels never carry user text: each key (a text built from the output name, song names and
// numbers) is given the next "BLEEP_L<n>", so a key asked for in one file and referred to in
// another is the same symbol, and nothing a file is called can break the assembler's syntax.

#include <map>
#include <string>

class LabelTable {
  public:
    // The label of `key`: the one given before, or "BLEEP_L" + the number of keys known so far.
    const std::string& labelFor(const std::string& key);
    size_t size() const { return labels_.size(); }

  private:
    std::map<std::string, std::string> labels_;
};

// Path helpers; "/" and "\" both separate directories.
// Everything before the last separator; empty when there is none.
std::string directoryOf(const std::string& path);
// Everything after the last separator; the whole path when there is none.
std::string fileNameOf(const std::string& path);
// Text after the last "." of the name, or `fallback` when there is no "." or it is the name's
// first character or follows a separator.
std::string extensionOf(const std::string& name, const std::string& fallback);
// The name without its last extension, then "." + ext when ext is not empty.
std::string replaceExtension(const std::string& name, const std::string& ext);
// Every character that is not an ASCII letter or digit becomes "_".
std::string sanitizeLabel(const std::string& text);
// prefix + "_" + sanitized file name without extension.
std::string entryKey(const std::string& prefix, const std::string& path);
// The label a game refers to the converter's output by: the sanitized output stem as it stands
// when the assembler takes it as a symbol, else "BLEEP_" + stem. A stem is not a symbol when it
// is empty, starts with a digit, is a 6502 mnemonic or one of the names ca65 reserves for
// registers and address sizes (a, f, x, y, z; any case), or has the form of the generated labels
// ("BLEEP_L" + digits). The prefixed form can never be a generated label.
std::string entryLabel(const std::string& base);

// The names derived from the output path given with "-o".
struct OutputNames {
    std::string path;    // as given
    std::string base;    // sanitized stem: the prefix of every label key
    std::string label;   // the entry label, entryLabel(base)
    std::string stem;    // file name without extension
    std::string ext;     // its extension, "s" when it has none
    std::string prefix;  // its directory + "/", or empty

    explicit OutputNames(const std::string& outputPath);
    // prefix + stem + "-" + the song file's name with the output's extension; ".1" appended when
    // that would be the song file itself.
    std::string songFileName(const std::string& songPath) const;
    std::string effectFileName(const std::string& effectPath) const;
    std::string dpcmFileName() const;
};
