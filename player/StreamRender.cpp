#include "player/StreamRender.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "apu/Apu.h"
#include "player/OfflinePlayback.h"

namespace {

// Share of the song played so far within one pass, from the order position.
double passShare(const Player& player) {
    const int count = std::max(1, int(player.song.orders.count));
    return std::clamp(double(player.currentOrder) / double(count), 0.0, 1.0);
}

}  // namespace

RenderResult renderStream(Player& player, Apu& apu, const RenderOptions& options, SampleSink& sink,
                          const RenderProgress& progress) {
    OfflinePlayback playback(player, apu, options.sampleRate);
    struct MaskGuard {
        Player& player;
        int saved;
        ~MaskGuard() { player.channelMask = saved; }
    } guard{player, player.channelMask};
    player.channelMask = options.channelMask & 31;
    // A full mask is how the player starts anyway; only a narrower one needs writing out.
    if (player.channelMask != 31) player.maskChanged = true;
    playback.startSong();

    const double rate = double(options.sampleRate);
    const int passes = std::clamp(options.passes, 1, 16);
    const bool fixed = options.seconds > 0.0;
    const size_t body = size_t((fixed ? options.seconds : options.maxSecondsPerPass * passes) * rate);
    const size_t fade = options.fadeSeconds > 0.0 ? size_t(std::llround(options.fadeSeconds * rate)) : 0;

    RenderResult result;
    std::vector<int16_t> frame;
    size_t done = 0;  // samples of the body written
    int pass = 0;
    long passStart = 0;  // frame at which the current pass began
    long lastReport = -1;

    auto report = [&](double share) {
        if (!progress) return true;
        if (!progress(std::clamp(share, 0.0, 1.0))) {
            result.cancelled = true;
            return false;
        }
        return true;
    };
    const double total = double(fade) + (fixed ? double(body) : 0.0);
    auto share = [&]() {
        if (fixed) return double(done) / std::max(1.0, total);
        const double bodyShare = (double(pass) + passShare(player)) / double(passes);
        return fade ? bodyShare * 0.9 : bodyShare;  // an estimate: pass lengths are not known ahead
    };

    // The song itself: whole frames, the last one cut to the wanted length.
    while (done < body) {
        if (!fixed && playback.finished()) {
            // A new pass needs a song still playing and a pass that played at least one frame.
            if (pass + 1 >= passes || !player.playing || playback.frames() == passStart) break;
            ++pass;
            passStart = playback.frames();
            playback.nextPass();
        }
        frame.clear();
        playback.runFrame(&frame);
        const size_t take = std::min(frame.size(), body - done);
        if (take && !sink.write(frame.data(), take)) return result;
        done += take;
        result.samples = long(done);
        if (playback.frames() / 50 != lastReport) {
            lastReport = playback.frames() / 50;
            if (!report(share())) return result;
        }
    }

    // The fade-out: the song plays on while the level falls linearly to nothing.
    size_t faded = 0;
    while (faded < fade) {
        frame.clear();
        playback.runFrame(&frame);
        const size_t take = std::min(frame.size(), fade - faded);
        for (size_t i = 0; i < take; ++i) {
            const int64_t left = int64_t(fade - faded - i);
            frame[i] = int16_t(int64_t(frame[i]) * left / int64_t(fade));
        }
        if (take && !sink.write(frame.data(), take)) return result;
        faded += take;
        result.samples = long(done + faded);
        if (playback.frames() / 50 != lastReport) {
            lastReport = playback.frames() / 50;
            const double start = fixed ? double(done) / std::max(1.0, total) : 0.9;
            if (!report(start + (1.0 - start) * double(faded) / double(fade))) return result;
        }
    }
    report(1.0);
    result.ok = !result.cancelled;
    return result;
}
