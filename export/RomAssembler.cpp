#include "export/RomAssembler.h"

#include <cctype>
#include <stdexcept>

namespace {

bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// Values are 32-bit and wrap round, as in ca65; intermediate results stay within 64 bits.
long wrap(long v) { return long(int32_t(uint32_t(uint64_t(v)))); }

// Evaluates one expression. Without a symbol table only the syntax is checked (labels count 0).
class Expression {
  public:
    Expression(const std::string& text, const std::map<std::string, long>* symbols)
        : s_(text), symbols_(symbols) {}

    long value() {
        const long v = sum();
        space();
        if (at_ < s_.size()) fail("unexpected \"" + s_.substr(at_) + "\"");
        return v;
    }

  private:
    const std::string& s_;
    const std::map<std::string, long>* symbols_;
    size_t at_ = 0;

    [[noreturn]] void fail(const std::string& what) const { throw std::runtime_error(what + " in \"" + s_ + "\""); }
    void space() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t')) ++at_;
    }
    bool take(const char* op) {
        space();
        const std::string o = op;
        if (s_.compare(at_, o.size(), o) != 0) return false;
        // "<" and ">" alone would be comparisons here, which this assembler does not do.
        at_ += o.size();
        return true;
    }

    long sum() {
        long v = product();
        for (;;) {
            if (take("+"))
                v = wrap(v + product());
            else if (take("-"))
                v = wrap(v - product());
            else if (take("|"))
                v = wrap(v | product());
            else
                return v;
        }
    }
    long product() {
        long v = unary();
        for (;;) {
            if (take("*")) {
                v = wrap(v * unary());
            } else if (take("/")) {
                const long d = unary();
                if (d == 0) fail("division by zero");
                v = wrap(v / d);
            } else if (take("&")) {
                v = wrap(v & unary());
            } else if (take("^")) {
                v = wrap(v ^ unary());
            } else if (take("<<")) {
                v = shift(v, unary());
            } else if (take(">>")) {
                v = shift(v, -unary());
            } else {
                space();
                if (at_ < s_.size() && (s_[at_] == '<' || s_[at_] == '>' || s_[at_] == '='))
                    fail("comparisons are not supported");
                return v;
            }
        }
    }
    long shift(long v, long by) const {
        if (by >= 32 || by <= -32) fail("shift out of range");
        return wrap(by >= 0 ? long(uint64_t(v) << by) : v >> -by);
    }
    long unary() {
        if (take("<")) return unary() & 0xFF;
        if (take(">")) return (unary() >> 8) & 0xFF;
        if (take("-")) return wrap(-unary());
        if (take("+")) return unary();
        if (take("~")) return wrap(~unary());
        return primary();
    }
    long primary() {
        space();
        if (take("(")) {
            const long v = sum();
            if (!take(")")) fail("missing \")\"");
            return v;
        }
        if (at_ >= s_.size()) fail("missing value");
        const char c = s_[at_];
        if (c == '$' || c == '%' || std::isdigit(static_cast<unsigned char>(c))) return number();
        if (!identStart(c)) fail("unexpected \"" + s_.substr(at_) + "\"");
        const size_t start = at_;
        while (at_ < s_.size() && identChar(s_[at_])) ++at_;
        const std::string name = s_.substr(start, at_ - start);
        if (!symbols_) return 0;
        const auto it = symbols_->find(name);
        if (it == symbols_->end()) throw std::runtime_error("undefined label " + name);
        return it->second;
    }
    long number() {
        int base = 10;
        if (s_[at_] == '$') base = 16, ++at_;
        else if (s_[at_] == '%') base = 2, ++at_;
        const size_t start = at_;
        long v = 0;
        while (at_ < s_.size() && std::isalnum(static_cast<unsigned char>(s_[at_]))) {
            const char c = char(std::tolower(static_cast<unsigned char>(s_[at_])));
            const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'a' + 10;
            if (d >= base) fail("invalid digit");
            v = v * base + d;
            if (v > 0xFFFFFFFFL) fail("number too large");
            ++at_;
        }
        if (at_ == start) fail("missing digits");
        return wrap(v);
    }
};

}  // namespace

