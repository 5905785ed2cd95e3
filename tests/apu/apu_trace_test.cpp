// Register behaviour of the 2A03 and VRC6 channels and what a listener hears of them, pinned as
// traces: each script in tests/data/apu/ is followed by the channel state that changed after each
// line, the DMC's sample reads and a summary of rendered audio (see tests/TraceScripts.h).

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "apu/ApuHarness.h"
#include "tests/TraceScripts.h"

namespace fs = std::filesystem;

namespace {

const fs::path kDir = fs::path(BF_SOURCE_DIR) / "tests/data/apu";

std::vector<std::pair<std::string, int>> state(const Apu& a) {
    return {{"p1.len", a.pulse1.lengthCounter},
            {"p1.phase", a.pulse1.phase},
            {"p1.period", a.pulse1.period()},
            {"p2.len", a.pulse2.lengthCounter},
            {"p2.phase", a.pulse2.phase},
            {"p2.period", a.pulse2.period()},
            {"tri.len", a.triangle.lengthCounter},
            {"tri.phase", a.triangle.phase},
            {"tri.level", a.triangle.lastAmplitude},
            {"noise.len", a.noise.lengthCounter},
            {"noise.shift", a.noise.shiftRegister},
            {"dmc.level", a.dmc.dac},
            {"dmc.address", a.dmc.address},
            {"dmc.len", a.dmc.lengthCounter},
            {"enables", a.channelEnables()}};
}

struct Reads {
    std::vector<int> addresses;
    static std::uint8_t read(void* context, std::uint16_t address) {
        static_cast<Reads*>(context)->addresses.push_back(address);
        return 0xFF;  // every bit raises the level
    }
};

std::string run(std::istream& script) {
    std::unique_ptr<ApuHarness> h;
    Reads reads;
    std::vector<int> last;
    std::ostringstream out;
    for (std::string line; std::getline(script, line) && line != "--- trace";) {
        std::istringstream in(line);
        std::string op, a, b;
        if (!(in >> op) || op[0] == '#') continue;
        in >> a >> b;
        if (op == "apu") {
            h = std::make_unique<ApuHarness>(a == "ntsc");
            changes(state(h->apu), last);
            reads.addresses.clear();
            out << line << "\n";
            continue;
        }
        if (!h) throw std::runtime_error("no apu before: " + line);
        std::ostringstream seen;
        if (op == "w") {  // w ADDRESS VALUE, both hex
            h->write(std::uint16_t(std::stoi(a, nullptr, 16)), std::uint8_t(std::stoi(b, nullptr, 16)));
        } else if (op == "reader") {  // the DMC reads through a log that answers $FF
            h->apu.setSampleReader(Reads::read, &reads);
        } else if (op == "steps" || op == "frames") {
            h->endSteps(std::stoi(a) * (op == "frames" ? ApuHarness::kStepsPerFrame : 1));
        } else if (op == "step") {  // N single steps, each traced
            for (int n = std::stoi(a); n > 1; --n) {
                h->endSteps(1);
                seen << changes(state(h->apu), last);
            }
            h->endSteps(1);
        } else if (op == "render") {  // SECONDS: sample count, measures and FNV-1a hash
            const std::vector<std::int16_t> s = h->renderSeconds(std::stod(a));
            std::uint64_t hash = 1469598103934665603ull;
            for (std::int16_t v : s) hash = (hash ^ std::uint16_t(v)) * 1099511628211ull;
            seen << " samples=" << s.size() << " p2p=" << measurePeakToPeak(s) << " rms=" << measureRms(s)
                 << " hz=" << measureFrequency(s, h->sampleRate()) << " duty=" << measureDutyCycle(s)
                 << " hash=" << std::hex << hash << std::dec;
        } else if (op == "cycles") {
            seen << " cycles=" << h->apu.cyclesElapsed();
        } else {
            throw std::runtime_error("unknown line: " + line);
        }
        seen << changes(state(h->apu), last);
        for (int r : reads.addresses) seen << " read=" << std::hex << r << std::dec;
        reads.addresses.clear();
        out << line << " |" << seen.str() << "\n";
    }
    return out.str();
}

KEPT_TRACE_SUITE(ApuTrace, kDir, run);

}  // namespace
