// Cost of the game driver (driver/game_driver.s): its code size and RAM, and the CPU cycles its
// bleep_update takes per frame on the 6502 core, with a song and a sound effect playing.
//
//   bench_driver_cost [SONG.zcm...]     (default: the example songs)
//
// Each song is converted with a short effect, assembled with the driver into an NROM cartridge
// (ca65 and ld65 on PATH) and run for 3,000 frames in PAL and in NTSC; the effect starts again
// every 24 frames, so one always plays. The driver is measured as built for both TV systems and
// as built for one alone (BLEEP_TV_SYSTEM), each of those run on its own system. The NMI
// handler marks the start and the end of the update with a write to the unused register $4009;
// the cycles between them, less the marks' own, are the update's cost. Each build is judged on the limits
// (code 2,048 bytes, RAM 160 bytes, zero page 8 bytes, 2,500 cycles in a frame); exit code 1 when one passes
// a limit.
//
// BF_DRIVER_SHIFTS="17 64 ..." also measures each song with that many bytes before the song data
// and the driver, and reports the worst frame over those placements too (the limits are judged
// on the unshifted one): a step's cost apart from where its branches and tables happen to fall.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "apu/Apu.h"
#include "bench/DriverBench.h"
#include "nes/ConsolePlayer.h"
#include "song/SongFile.h"
#include "tests/converter/Cartridge.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 3000;
constexpr int kMarkCycles = 4;  // the second mark's sta counts into the measure

// Code size and RAM block of the driver alone (`head`: the symbols that choose its build).
bool driverSize(const fs::path& dir, const std::string& head, long& code, int& ram, int& zeroPage) {
    std::ofstream(dir / "size.s") << "BLEEP_ZP = $10\nBLEEP_RAM = $0300\n"
                                  << head
                                  << ".segment \"CODE\"\n"
                                     ".include \"game_driver.s\"\n.segment \"INFO\"\n"
                                     ".word BLEEP_RAM_SIZE, BLEEP_ZP_SIZE\n";
    std::ofstream(dir / "size.cfg") << "MEMORY { I: start = $0, size = 4; P: start = $8000, size = $8000; }\n"
                                       "SEGMENTS { INFO: load = I; CODE: load = P; }\n";
    const std::string cd = "cd '" + dir.string() + "' && ";
    if (std::system(
            (cd + "ca65 -I " BF_SOURCE_DIR "/driver -o size.o size.s && ld65 -C size.cfg -o size.bin size.o")
                .c_str()) != 0)
        return false;
    std::stringstream read;
    read << std::ifstream(dir / "size.bin", std::ios::binary).rdbuf();
    const std::string bin = read.str();
    if (bin.size() < 4) return false;
    const auto byte = [&](size_t i) { return int(uint8_t(bin[i])); };
    ram = byte(0) | byte(1) << 8;
    zeroPage = byte(2) | byte(3) << 8;
    code = long(bin.size()) - 4;
    return true;
}

struct Cost {
    long peak = 0, peakFrame = 0;
    double mean = 0;
};

Cost measure(const std::vector<uint8_t>& rom, bool pal) {
    auto buffer = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*buffer);
    ConsoleOptions options;
    options.tv = pal ? 0 : 1;
    ConsolePlayer console(rom, ConsoleFileKind::Nes, *apu, options);
    std::vector<ApuWrite> writes;
    Cost cost;
    double total = 0;
    for (int f = 0; f < kFrames; ++f) {
        writes.clear();
        console.runFrame(nullptr, &writes);
        uint64_t start = 0;
        for (const ApuWrite& w : writes) {
            if (w.address != 0x4009) continue;
            if (start == 0) {
                start = w.cycle;
                continue;
            }
            const long cycles = long(w.cycle - start) - kMarkCycles;
            total += double(cycles);
            if (cycles > cost.peak) {
                cost.peak = cycles;
                cost.peakFrame = f;
            }
            start = 0;
        }
    }
    cost.mean = total / kFrames;
    return cost;
}

