// Feeds arbitrary register streams to the Apu: every write, step end and read must stay in
// bounds and free of undefined behaviour, whatever the values, bursts or gaps.
//
// Input: a sequence of 3-byte commands. Byte 0 picks the action (bits 0-2) and register:
//   0-4: write byte 2 to $4000 + (byte 1 % 0x18)
//   5:   write byte 2 to a VRC6 address ($9000/$A000/$B000 + byte 1 % 4, or any address when
//        byte 1 bit 7 is set: byte 1 and byte 2 form the address and byte 0's top bits the value)
//   6:   end (byte 1 % 64) + 1 scanline steps
//   7:   read up to byte 1 * 16 samples

#include <cstddef>
#include <cstdint>
#include <vector>

#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> image(300, 0xA5);
    // The output buffers outlive the inputs: configure clears them, and allocating them anew
    // (twice 128 KB) cost each input more than its own work.
    static Nonlinear_Buffer buffer;
    Apu apu(buffer);
    // Top bit of the first byte picks the TV system.
    if (apu.configure(size > 0 && (data[0] & 0x80), 22050) != nullptr) return 0;
    apu.setSampleReader(readSampleMemory, &image);
    std::int16_t out[4096];

    for (std::size_t i = 0; i + 3 <= size; i += 3) {
        const std::uint8_t op = data[i], a = data[i + 1], v = data[i + 2];
        switch (op & 7) {
            case 5:
                if (a & 0x80)
                    apu.writeRegister(static_cast<std::uint16_t>(a << 8 | v), op);
                else
                    apu.writeRegister(static_cast<std::uint16_t>(0x9000 + 0x1000 * (v % 3) + a % 4), op);
                break;
            case 6:
                for (int n = 0; n <= a % 64; ++n) apu.endScanline();
                break;
            case 7:
                buffer.readSamples(out, a * 16);
                break;
            default:
                apu.writeRegister(static_cast<std::uint16_t>(0x4000 + a % 0x18), v);
                break;
        }
    }
    for (int n = 0; n < 312; ++n) apu.endScanline();
    while (buffer.samplesAvailable() > 0)
        if (buffer.readSamples(out, 4096) == 0) break;
    return 0;
}