size_t RomAssembler::add(const std::string& name, const std::string& text) {
    File file;
    file.name = name;
    int line = 0;
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        ++line;
        std::string rest = text.substr(from, end - from);
        from = end + 1;
        const auto where = [&] { return name + ":" + std::to_string(line) + ": "; };
        rest = trim(rest.substr(0, rest.find(';')));
        if (!rest.empty() && identStart(rest[0])) {
            size_t i = 0;
            while (i < rest.size() && identChar(rest[i])) ++i;
            const std::string after = trim(rest.substr(i));
            if (after.empty() || after[0] != ':') throw std::runtime_error(where() + "unsupported line \"" + rest + "\"");
            file.labels.emplace_back(rest.substr(0, i), line);
            file.labelOffsets.push_back(file.size);
            rest = trim(after.substr(1));
        }
        if (rest.empty()) continue;
        size_t i = 1;
        while (i < rest.size() && std::isalpha(static_cast<unsigned char>(rest[i]))) ++i;
        std::string directive = rest.substr(0, i);
        for (char& c : directive) c = char(std::tolower(static_cast<unsigned char>(c)));
        const int width = directive == ".byte" ? 1 : directive == ".word" ? 2 : 0;
        if (width == 0) throw std::runtime_error(where() + "unsupported line \"" + rest + "\"");
        const std::string list = rest.substr(i) + ",";
        for (size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
            const std::string expression = trim(list.substr(at, comma - at));
            try {
                if (expression.empty()) throw std::runtime_error("missing value");
                Expression(expression, nullptr).value();
            } catch (const std::runtime_error& e) {
                throw std::runtime_error(where() + e.what());
            }
            file.items.push_back({line, width, expression});
            file.size += size_t(width);
        }
    }
    files_.push_back(std::move(file));
    return files_.back().size;
}

std::vector<std::vector<uint8_t>> RomAssembler::assemble(const std::vector<uint32_t>& origins) {
    if (origins.size() != files_.size()) throw std::logic_error("one origin per file");
    symbols_.clear();
    for (size_t f = 0; f < files_.size(); ++f) {
        const File& file = files_[f];
        if (origins[f] + file.size > 0x10000)
            throw std::runtime_error(file.name + " does not fit below $10000");
        for (size_t l = 0; l < file.labels.size(); ++l) {
            const auto& [label, line] = file.labels[l];
            if (!symbols_.emplace(label, long(origins[f] + file.labelOffsets[l])).second)
                throw std::runtime_error(file.name + ":" + std::to_string(line) + ": label " + label +
                                         " is defined twice");
        }
    }
    std::vector<std::vector<uint8_t>> out;
    for (const File& file : files_) {
        std::vector<uint8_t>& bytes = out.emplace_back();
        bytes.reserve(file.size);
        for (const Item& item : file.items) {
            long v = 0;
            try {
                v = Expression(item.expression, &symbols_).value();
            } catch (const std::runtime_error& e) {
                throw std::runtime_error(file.name + ":" + std::to_string(item.line) + ": " + e.what());
            }
            const long limit = item.width == 1 ? 0xFF : 0xFFFF;
            if (v < 0 || v > limit)
                throw std::runtime_error(file.name + ":" + std::to_string(item.line) + ": " + std::to_string(v) +
                                         " is out of range for " + (item.width == 1 ? ".byte" : ".word"));
            bytes.push_back(uint8_t(v));
            if (item.width == 2) bytes.push_back(uint8_t(v >> 8));
        }
    }
    return out;
}

long RomAssembler::address(const std::string& label) const {
    const auto it = symbols_.find(label);
    return it == symbols_.end() ? -1 : it->second;
}
