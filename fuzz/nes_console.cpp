// Plays arbitrary bytes as an NSF file or an NROM cartridge (the first byte's low bit picks which,
// its next two bits the NSF song) for a few frames on the 6502 core and the Apu. A hostile program
// (endless loops, jumps into I/O, writes everywhere, a runaway init) must end with an error or
// within the frame budget: never hang, crash or read out of bounds.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"
#include "nes/ConsolePlayer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const ConsoleFileKind kind = (data[0] & 1) ? ConsoleFileKind::Nes : ConsoleFileKind::Nsf;
    const std::vector<std::uint8_t> file(data + 1, data + size);
    static Nonlinear_Buffer buffer;  // cleared by the configure of each input's Apu
    Apu apu(buffer);
    ConsoleOptions options;
    options.sampleRate = 8000;
    options.song = (data[0] >> 1) & 3;
    options.initFrames = 1;  // a runaway init is refused just the same, sooner
    try {
        ConsolePlayer player(file, kind, apu, options);
        std::vector<std::int16_t> samples;
        std::vector<ApuWrite> writes;
        for (int frame = 0; frame < 2; ++frame) {
            samples.clear();
            writes.clear();
            player.runFrame(&samples, &writes);
        }
    } catch (const std::runtime_error&) {
        // a refused file or an unofficial opcode
    }
    return 0;
}
