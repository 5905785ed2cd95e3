#pragma once
// A small assembler for the data text the converter writes, so that a ROM can be built without
// an external assembler. It knows exactly what that text uses, with ca65's meaning:
//
//   label:                     a label (letters, digits and "_", not starting with a digit)
//   .byte e, e, ...            bytes, each 0-255
//   .word e, e, ...            little-endian words, each 0-65535
//   ; comment
//
// Expressions: decimal, $hex and %binary numbers, labels, parentheses, the unary operators
// + - ~ < (low byte) > (high byte), and the binary operators * / & ^ << >> (binding tighter) and
// + - | (binding less), each level from left to right. Anything else is refused with an error, as
// are labels defined twice or never defined.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class RomAssembler {
  public:
    // Reads one file of text, to be placed right after the one added before it (the first at
    // `origin` of assemble). Returns its size in bytes, which does not depend on where it is
    // placed. Throws std::runtime_error "NAME:LINE: what is wrong".
    size_t add(const std::string& name, const std::string& text);

    // Places file i at origins[i] (one per file added), gives every label its address and
    // returns the bytes of each file. Throws std::runtime_error for a label defined twice, a
    // label never defined, a file that would run past $FFFF, or a value out of range.
    std::vector<std::vector<uint8_t>> assemble(const std::vector<uint32_t>& origins);

    // The address of a label after assemble; -1 when it has none.
    long address(const std::string& label) const;

  private:
    struct Item {
        int line;
        int width;  // 1 .byte, 2 .word
        std::string expression;
    };
    struct File {
        std::string name;
        std::vector<Item> items;
        std::vector<std::pair<std::string, int>> labels;  // label and its line; offsets below
        std::vector<size_t> labelOffsets;
        size_t size = 0;
    };
    std::vector<File> files_;
    std::map<std::string, long> symbols_;
};
