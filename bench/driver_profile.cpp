// Where the game driver's cycles go: the frames of a song (with the cost benchmark's sound effect)
// where bleep_update takes longest, each broken down by the driver's labels.
//
//   bench_driver_profile SONG.zcm [pal|ntsc] [FRAMES_SHOWN] [TRACE_FILE]
//
// With BF_PROFILE_FRAME=N in the environment, every instruction of frame N's update goes to
// stderr as "address label cycles A X Y opcode", to follow the path the code takes (and to
// find the page crossings that cost a cycle more). With BF_PROFILE_LOCALS set, the cycles count to
// the local labels (@name) too. BF_PROFILE_SHIFT=N places the song data and the
// driver N bytes later, as bench_driver_cost's BF_DRIVER_SHIFTS does.
//
// With TRACE_FILE, every sound register write of every frame goes there as "frame address value",
// so that two versions of the driver can be compared write for write. A costly frame's labels
// show how often the code ran into each label's first instruction, too.
//
// It reports the stack each call takes too, its own return address included: bleep_init with
// bleep_play (from reset), bleep_sfx and bleep_update (from the NMI handler), the deepest over
// the run.
//
// The cartridge is built as bench_driver_cost builds it, assembled again with debug labels; each
// instruction's cycles count to the nearest global label at or before it.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/DriverBench.h"
#include "nes/Cpu6502.h"
#include "song/SongFile.h"
#include "tests/converter/Cartridge.h"

namespace fs = std::filesystem;

namespace {

// Address -> label, from ld65's VICE label file: the global labels, and with `locals` the
// cheap local ones too, named after the global label before them ("bleepEffects@slide").
std::map<uint16_t, std::string> readLabels(const fs::path& file, bool locals) {
    std::map<uint16_t, std::string> labels, local;
    std::ifstream in(file);
    std::string al, address, name;
    while (in >> al >> address >> name) {
        if (name.size() < 2 || name.find("__") != std::string::npos) continue;
        const auto a = uint16_t(std::stoul(address, nullptr, 16));
        if (a >= 0x8000) (name[1] == '@' ? local : labels)[a] = name.substr(1);
    }
    if (!locals) return labels;
    const auto globals = labels;
    for (const auto& [a, n] : local) {
        const auto next = globals.upper_bound(a);
        if (next != globals.begin() && !globals.count(a)) labels[a] = std::prev(next)->second + n;
    }
    return labels;
}

struct Frame {
    long frame = 0, cycles = 0;
    std::map<std::string, long> byLabel;
    std::map<std::string, long> entries;  // times the label's own instruction ran
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_driver_profile SONG.zcm [pal|ntsc] [FRAMES_SHOWN] [TRACE_FILE]\n");
        return 2;
    }
    const std::string song = argv[1];
    const bool pal = argc < 3 || std::string(argv[2]) != "ntsc";
    const int shown = argc > 3 ? std::atoi(argv[3]) : 3;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> trace(argc > 4 ? std::fopen(argv[4], "w") : nullptr,
                                                          std::fclose);
    if (argc > 4 && !trace) {
        std::fprintf(stderr, "Error: cannot write %s\n", argv[4]);
        return 1;
    }
    char name[] = "/tmp/bench-profile-XXXXXX";
    if (!mkdtemp(name)) return 1;
    const fs::path dir = name;
    auto fx = std::make_unique<Song>();
    driverBenchEffect(*fx);
    if (!saveSong(*fx, (dir / "fx.zcm").string())) {
        fs::remove_all(dir);
        return 1;
    }
    const char* shiftText = std::getenv("BF_PROFILE_SHIFT");
    const int shift = shiftText ? std::atoi(shiftText) : 0;
    const std::vector<uint8_t> rom =
        driverCartridge(dir, song, (dir / "fx.zcm").string(), pal ? 1 : 0, driverBenchNmi, {}, 0, shift);
    const std::string cd = "cd '" + dir.string() + "' && ";
    if (rom.empty() ||
        std::system((cd + "ca65 -g -I " BF_SOURCE_DIR "/driver -o rom.o rom.s && ld65 -C rom.cfg -o rom.bin "
                          "-Ln labels.txt rom.o")
                        .c_str()) != 0) {
        std::fprintf(stderr, "Error: cannot build the cartridge\n");
        fs::remove_all(dir);
        return 1;
    }
    const auto labels = readLabels(dir / "labels.txt", std::getenv("BF_PROFILE_LOCALS") != nullptr);
    fs::remove_all(dir);
    const auto labelAt = [&](uint16_t pc) {
        auto it = labels.upper_bound(pc);
        return it == labels.begin() ? std::string("?") : std::prev(it)->second;
    };

