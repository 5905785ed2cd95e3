#pragma once
// The system clipboard, holding one text. The program's window implements it; tests use
// MemoryClipboard.

#include <string>

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // Offers the text to other programs (and to getText). False when there is no clipboard.
    virtual bool putText(const std::string& text) = 0;
    // The clipboard's text, from whichever program holds it. False when there is none, it is
    // not text, or its owner does not answer in time.
    virtual bool getText(std::string& text) = 0;
};

class MemoryClipboard : public Clipboard {
  public:
    bool putText(const std::string& t) override {
        text_ = t;
        full_ = true;
        return true;
    }
    bool getText(std::string& t) override {
        if (!full_) return false;
        t = text_;
        return true;
    }

  private:
    std::string text_;
    bool full_ = false;
};
