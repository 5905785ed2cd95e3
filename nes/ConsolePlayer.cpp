#include "nes/ConsolePlayer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "apu/Apu.h"

namespace {

uint16_t word(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// A cartridge's program ROM and TV system from its iNES header; only NROM (mapper 0) is played.
struct NesImage {
    std::vector<uint8_t> prg;
    bool pal = false;

    explicit NesImage(const std::vector<uint8_t>& file) {
        if (file.size() < 16 || std::memcmp(file.data(), "NES\x1A", 4) != 0)
            throw std::runtime_error("not an iNES file");
        const bool nes2 = (file[7] & 0x0C) == 0x08;
        const int mapper = (file[6] >> 4) | (file[7] & 0xF0) | (nes2 ? (file[8] & 0x0F) << 8 : 0);
        if (mapper != 0)
            throw std::runtime_error("mapper " + std::to_string(mapper) + " is not supported (NROM only)");
        const size_t banks = file[4] | (nes2 ? size_t(file[9] & 0x0F) << 8 : 0);
        if (banks != 1 && banks != 2) throw std::runtime_error("NROM needs 16 or 32 KB of program ROM");
        const size_t start = 16 + ((file[6] & 0x04) ? 512 : 0);
        if (file.size() < start + banks * 0x4000)
            throw std::runtime_error("iNES file shorter than its program ROM");
        prg.assign(file.begin() + long(start), file.begin() + long(start + banks * 0x4000));
        pal = nes2 ? (file[12] & 3) == 1 : (file[9] & 1) != 0;
    }
};

}  // namespace

std::optional<ConsoleFileKind> consoleFileKind(const std::string& path) {
    if (path.size() < 4) return std::nullopt;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".nsf") return ConsoleFileKind::Nsf;
    if (ext == ".nes") return ConsoleFileKind::Nes;
    return std::nullopt;
}

NsfHeader::NsfHeader(const std::vector<uint8_t>& file) {
    if (file.size() <= 128 || std::memcmp(file.data(), "NESM\x1A", 5) != 0)
        throw std::runtime_error("not an NSF file");
    songs = std::max(1, int(file[6]));
    startSong = std::clamp(int(file[7]), 1, songs);
    load = word(file, 8);
    init = word(file, 10);
    play = word(file, 12);
    if (load < 0x8000 || init < 0x8000 || play < 0x8000)
        throw std::runtime_error("NSF load, init and play addresses must be $8000 or above");
    // A speed of 0 is not playable; such files mean the usual rates.
    if (word(file, 110) != 0) ntscSpeed = word(file, 110);
    if (word(file, 120) != 0) palSpeed = word(file, 120);
    // Faster play rates than 10 kHz are no music driver's, and would only cost time.
    if (ntscSpeed < 100 || palSpeed < 100) throw std::runtime_error("NSF play speed below 100 µs");
    // Bit 1 marks a tune for both systems, which plays as NTSC.
    pal = (file[122] & 3) == 1;
}

ConsolePlayer::ConsolePlayer(const std::vector<uint8_t>& file, ConsoleFileKind kind, Apu& apu,
                             const ConsoleOptions& options)
    : apu_(apu), kind_(kind) {
    std::optional<NsfHeader> nsf;
    if (kind == ConsoleFileKind::Nsf) {
        nsf.emplace(file);
        cpu_ = std::make_unique<Cpu6502>(file);
        bool bankswitched = false;
        for (int w = 0; w < 8; ++w) bankswitched |= file[size_t(112 + w)] != 0;
        if (!bankswitched) {
            // The data lies at its load address: window w shows bank w minus the load's window;
            // windows below it read as zeros.
            const int first = (nsf->load - 0x8000) >> 12;
            for (int w = 0; w < 8; ++w) cpu_->banks[w] = w >= first ? w - first : 0x7FFFFFFF;
        }
        ntsc_ = !nsf->pal;
    } else {
        const NesImage image(file);
        cpu_ = std::make_unique<Cpu6502>(Cpu6502::nrom(image.prg));
        ntsc_ = !image.pal;
    }
    if (options.tv >= 0) ntsc_ = options.tv == 1;
    if (const char* error = apu_.configure(ntsc_, options.sampleRate)) throw std::runtime_error(error);
    apu_.setSampleReader(&ConsolePlayer::readSample, this);
    cpu_->dmc.setPal(!ntsc_);
    cpu_->onWrite = [this](const ApuWrite& w) { writeApu(w); };

    if (kind == ConsoleFileKind::Nsf) {
        const int song = options.song > 0 ? options.song : nsf->startSong;
        if (song > nsf->songs)
            throw std::runtime_error("song " + std::to_string(song) + " asked for, the file has " +
                                     std::to_string(nsf->songs));
        frameCycles_ = double(ntsc_ ? nsf->ntscSpeed : nsf->palSpeed) * double(clockRate()) / 1e6;
        play_ = nsf->play;
        // The sound registers as a player leaves them before init.
        for (uint16_t r = 0x4000; r <= 0x4013; ++r) cpu_->write(r, 0);
        cpu_->write(0x4015, 0x0F);
        cpu_->write(0x4017, 0x40);
        const int initFrames = std::max(options.initFrames, 1);
        const uint64_t budget = uint64_t(frameCycles_ * initFrames);
        if (!cpu_->call(nsf->init, uint8_t(song - 1), ntsc_ ? 0 : 1, budget))
            throw std::runtime_error("the NSF's init routine did not return within " +
                                     std::to_string(initFrames) + " frames");
        // Play is first called at the first play period after init returned.
        firstFrame_ = uint64_t(std::ceil(double(cpu_->cycles) / frameCycles_) * frameCycles_);
    } else {
        // A video frame: 262 scanlines of 341 dots at 3 dots per cycle (NTSC), 312 at 3.2 (PAL).
        frameCycles_ = ntsc_ ? 262 * 341 / 3.0 : 312 * 341 / 3.2;
        cpu_->reset();
        firstFrame_ = cpu_->cycles;
    }
}

