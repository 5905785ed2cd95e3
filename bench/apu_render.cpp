// Renders 60 s of a busy register stream through the Apu and Nonlinear_Buffer exactly as the
// audio callback does (scanline steps until 4096 samples are ready, then a read) and prints how
// many times faster than real time it ran.
//
// The stream: both pulses with vibrato, the triangle and noise sounding, a looping DMC sample,
// $4011 written every second scanline as the software voice does, and the VRC6 pulse clicking
// on every beat.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"

namespace {
// CPU time of this thread: the figure that matters on a shared machine is the work done.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr long kSampleRate = 44100;
constexpr double kSeconds = 60.0;
constexpr int kRequest = 4096;

struct Stream {
    int frame = 0;
    int scanline = 0;
    std::uint32_t rng = 12345;

    void frameTick(Apu& apu) {
        const auto w = [&](int address, int value) { apu.writeRegister(uint16_t(address), uint8_t(value)); };
        const int f = frame++;
        // Pulses: a slow vibrato around two notes, new notes every 12 frames.
        const int vib = (f % 8 < 4) ? f % 4 : 4 - f % 4;
        const int p1 = 0x1AB + vib, p2 = 0x0D5 - vib;
        w(0x4000, 0x80 | 0x30 | (15 - (f % 12)));
        w(0x4002, p1 & 0xFF);
        w(0x4004, 0x70 | 0x0C);
        w(0x4006, p2 & 0xFF);
        if (f % 12 == 0) {
            const int tri = 0x0FD + (f / 12) % 5 * 17;
            const std::pair<int, int> notes[] = {{0x4001, 0x08},     {0x4003, 0xF8 | (p1 >> 8)}, {0x4005, 0x08},
                                                 {0x4007, 0xF8 | (p2 >> 8)}, {0x4008, 0xFF}, {0x400A, tri & 0xFF},
                                                 {0x400B, 0xF8 | (tri >> 8)}, {0x400C, 0x3F},
                                                 {0x400E, 4 + (f / 12) % 4}, {0x400F, 0xF8}};
            for (const auto& [address, value] : notes) w(address, value);
        }
        // The metronome click: one frame of VRC6 pulse per beat.
        if (f % 25 == 0) w(0x9000, 0x7F), w(0x9001, 0x40), w(0x9002, 0x80);
        if (f % 25 == 1) w(0x9002, 0x00);
        w(0x4015, 0x1F);
    }

    void scanlineTick(Apu& apu) {
        if (scanline % 2 == 0) {
            rng = rng * 1664525u + 1013904223u;
            apu.writeRegister(0x4011, static_cast<std::uint8_t>((rng >> 24) & 0x7F));
        }
    }
};
}  // namespace

int main() {
    std::vector<std::uint8_t> image(4096);
    std::uint32_t seed = 99;
    for (auto& b : image) b = static_cast<std::uint8_t>((seed = seed * 22695477u + 1u) >> 16);

    double best = 0.0;
    long totalSamples = 0;
    for (int run = 0; run < 5; ++run) {
        Nonlinear_Buffer buffer;
        Apu apu(buffer);
        if (apu.configure(false, kSampleRate)) return 1;
        apu.setSampleReader(readSampleMemory, &image);
        // The DMC loops 4081 bytes at 67 cycles per bit.
        for (const auto& [address, value] : {std::pair{0x4010, 0x4E}, {0x4012, 0x00}, {0x4013, 0xFF}, {0x4015, 0x1F}})
            apu.writeRegister(uint16_t(address), uint8_t(value));
        apu.endScanline();

        Stream stream;
        std::vector<std::int16_t> out(kRequest);
        const long target = static_cast<long>(kSeconds * kSampleRate);
        long produced = 0;
        std::int64_t checksum = 0;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadSeconds();
        while (produced < target) {
            while (buffer.samplesAvailable() < kRequest) {
                if (stream.scanline == 0) stream.frameTick(apu);
                stream.scanlineTick(apu);
                apu.endScanline();
                if (++stream.scanline == 312) stream.scanline = 0;
            }
            const long got = buffer.readSamples(out.data(), kRequest);
            for (long i = 0; i < got; i += 97) checksum += out[static_cast<std::size_t>(i)];
            produced += got;
        }
        const double cpu = threadSeconds() - cpuStart;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double audio = static_cast<double>(produced) / kSampleRate;
        const double realtime = audio / cpu;
        best = std::max(best, realtime);
        totalSamples = produced;
        std::printf(
            "run %d: %.1f ms CPU (%.1f ms wall) for %.1f s of audio, %.0fx realtime (checksum %lld)\n", run,
            cpu * 1000.0, wall * 1000.0, audio, realtime, static_cast<long long>(checksum));
    }
    std::printf("apu_render: %ld samples at %ld Hz, best %.0fx realtime (CPU time)\n", totalSamples,
                kSampleRate, best);
    return 0;
}
