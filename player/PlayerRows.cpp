// Row processing, note starts and the effect commands.

#include <algorithm>

#include "player/DriverCode.h"
#include "player/Player.h"

namespace {

int volumeLevel(int volume) { return volume * 15 / 63; }

bool isSlide(int effect) { return effect == 0x1 || effect == 0x2 || effect == 0x3 || effect == 0x5; }
bool isVibrato(int effect) { return effect == 0x4 || effect == 0x6; }
bool isVolumeSlide(int effect) { return effect == 0x5 || effect == 0x6 || effect == 0xA; }

void vibratoStep(ChannelState& ch, const int32_t (&table)[16][16], int32_t& into) {
    into = vibratoValue(table, ch.vibPos, ch.vibDepth);
    ch.vibPos = (ch.vibPos + ch.vibSpeed) & 63;
}

}  // namespace

void Player::volumeSlideStep(ChannelState& ch) {
    if (ch.volSlideUp != 0)
        ch.volume = std::min(63, ch.volume + ch.volSlideUp);
    else
        ch.volume = std::max(0, ch.volume - ch.volSlideDown);
}

void Player::arpeggioStep(ChannelState& ch, int parameter) {
    switch (ch.arpeggioStep) {
        case 0:
            ch.arpeggioStep = 1;
            break;
        case 1:
            ch.arpeggioStep = 2;
            ch.arpeggioOffset = parameter >> 4;
            break;
        case 2:
            ch.arpeggioStep = 3;
            ch.arpeggioOffset = parameter & 0x0F;
            break;
        default:
            ch.arpeggioStep = 1;
            ch.arpeggioOffset = 0;
            break;
    }
}

void Player::portamentoStep(int c) {
    ChannelState& ch = channels[c];
    if (ch.portaTarget == 0) return;
    bool arrived;
    if (ch.portaTarget < (ch.pitch >> 8)) {
        ch.pitch -= ch.slideSpeed;
        arrived = (ch.pitch >> 8) <= ch.portaTarget;
    } else {
        ch.pitch += ch.slideSpeed;
        arrived = (ch.pitch >> 8) >= ch.portaTarget;
    }
    if (!arrived) return;
    int target = ch.portaTarget;
    ch.pitch = target * 256;
    ch.portaTarget = 0;
    if (ch.slideActive) {
        ch.slideActive = false;
        recordDriverCommand(c, DRV_SLIDE_ARRIVED, target);
    }
}

bool Player::startNote(int c, const PatternCell& cell) {
    if (c < 0 || c >= CHANNEL_COUNT) return false;
    ChannelState& ch = channels[c];
    const int effect = cell.effect();
    const bool porta = effect == 0x3 || effect == 0x5;
    bool started = false;
    bool changed = false;

    if (cell.note == NOTE_OFF) {
        ch.noteOn = 0;
        ch.volume = 0;
        ch.pitch = 0;
        recordDriverCommand(c, DRV_NOTE_CUT);
    } else if (cell.note != 0) {
        ch.noteOn = cell.note;
        ch.lastNote = cell.note;
        started = true;
        if (!porta) ch.pitch = cell.note * 256;
    }

    if (cell.instrument != 0) {
        changed = cell.instrument != ch.instrument;
        ch.instrument = cell.instrument;
        started = true;
        InstrumentType type = song.instruments[cell.instrument].type;
        if (type == INST_PCM || type == INST_DPCM)
            started = false;  // the DPCM-channel row step plays sample instruments
        else if (ch.noteOn == 0)
            ch.noteOn = ch.lastNote;  // an instrument alone retriggers the last note
    }

    ch.effectByte = cell.fx;
    ch.paramLow = uint8_t((ch.paramLow & 0xF0) | (cell.param & 0x0F));

    if (started) {
        if (changed) {
            recordDriverCommand(c, DRV_INSTRUMENT, ch.instrument);
            std::fill(std::begin(ch.envPos), std::end(ch.envPos), 0);
        } else if (!porta) {
            std::fill(std::begin(ch.envPos), std::end(ch.envPos), 0);
        }
        if (!porta) {
            ch.tremoloOffset = 0;
            ch.arpeggioStep = 0;
            // A retrigger before any note has played has nothing to sound.
            if (ch.noteOn != 0) recordDriverCommand(c, DRV_NOTE, ch.noteOn);
        }
        stepEnvelopes(c);
        if (effect != 0xC && !porta) ch.volume = 63;
        ch.dutyOverride = -1;
        if (porta) ch.portaTarget = ch.noteOn;
    }
    return started;
}