// The song's frames on one TV system, unshifted and at each of `shifts`, printed: the unshifted
// peak, -1 when the cartridge cannot be built.
long measureSong(const fs::path& dir, const std::string& song, bool pal, bool oneTv,
                 const std::vector<int>& shifts) {
    Cost shifted;
    long peak = 0;
    int worstShift = 0;
    std::string each;
    const std::string file = fs::path(song).filename().string();
    for (size_t i = 0; i <= shifts.size(); ++i) {
        const int shift = i == 0 ? 0 : shifts[i - 1];
        const std::vector<uint8_t> rom = driverCartridge(dir, song, (dir / "fx.zcm").string(), pal ? 1 : 0,
                                                         driverBenchNmi, {}, 0, shift, oneTv);
        if (rom.empty()) {
            std::fprintf(stderr, "Error: cannot build a cartridge of %s\n", song.c_str());
            return -1;
        }
        const Cost c = measure(rom, pal);
        if (i == 0) {
            peak = c.peak;
            std::printf("%-12s %s: peak %ld cycles at frame %ld, mean %.0f cycles per frame\n", file.c_str(),
                        pal ? "PAL " : "NTSC", c.peak, c.peakFrame, c.mean);
        } else {
            each += " " + std::to_string(shift) + ":" + std::to_string(c.peak);
        }
        if (c.peak > shifted.peak) {
            shifted = c;
            worstShift = shift;
        }
    }
    if (!shifts.empty())
        std::printf("%-12s %s: over the shifts peak %ld cycles at frame %ld (shift %d;%s)\n", file.c_str(),
                    pal ? "PAL " : "NTSC", shifted.peak, shifted.peakFrame, worstShift, each.c_str());
    return peak;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> songs;
    for (int i = 1; i < argc; ++i) songs.push_back(argv[i]);
    if (songs.empty()) songs = {BF_SOURCE_DIR "/examples/demo.zcm", BF_SOURCE_DIR "/examples/example.zcm"};

    char name[] = "/tmp/bench-driver-XXXXXX";
    if (!mkdtemp(name)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = name;
    auto fx = std::make_unique<Song>();
    driverBenchEffect(*fx);
    bool ok = saveSong(*fx, (dir / "fx.zcm").string());

    std::vector<int> shifts;
    if (const char* list = std::getenv("BF_DRIVER_SHIFTS")) {
        std::istringstream in(list);
        for (int s; in >> s;)
            if (s > 0) shifts.push_back(s);
    }
    // The driver as a game builds it: for both TV systems (chosen at bleep_init), or with
    // BLEEP_TV_SYSTEM for one alone.
    bool within = true;
    for (const auto& [name, tv] : {std::pair{"both TV systems", -1}, {"NTSC alone", 0}, {"PAL alone", 1}}) {
        long code = 0;
        int ram = 0, zeroPage = 0;
        const std::string head = tv < 0 ? "" : "BLEEP_TV_SYSTEM = " + std::to_string(tv) + "\n";
        if (!ok || !driverSize(dir, head, code, ram, zeroPage)) {
            std::fprintf(stderr, "Error: cannot assemble the driver (ca65 and ld65 on PATH?)\n");
            fs::remove_all(dir);
            return 1;
        }
        std::printf(
            "%s: code %ld bytes (limit 2048), RAM %d bytes (limit 160), zero page %d bytes (limit 8)\n", name,
            code, ram, zeroPage);
        long worst = 0;
        for (const std::string& song : songs) {
            for (bool pal : {true, false}) {
                if (tv >= 0 && tv != int(pal)) continue;
                const long peak = measureSong(dir, song, pal, tv >= 0, shifts);
                if (peak < 0) {
                    fs::remove_all(dir);
                    return 1;
                }
                worst = std::max(worst, peak);
            }
        }
        const bool fits = code <= 2048 && ram <= 160 && zeroPage <= 8 && worst <= 2500;
        std::printf("%s: %s\n", name, fits ? "within the limits" : "over a limit");
        within = within && fits;
    }
    fs::remove_all(dir);
    return within ? 0 : 1;
}