    Cpu6502 cpu = Cpu6502::nrom(std::vector<uint8_t>(rom.begin() + 16, rom.end()));
    cpu.reset();
    const double frameCycles = pal ? 33247.5 : 29780.5;
    std::vector<Frame> frames;
    bool measuring = false;
    Frame current;
    uint64_t start = 0;
    uint16_t pc = 0;
    // stack: the lowest pointer before the first NMI (below reset's $FF), and below the one the
    // NMI handler starts with, outside the marks (bleep_sfx) and between them (bleep_update)
    int handlerSp = -1, stackReset = 0, stackSfx = 0, stackUpdate = 0;
    const char* stepFrame = std::getenv("BF_PROFILE_FRAME");
    const long stepped = stepFrame ? std::atol(stepFrame) : -1;
    cpu.onWrite = [&](const ApuWrite& w) {
        // the marks are the NMI handler's own writes (the driver writes $4009 when it silences)
        if (w.address != 0x4009 || labelAt(pc) != "nmi") {
            if (trace) std::fprintf(trace.get(), "%ld %04X %02X\n", current.frame, w.address, w.value);
            return;
        }
        measuring = !measuring;
        if (measuring) {
            start = w.cycle;
        } else {
            current.cycles = long(w.cycle - start);
            frames.push_back(current);
            current = Frame{};
        }
    };
    for (long f = 0; f < 3000; ++f) {
        const auto end = uint64_t(double(f + 1) * frameCycles);
        current.frame = f;
        if (cpu.startVblank()) {
            cpu.nmi();
            handlerSp = cpu.sp;
        }
        bool vblank = true;
        while (cpu.cycles < end) {
            if (vblank && cpu.cycles > end - uint64_t(frameCycles * 0.8)) {
                cpu.endVblank();
                vblank = false;
            }
            pc = cpu.pc;
            const uint8_t opcode = measuring && f == stepped ? cpu.read(pc) : 0;
            const uint64_t before = cpu.cycles;
            cpu.step();
            if (handlerSp < 0)
                stackReset = std::max(stackReset, 0xFF - cpu.sp);
            else if (int& deepest = measuring ? stackUpdate : stackSfx; handlerSp - cpu.sp > deepest)
                deepest = handlerSp - cpu.sp;
            if (measuring) {
                if (f == stepped)
                    std::fprintf(stderr, "%04X %-24s %2ld %02X %02X %02X %02X\n", pc, labelAt(pc).c_str(),
                                 long(cpu.cycles - before), cpu.a, cpu.x, cpu.y, opcode);
                current.byLabel[labelAt(pc)] += long(cpu.cycles - before);
                if (labels.count(pc)) ++current.entries[labels.at(pc)];
            }
        }
    }
    double total = 0;
    for (const Frame& f : frames) total += double(f.cycles);
    std::printf("%s %s: %zu updates, mean %.0f cycles\n", fs::path(song).filename().c_str(),
                pal ? "PAL" : "NTSC", frames.size(), frames.empty() ? 0.0 : total / double(frames.size()));
    std::printf("stack: bleep_init and bleep_play %d bytes, bleep_sfx %d, bleep_update %d\n", stackReset,
                stackSfx, stackUpdate);
    std::map<std::string, long> meanByLabel;
    for (const Frame& f : frames)
        for (const auto& [label, c] : f.byLabel) meanByLabel[label] += c;
    std::sort(frames.begin(), frames.end(),
              [](const Frame& a, const Frame& b) { return a.cycles > b.cycles; });
    const auto print = [](const std::map<std::string, long>& m, double divide) {
        std::vector<std::pair<long, std::string>> rows;
        for (const auto& [label, c] : m) rows.emplace_back(c, label);
        std::sort(rows.rbegin(), rows.rend());
        for (const auto& [c, label] : rows) std::printf("  %8.0f  %s\n", double(c) / divide, label.c_str());
    };
    std::printf("mean per update by label:\n");
    print(meanByLabel, double(std::max<size_t>(frames.size(), 1)));
    for (int i = 0; i < shown && i < int(frames.size()); ++i) {
        std::printf("frame %ld: %ld cycles\n", frames[size_t(i)].frame, frames[size_t(i)].cycles);
        const Frame& f = frames[size_t(i)];
        std::vector<std::pair<long, std::string>> rows;
        for (const auto& [label, c] : f.byLabel) rows.emplace_back(c, label);
        std::sort(rows.rbegin(), rows.rend());
        for (const auto& [c, label] : rows) {
            const auto n = f.entries.find(label);
            std::printf("  %8ld  %-24s %ld\n", c, label.c_str(), n == f.entries.end() ? 0 : n->second);
        }
    }
    return 0;
}