void Player::reportEffects(int c, const PatternCell& cell) {
    ChannelState& ch = channels[c];
    const int effect = cell.effect();
    const int xy = cell.parameter();

    reportEffect(c, effect == 0 && xy != 0, true, xy, DRV_ARPEGGIO_ON, xy, DRV_ARPEGGIO_OFF,
                 ch.arpeggioActive, ch.reportedArpeggio);

    bool slides = isSlide(effect);
    bool up = effect == 0x1;
    if (effect == 0x3 || effect == 0x5) {
        const int target = (cell.note != 0 && cell.note != NOTE_OFF) ? cell.note : ch.portaTarget;
        up = target * 256 > ch.pitch;
        // A portamento that has arrived (no target left) does not move the pitch: reporting a
        // slide for it would have the song data slide where the channel stays.
        slides = target != 0;
    }
    reportEffect(c, slides, true, up ? ch.slideSpeed : -ch.slideSpeed, up ? DRV_SLIDE_UP : DRV_SLIDE_DOWN,
                 ch.slideSpeed & 0xFF, DRV_SLIDE_OFF, ch.slideActive, ch.reportedSlide);

    const int key = ch.volSlideUp != 0 ? ch.volSlideUp : -ch.volSlideDown;
    reportEffect(c, isVolumeSlide(effect), key != 0, key, key > 0 ? DRV_VOLSLIDE_UP : DRV_VOLSLIDE_DOWN,
                 key > 0 ? ch.volSlideUp : ch.volSlideDown, DRV_VOLSLIDE_OFF, ch.volumeSlideActive,
                 ch.reportedVolSlide);

    const int wobble = (ch.vibSpeed << 4) | ch.vibDepth;
    reportEffect(c, isVibrato(effect), ch.vibDepth != 0, wobble, DRV_VIBRATO_ON, wobble, DRV_VIBRATO_OFF,
                 ch.vibratoActive, ch.reportedVibrato);
    reportEffect(c, effect == 0x7, ch.vibDepth != 0, wobble, DRV_TREMOLO_ON, wobble, DRV_TREMOLO_OFF,
                 ch.tremoloActive, ch.reportedTremolo);
}

void Player::reportEffect(int c, bool on, bool reportable, int key, int code, int argument, int offCode,
                          bool& active, int32_t& reported) {
    if (on) {
        if (reportable && (!active || reported != key)) {
            recordDriverCommand(c, code, argument);
            active = true;
            reported = key;
        }
    } else if (active) {
        recordDriverCommand(c, offCode);
        active = false;
    }
}

void Player::reportDuty(int c) {
    ChannelState& ch = channels[c];
    if (ch.dutyOverride == -1) {
        if (ch.dutyOverrideActive) {
            recordDriverCommand(c, DRV_DUTY_RELEASE);
            ch.dutyOverrideActive = false;
            ch.lastReportedDuty = -1;
        }
    } else if (ch.lastReportedDuty != ch.dutyOverride) {
        recordDriverCommand(c, DRV_DUTY, ch.dutyOverride);
        ch.dutyOverrideActive = true;
        ch.lastReportedDuty = ch.dutyOverride;
    }
}

