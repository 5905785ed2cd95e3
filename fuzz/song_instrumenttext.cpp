// Clipboard text is whatever another program put there: reading it must never leave an envelope
// without its marker or with values outside a byte, and copying a pasted instrument and pasting
// that copy again must give the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "song/InstrumentText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Instrument inst;
    instrumentFromText(text, inst);
    for (const Envelope& envelope : inst.envelopes) {
        int length = envelope.length();
        if (length < 1 || length > MAX_ENVELOPE_VALUES) std::abort();
        if (envelope.loopPoint < 0 || envelope.loopPoint >= length) std::abort();
        for (int i = 0; i < length; ++i)
            if (envelope.values[i] < 0 || envelope.values[i] > 255) std::abort();
    }

    std::string first, second;
    if (!instrumentToText(inst, first)) std::abort();
    Instrument again;
    instrumentFromText(first, again);
    if (!instrumentToText(again, second) || second != first) std::abort();
    return 0;
}