ConsolePlayer::~ConsolePlayer() { apu_.setSampleReader(nullptr, nullptr); }

long ConsolePlayer::clockRate() const { return ntsc_ ? Apu::kNtscClock : Apu::kPalClock; }

uint8_t ConsolePlayer::readSample(void* player, uint16_t address) {
    return static_cast<ConsolePlayer*>(player)->cpu_->read(address);
}

void ConsolePlayer::advanceApu(uint64_t cycle) {
    while (cycle >= stepStart_ + uint64_t(apu_.currentStepLength())) {
        stepStart_ += uint64_t(apu_.currentStepLength());
        apu_.endScanline();
        writeClock_ = 0;
    }
}

void ConsolePlayer::writeApu(const ApuWrite& w) {
    advanceApu(w.cycle);
    // The Apu places the writes of a step 4 cycles apart; writes to $4018, which changes nothing,
    // move the clock up to the cycle of this one (to within 4 cycles). They also make the Apu
    // catch up, so a bank switch reported here finds the DMC done with the old bank.
    const int at = int(w.cycle - stepStart_);
    while (writeClock_ + 4 < at) {
        apu_.writeRegister(0x4018, 0);
        writeClock_ += 4;
    }
    if (w.address >= 0x4000 && w.address <= 0x4018) {
        apu_.writeRegister(w.address, w.value);
        writeClock_ += 4;
        if (frameWrites_ && w.address <= 0x4017) frameWrites_->push_back(w);
    }
}

void ConsolePlayer::readSamples(std::vector<int16_t>* samples) {
    Nonlinear_Buffer& out = apu_.output();
    const long n = out.samplesAvailable();
    if (n <= 0) return;
    scratch_.resize(size_t(n));
    const long got = out.readSamples(scratch_.data(), n);
    if (samples) samples->insert(samples->end(), scratch_.begin(), scratch_.begin() + std::max(0L, got));
}

void ConsolePlayer::runFrame(std::vector<int16_t>* samples, std::vector<ApuWrite>* writes) {
    frameWrites_ = writes;
    const uint64_t start = firstFrame_ + uint64_t(std::llround(double(frames_) * frameCycles_));
    const uint64_t end = firstFrame_ + uint64_t(std::llround(double(frames_ + 1) * frameCycles_));
    Cpu6502& cpu = *cpu_;
    if (cpu.cycles < start) cpu.idle(start - cpu.cycles);
    // The vertical blank ends 20 scanlines (NTSC) or 70 (PAL) after it began.
    const uint64_t vblankEnd = start + uint64_t(frameCycles_ * (ntsc_ ? 20.0 / 262 : 70.0 / 312));
    bool inVblank = false;
    if (kind_ == ConsoleFileKind::Nsf) {
        // A play routine still running from the last frame is left to run, as players do.
        if (!inPlay_) {
            cpu.startCall(play_);
            inPlay_ = true;
        }
    } else {
        inVblank = true;
        if (cpu.startVblank()) cpu.nmi();
    }
    while (cpu.cycles < end) {
        if (inVblank && cpu.cycles >= vblankEnd) {
            cpu.endVblank();
            inVblank = false;
        }
        if (kind_ == ConsoleFileKind::Nsf && !inPlay_) {
            cpu.idle(end - cpu.cycles);
        } else {
            cpu.step();
            if (kind_ == ConsoleFileKind::Nsf && cpu.returned()) inPlay_ = false;
        }
        advanceApu(cpu.cycles);
    }
    frameWrites_ = nullptr;
    readSamples(samples);
    ++frames_;
}

std::vector<int16_t> renderConsoleFile(const std::vector<uint8_t>& file, ConsoleFileKind kind, double seconds,
                                       const ConsoleOptions& options) {
    auto buffer = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*buffer);
    ConsolePlayer player(file, kind, *apu, options);
    const size_t wanted = size_t(std::llround(seconds * double(options.sampleRate)));
    std::vector<int16_t> samples;
    samples.reserve(wanted + size_t(options.sampleRate / 10));
    while (samples.size() < wanted) player.runFrame(&samples);
    samples.resize(wanted);
    return samples;
}

std::vector<std::string> traceConsoleFile(const std::vector<uint8_t>& file, ConsoleFileKind kind, long frames,
                                          const ConsoleOptions& options) {
    auto buffer = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*buffer);
    ConsolePlayer player(file, kind, *apu, options);
    std::vector<std::string> lines;
    std::vector<ApuWrite> writes;
    for (long f = 0; f < frames; ++f) {
        writes.clear();
        player.runFrame(nullptr, &writes);
        std::string line = std::to_string(f) + ":";
        char text[16];
        for (const ApuWrite& w : writes) {
            std::snprintf(text, sizeof text, " %04X=%02X", unsigned(w.address), unsigned(w.value));
            line += text;
        }
        lines.push_back(line);
    }
    return lines;
}