void Player::processRow(int c) {
    if (c < 0 || c >= CHANNEL_COUNT) return;
    ChannelState& ch = channels[c];
    PatternCell cell = currentCell(c);
    const int oldVolume = ch.volume;
    ch.noteDelay = 0;
    ch.arpeggioOffset = 0;
    int newDuty = -1;

    const int effect = cell.effect();
    const int xy = cell.parameter();
    const int x = xy >> 4;
    const int y = xy & 0x0F;
    // A non-zero parameter sets the continuous effect's speed or depth; zero keeps the last one.
    switch (effect) {
        case 0x1:
        case 0x2:
        case 0x3:
            if (xy != 0) ch.slideSpeed = xy;
            break;
        case 0x4:
        case 0x7:
            if (xy != 0) {
                ch.vibSpeed = x;
                ch.vibDepth = y;
            }
            break;
        case 0x5:
        case 0x6:
        case 0xA:
            if (xy != 0) {
                ch.volSlideUp = x;
                ch.volSlideDown = y;
            }
            break;
        case 0x8:
            ch.echoDelay = 3 * x;
            ch.echoDecay = y;
            break;
        case 0xB:
            pendingOrderJump = xy;
            break;
        case 0xC:
            ch.volume = y * 63 / 15;
            if (x != 0) newDuty = (x - 1) & 3;
            break;
        case 0xD:
            pendingRowBreak = x * 10 + y;
            break;
        case 0xE:
            switch (x) {
                case 0x1:
                    ch.pitch += y;
                    break;
                case 0x2:
                    ch.pitch -= y;
                    break;
                case 0x3:
                    ch.glissandoMask = y != 0 ? 0 : 0xFF;
                    recordDriverCommand(c, DRV_GLISSANDO, y != 0 ? 1 : 0);
                    break;
                case 0xA:
                    if (y != 0) ch.volSlideUp = y;
                    ch.volume = std::min(63, ch.volume + ch.volSlideUp);
                    break;
                case 0xB:
                    if (y != 0) ch.volSlideDown = y;
                    ch.volume = std::max(0, ch.volume - ch.volSlideDown);
                    break;
                case 0xC:
                    if (y == 0)
                        cell.note = NOTE_OFF;
                    else
                        ch.noteCut = y;
                    break;
                case 0xD:
                    if (y != 0) ch.noteDelay = y;
                    break;
                case 0xE:
                    recordDriverCommand(CH_DPCM, DRV_DPCM_EFFECT, y);
                    loopRequested = true;
                    break;
                default:
                    break;
            }
            break;
        case 0xF:
            if (xy < 32)
                song.speed = xy;
            else
                song.tempo = xy;
            break;
        default:
            break;
    }
    continuousEffectStep(c, effect, true);

    reportEffects(c, cell);
    if (!isVibrato(effect)) ch.vibratoOffset = 0;

    bool started = false;
    if (ch.noteDelay == 0) {
        started = startNote(c, cell);
        if (!started) stepEnvelopes(c);
    }

    // A driver starts a note at full volume, which Cxy keeps from happening here: its level is
    // reported then even when it is the one before the row.
    const int level = volumeLevel(ch.volume);
    const bool keptVolume = started && effect == 0xC && level != volumeLevel(63);
    if (ch.noteOn != 0 && (level != volumeLevel(oldVolume) || keptVolume))
        recordDriverCommand(c, DRV_VOLUME, level);

    if (effect == 0x0 && xy != 0) arpeggioStep(ch, xy);

    if (newDuty != -1) ch.dutyOverride = newDuty;
    reportDuty(c);
}

void Player::frameEffect(int c) {
    ChannelState& ch = channels[c];
    if (ch.noteCut != 0 && --ch.noteCut == 0) {
        ch.noteOn = 0;
        ch.volume = 0;
        recordDriverCommand(c, DRV_NOTE_CUT);
    }
    bool started = false;
    if (ch.noteDelay != 0 && --ch.noteDelay == 0) {
        const int oldVolume = ch.volume;
        started = startNote(c, currentCell(c));
        if (volumeLevel(ch.volume) != volumeLevel(oldVolume))
            recordDriverCommand(c, DRV_VOLUME, volumeLevel(ch.volume));
    }
    if (ch.noteOn == 0) return;  // continuous effects rest while the channel is off

    // Envelopes advance once a frame: a delayed note that starts here has made its first step.
    if (!started) stepEnvelopes(c);
    ch.arpeggioOffset = 0;
    const int effect = ch.effectByte & 0x0F;
    if (effect == 0x0)
        arpeggioStep(ch, (ch.effectByte & 0xF0) | (ch.paramLow & 0x0F));
    else
        continuousEffectStep(c, effect, false);
}

void Player::continuousEffectStep(int c, int effect, bool rowFrame) {
    BF_REQUIRE(c >= 0 && c < CHANNEL_COUNT);
    ChannelState& ch = channels[c];
    switch (effect) {
        case 0x1:
            ch.pitch += ch.slideSpeed;
            break;
        case 0x2:
            ch.pitch -= ch.slideSpeed;
            break;
        case 0x3:
            portamentoStep(c);
            break;
        case 0x4:
            vibratoStep(ch, vibratoTable, ch.vibratoOffset);
            break;
        case 0x5:
            volumeSlideStep(ch);
            if (!rowFrame) portamentoStep(c);
            break;
        case 0x6:
            volumeSlideStep(ch);
            if (!rowFrame) vibratoStep(ch, vibratoTable, ch.vibratoOffset);
            break;
        case 0x7:
            vibratoStep(ch, vibratoTable, ch.tremoloOffset);
            break;
        case 0xA:
            volumeSlideStep(ch);
            break;
        default:
            break;
    }
}

void Player::frameEffects() {
    for (int c = 0; c < CHANNEL_COUNT; ++c) frameEffect(c);
    snapshot.dpcmValue = 0;
}
