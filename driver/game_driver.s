; Bleepforge game driver: plays the converter's songs and sound effects inside a NES program (ca65).
;
; Include it in a code segment after the converter's files, having defined:
;   BLEEP_ZP    a zero-page address: the driver uses BLEEP_ZP_SIZE (8) bytes there
;   BLEEP_RAM   an address in RAM: the driver uses BLEEP_RAM_SIZE (159) bytes there
; and, if the game runs on one TV system only:
;   BLEEP_TV_SYSTEM  0 NTSC or 1 PAL: the driver then holds that system's periods alone (89
;               bytes less)
; It writes the sound registers only ($4000-$4013, $4015), never the PPU or the controllers.
; The DPCM samples must lie where the converter's DPCM file is placed: at a 64-byte boundary in
; $C000-$FFFF.
;
; Calls (jsr; A, X and Y are not kept):
;   bleep_init    A = TV system (0 NTSC, 1 PAL; not read with BLEEP_TV_SYSTEM), X/Y = low/high
;                 byte of the converter's entry label (the name of its main output file);
;                 silences the sound channels and ends any sound effect. Call it first.
;   bleep_play    A = song number, 0 for the first song named on the converter's command line;
;                 the song playing before it stops as at bleep_stop (its looping sample too)
;   bleep_stop    silences the song's channels; bleep_update then plays no song, and a sound
;                 effect that plays goes on to its end
;   bleep_pause   A <> 0: silences, ends a sound effect and holds the song where it is;
;                 A = 0: goes on playing
;   bleep_sfx     A = effect number (0 for the first named after -e; it must exist), X = the
;                 pulse (0 or 1) that plays the effect's first pulse part, the other pulse taking
;                 its second. An effect replaces the one playing; while it plays, every channel
;                 it has written to is its own and the song goes on silently there; when it ends
;                 the song is heard there again from the next frame.
;   bleep_update  once per frame, from the NMI handler (the effect first, then the song)
;
; Stack, return address included: bleep_update takes up to 7 bytes, bleep_sfx 7, bleep_play 9
; (over the example songs: bench_driver_profile reports them).
;
; What it plays, on the pulses, the triangle and the noise: notes 1-96, instruments with their
; Volume, Note, Duty/Mode and Fine-tune envelopes (looping or held), the channel volume, duty
; changes and releases, note cuts, waits of 1-256 frames, pattern ends and the loop of the order
; lists, arpeggio, slides up and down, tone portamento, vibrato, tremolo, volume slides and
; glissando, with pitches in 1/256 semitone between the notes of the period table. On the DPCM
; channel: samples with their rate and loop flag. Sound effects on the pulses, the triangle and
; the noise, looping ones included.
;
; What the song data does not carry, and so this driver does not play as the editor does:
; - echo (8xy), fine slides (E1y, E2y), the software voices of the DPCM channel;
; - the row itself: a tone portamento moves one frame early (it is written as a slide, which
;   moves on its row), the vibrato of 6xy and the portamento of 5xy move on their rows too, and
;   an arpeggio that starts without a note after rows of other effects may start on another step;
; - effects on rows where the channel is silent (their positions do not move on there);
; - a pitch slid beyond the notes that the driver holds (-128 to 127) stays at that end.
; A period's high byte is written to $4003/$4007 when it changes, which restarts the pulse's
; duty cycle; the editor carries it with the sweep unit instead.

.ifndef BLEEP_ZP
    .error "define BLEEP_ZP, the zero-page address of the driver's pointers"
.endif
.ifndef BLEEP_RAM
    .error "define BLEEP_RAM, the address of the driver's RAM block"
.endif
.ifdef BLEEP_TV_SYSTEM
    .if BLEEP_TV_SYSTEM <> 0 .and BLEEP_TV_SYSTEM <> 1
        .error "BLEEP_TV_SYSTEM is 0 (NTSC) or 1 (PAL)"
    .endif
.endif

BLEEP_CHANNELS = 4                      ; pulses, triangle, noise; the DPCM stream comes after

bleepPtr      = BLEEP_ZP                ; pattern data being read
bleepEnv      = BLEEP_ZP + 2            ; song header, tables, envelopes, effect data
bleepPLo      = BLEEP_ZP + 4            ; pitch of the channel being written, 1/256 semitone
bleepPHi      = BLEEP_ZP + 5
bleepALo      = BLEEP_ZP + 6            ; period, and a factor of the interpolation
bleepAHi      = BLEEP_ZP + 7
BLEEP_ZP_SIZE = 8
; while a channel's row is read and its effects run, the same bytes hold:
bleepGate     = bleepPLo                ; the note sounded when the frame began
bleepLevel    = bleepPHi                ; volume level read this frame, negative: none
bleepVibOff   = bleepALo                ; 1/256 semitones of the vibrato this frame
bleepArpOff   = bleepAHi                ; semitones of the arpeggio this frame
; while a channel's registers are written:
bleepNibble   = bleepEnv                ; the volume nibble (and X while it is worked out)

bleepEntry    = BLEEP_RAM               ; 2: the converter's entry tables
bleepSong     = BLEEP_RAM + 2           ; 2: header of the song playing
bleepMode     = BLEEP_RAM + 4           ; TV system (0 NTSC, BLEEP_PAL PAL: the PAL periods' place
                                        ; in the table) + state (0 stopped, 1 playing, 3 paused)
bleepSfxLo    = BLEEP_RAM + 5           ; effect data, high byte with bit 7 clear when none plays
bleepSfxHi    = BLEEP_RAM + 6
bleepSfxWait  = BLEEP_RAM + 7           ; frames until the effect reads on; 0 after an update:
                                        ; it has ended in that frame (1 while none plays)
bleepSfxOwn   = BLEEP_RAM + 8           ; bit per channel the effect has taken; bit 6: its first
                                        ; pulse part plays on pulse 2 (bits 4-5 stay 0)
; per stream (the four channels, then DPCM)
bleepWait     = BLEEP_RAM + 9           ; frames until the next command
bleepNextLo   = bleepWait + 5           ; the pattern after this one, looked up ahead
bleepNextHi   = bleepNextLo + 5         ; (high byte 0 until then)
bleepOrder    = bleepNextHi + 5         ; order list position of the entry looked up next
bleepPatLo    = bleepOrder + 5          ; next command byte
bleepPatHi    = bleepPatLo + 5
; per channel
bleepNote     = bleepPatHi + 5          ; pitch, whole semitones (note 1-96 at a note start)
bleepFrac     = bleepNote + BLEEP_CHANNELS      ; pitch, 1/256 semitones
bleepVol      = bleepFrac + BLEEP_CHANNELS      ; channel volume 0-63, bit 7: a note sounds
bleepDutyOv   = bleepVol + BLEEP_CHANNELS       ; (pulses) duty set by the song, $FF none
bleepKnown    = bleepDutyOv + 2                 ; (the triangle and the noise have no duty) bit 7:
                                                ; every stream's next pattern is looked up
bleepDpcmGo   = bleepDutyOv + 3                 ; bit 7 clear: the sample in bleepDpcmNext
                                                ; starts in this frame
bleepInst     = bleepDutyOv + BLEEP_CHANNELS    ; instrument index (none while bleepEnvHi is 0)
bleepLastHi   = bleepInst + BLEEP_CHANNELS      ; period high byte last written
bleepRate     = bleepLastHi + 3                 ; (the noise has none) DMC rate and loop byte
bleepSlide    = bleepLastHi + BLEEP_CHANNELS    ; slide speed, 0 none
bleepFx       = bleepSlide + BLEEP_CHANNELS     ; FX_ bits, arpeggio step in bits 0-1
bleepArp      = bleepFx + BLEEP_CHANNELS        ; arpeggio xy
bleepVib      = bleepArp + BLEEP_CHANNELS       ; vibrato or tremolo speed x, depth y
bleepVibPos   = bleepVib + BLEEP_CHANNELS       ; vibrato or tremolo position 0-63, x 4
bleepTrem     = bleepVibPos + BLEEP_CHANNELS    ; volume units of the tremolo (signed)
bleepVolSlide = bleepTrem + BLEEP_CHANNELS      ; volume units per frame (signed), 0 none
; per envelope kind (Volume, Note, Duty/Mode, Fine-tune) and channel: index kind * 4 + channel
bleepEnvLo    = bleepVolSlide + BLEEP_CHANNELS  ; the byte before the first value
bleepEnvHi    = bleepEnvLo + 16
bleepEnvPos   = bleepEnvHi + 16                 ; position of the next value from 1 (or of the
                                                ; end byte after the last, so 2 and up);
                                                ; held: 1, 0 when it is the only value
bleepVal      = bleepEnvPos + 16                ; value last read
bleepDpcmNext = bleepVal + 16           ; 2: the DPCM table pair ($4012, $4013) of the sample that
                                        ; starts in this frame, read in the frame before
; channel BLEEP_AHEAD reads its rows in the frame before the one they are for (after that
; frame's registers are written), which keeps its reading out of the frames where the other
; channels read theirs; what the row leaves for its own frame:
bleepAheadRow  = bleepDpcmNext + 2      ; bit 7: the note sounded before it; bit 6: its envelopes
                                        ; have made their first step; bits 0-4: the volume level
                                        ; read + 1, 0 none
bleepAheadWait = bleepAheadRow + 1      ; the row's wait
BLEEP_RAM_SIZE = bleepAheadWait + 1 - BLEEP_RAM
BLEEP_AHEAD    = 3

FX_DOWN    = $80                        ; the slide goes down
FX_GLISS   = $40                        ; whole semitones only
FX_ARP     = $20
FX_VIB     = $10
FX_TREM    = $08
FX_STARTED = $04                        ; a note started (cleared by the effects of its frame)
FX_STEP    = $03
.assert FX_VIB = FX_TREM * 2, error, "bleepDoTremOn halves FX_VIB"

; Header of a song: loop index, instrument pointers, DPCM pointers, then per channel its order
; list and its pattern pointer list.
SONG_INSTRUMENTS = 1
SONG_DPCM        = 3
SONG_CHANNELS    = 5

; The tables come first, so that where their indexed reads cross a page (a cycle more each)
; does not move when the code changes; then bleep_sfx, bleep_play, the entry word, the
; order-list walk, the header word, the command table's offsets and the sound effect's reader,
; which is bleep_update's entry and runs into the song's part: their size sets where the code of
; bleep_update falls in its pages (placed so, the frames of the example songs that cost most
; cross fewest pages).
.include "game_periods.inc"
bleepArpNext:               ; the arpeggio's step after each step: 0 (none, as at a note's
    .byte 1, 2              ; start), x, y, and from there 0 again (the next table's first byte)
bleepLevelVolumes:          ; the channel volume a level read sets: the one Cxy gives the level
    .byte 0, 8, 12, 16, 17  ; (y x 63 / 15; of two, the lower y's), else the level's lowest
    .byte 21, 29, 33, 37, 38, 42, 50, 54, 58, 59, 63
bleepVolumes:               ; the lowest channel volume of each level 0-15 (level 15's upper
    .repeat 16, i           ; bound is the next table's byte: below 63 or not, 63 is stored)
        .byte (i * 63 + 14) / 15
    .endrep
bleepBits:                  ; the channel bits by channel
    .byte 1, 2, 4, 8
bleepQuietValues:
    .byte $30, $30, $80, $30

; Sound effect A on the pulse X (0 or 1) for its first pulse part.
bleep_sfx:
    pha
    lda bleepSwapBits,x     ; the pulse (0 or 1) in bit 6
    jsr bleepSfxStart
    pla
    ldy #2
    jsr bleepEntryWord
    stx bleepSfxLo          ; (the low byte first: an update in between finds no effect)
    sta bleepSfxHi
    rts

bleep_play:
    ldy #0
    jsr bleepEntryWord
    stx bleepSong
    sta bleepSong+1
    jsr bleep_stop          ; the song before it silent (a looping sample too), the state 0;
                            ; X = BLEEP_CHANNELS (its channel loop's end)
    lda #0
    ldy #BLEEP_RAM + BLEEP_RAM_SIZE - bleepWait
:   sta bleepWait-1,y       ; every stream's and channel's state, and no sample to start
    dey
    bne :-
@stream:                    ; X = BLEEP_CHANNELS down to 0
    inc bleepWait,x         ; 1 (and bleepOrder 0: the first entry next)
    jsr bleepStreamPattern  ; (none looked up yet: the first entry's)
    jsr bleepLookAhead
    dex
    bpl @stream
    ldx #BLEEP_CHANNELS - 1
@channel:                   ; (the bytes it sets to $FF are 0 still: the stream loop
                            ; leaves them alone, but for bleepKnown, which it clears)
    dec bleepDutyOv,x       ; $FF, and bleepKnown: every next pattern is looked up, and
                            ; bleepDpcmGo: no sample to start
    dec bleepLastHi,x       ; and bleepRate, which starts at $FF too
    lda #127
    sta bleepVal+12,x       ; (the channel volume is a note's: a note sets 63)
    lda #64
    sta bleepVal+4,x
    dex
    bpl @channel
    jsr bleepReadDpcm       ; the DPCM stream reads a frame ahead: its first frame now
    inc bleepMode           ; playing
    jmp bleepReadAhead      ; and channel BLEEP_AHEAD its first row

; bleepEnv = the word at offset A of the entry tables' table Y (0 songs, 2 effects), its low
; byte in X and its high byte in A too.
bleepEntryWord:
    asl a
    pha
    ldx bleepEntry
    lda bleepEntry+1
    jsr bleepEnvSet         ; bleepEnv = the entry tables
    jsr bleepEnvWord
    pla
    tay
; bleepEnv = the word at bleepEnv + Y, its low byte in X and its high byte in A too.
bleepEnvWord:
    lda (bleepEnv),y
    tax
    iny
    lda (bleepEnv),y
bleepEnvSet:                ; (bleepEnv = A:X)
    sta bleepEnv+1
    stx bleepEnv
    rts

; Stream X moves to its next order entry (the loop index after the last): bleepNextLo/bleepNextHi
; = its pattern, which is the one it plays after the one it plays now, found in a frame before it
; is needed (bleepStreamPattern takes it from there, or has it found right then); A = the high
; byte. bleepPtr is lost.
bleepLookAhead:
bleepOrderPattern:
    ldy bleepStreamAt,x     ; the stream's order list pointer in the header
    jsr bleepHeaderWord     ; the order list
    iny
    sty bleepPtr            ; (free until the end) the pattern pointer list's offset
    ldy bleepOrder,x
    lda (bleepALo),y
    tay
    iny
    bne @entry              ; else $FF, the end: Y = 0
    lda (bleepEnv),y        ; the loop index
    sta bleepOrder,x
    tay
    lda (bleepALo),y
@entry:
    inc bleepOrder,x        ; the entry after it next
    asl a                   ; C: patterns 128 and up lie in the list's second page
    pha
    ldy bleepPtr
    jsr bleepHeaderNext     ; the pattern pointer list (C stays)
    bcc :+
    inc bleepAHi
:   pla
    tay
    lda (bleepALo),y
    sta bleepNextLo,x
    iny
    lda (bleepALo),y
    sta bleepNextHi,x
    rts

; 4 x X + SONG_CHANNELS (5) for X = 0-4: a stream's order list pointer in the header, a channel's
; registers + 5. They are the lowest volumes of levels 1-5, 5, 9, 13, 17 and 21.
bleepStreamAt = bleepVolumes + 1
.repeat BLEEP_CHANNELS + 1, i
    .assert ((i + 1) * 63 + 14) / 15 = SONG_CHANNELS + i * 4, error, "bleepStreamAt: 4 x X + 5"
.endrep

; bleepALo/bleepAHi = the word at offset Y of the song's header (bleepEnv), Y = offset + 1.
bleepHeaderWord:
    lda bleepSong
    sta bleepEnv
    lda bleepSong+1
    sta bleepEnv+1
bleepHeaderNext:            ; (bleepEnv holds the header already)
    lda (bleepEnv),y
    sta bleepALo
    iny
    lda (bleepEnv),y
    sta bleepAHi
    rts

; The commands' offsets from bleepCommandBase, less the dispatch's carry (set for $DB and up).
.macro bleepCommand target, carry
    .assert target - carry - bleepCommandBase >= 0 && target - carry - bleepCommandBase < 256, error, "bleepCommandsLo: a command beyond bleepCommandBase + 255"
    .byte <(target - carry - bleepCommandBase)
.endmacro
bleepCommandsLo:
    bleepCommand bleepDoLongWait, 0
    bleepCommand bleepDoLongNote, 0
    bleepCommand bleepDoCut, 0
    .byte 0                 ; ($D7, the pattern's end, is not dispatched)
    bleepCommand bleepDoLongInstrument, 0
    bleepCommand bleepDoArpOn, 0
    .byte 0                 ; ($DA, the arpeggio's end, is tested for before the table)
    bleepCommand bleepDoSlideUp, 1
    bleepCommand bleepDoSlideDown, 1
    bleepCommand bleepDoSlideOff, 1
    bleepCommand bleepDoArrived, 1
    bleepCommand bleepDoVibOn, 1
    bleepCommand bleepDoVibOff, 1
    bleepCommand bleepDoVolUp, 1
    bleepCommand bleepDoVolDown, 1
    bleepCommand bleepDoVolOff, 1
    bleepCommand bleepDoTremOn, 1
    bleepCommand bleepDoTremOff, 1
    bleepCommand bleepDoGliss, 1
    bleepCommand bleepDoDutyRelease, 1

; One frame of the sound effect: its register values up to the next wait. Its entry, before
; the control bytes' code, is bleep_update's: the effect plays first, so that the song leaves
; alone the channels it takes in this frame, and the reader runs on into the song's part.
bleepSfxReader:
@triangle:
    sbc #$18                ; C is set: the triangle's $98/$99 to $80/$81
    sta $4008
    lda #4
    bne @own
@volume:
    ; duty and volume of a pulse part: bit 6 the second part, which bit 6 of bleepSfxOwn swaps
    eor bleepSfxOwn         ; (whose bits 4-5 are 0)
    asl a
    asl a                   ; the pulse in C (which the next four keep), the duty in bits 6-7
    eor (bleepEnv),y        ; (the value, read again)
    and #$C0
    eor (bleepEnv),y        ; the duty with bits 0-5 of the value
    ora #$30
    bcs @pulse2
@pulse1:
    sta $4000               ; (its operand, $00 $40, is also the effect's bit 6 by pulse)
    lda #1
    bne @own
@pulse2:
    sta $4004
    lda #2
    bne @own
@toneHigh:
    cmp #$98
    bcs @triangle           ; (the period high bytes, more frequent, run on)
@periodHigh:
    ; a period high byte: $80 first pulse part, $88 second, $90 triangle
    and #$18
    lsr a
    ora #1                  ; (its register is the low byte's + 1)
    bne @period
@notWait:                   ; $FC-$FF for $CA-$CD
    cmp #$FF
    beq @none               ; the end: bleepSfxWait stays 0, and bleepSfxRelease gives the
                            ; channels back
    ; a period low byte: $CA first pulse part, $CB second, $CC triangle ($FC-$FE in A)
    asl a
    asl a
    and #$0C
    iny                     ; the byte after it
@period:
    ; A = the part's register offset from $4002, + 1 for a high byte (Y then at the byte
    ; itself, written as it is: bits 0-2 the value, the others go to the length counter's
    ; index, which the halt flag every volume byte sets keeps from counting); a pulse part
    ; goes to the pulse the effect was started on
    bit bleepSfxOwn
    bvc :+                  ; the parts play on the pulses they are written for
    cmp #8
    bcs :+                  ; the triangle
    eor #4
:   tax
    lda (bleepEnv),y
    sta $4002,x
@next:
    iny
@read:
    lda (bleepEnv),y
    bpl @volume
    cmp #$CA
    bcs @control
    cmp #$9A
    bcc @toneHigh
    cmp #$AA
    bcs @noisePeriod
    sbc #$9A - $30 - 1      ; C is clear: the volume 0-15 with $30
    sta $400C
    lda #8
@own:
    ; the effect has written to the channel whose bit is in A. Only the volume (on the triangle:
    ; the control) bytes take a channel: the converter writes a channel's periods only while it
    ; sounds, so that one of those comes first.
    ora bleepSfxOwn
    sta bleepSfxOwn
    bne @next               ; (A holds the bit)
@noisePeriod:
    ; $AA + the period (0-15) + 16 for mode 1: less $3A, mode 0 is $70-$7F and mode 1 $80-$8F,
    ; which the and makes the register's value, the mode in bit 7
    sbc #$3A                ; (C is set, and stays so)
    and #$8F
    sta $400E
    sta $400F               ; (any length counter load: the halt flag keeps it)
    bcs @next
@loop:
    iny
    jsr bleepEnvWord        ; the address to go on at
    sta bleepSfxHi          ; (bleepSfxLo follows at the wait)
    bne @start              ; (A: its high byte, not 0)
@paused:                    ; (bleepPaused)
    rts
@entry:                     ; (bleep_update: the effect first, then the song)
    lda #2
    bit bleepMode
    bne @paused             ; paused: nothing (an effect started now plays from the end
                            ; of the pause on)
    lda bleepSfxHi
    bpl @none               ; none plays (the effect data lies at $8000 and up)
    dec bleepSfxWait
    bne @none
    sta bleepEnv+1
    lda bleepSfxLo
    sta bleepEnv
@start:
    ldy #0                  ; Y: the byte being read
    beq @read
@control:
    sbc #$CE                ; C is set
    bcc @notWait            ; $CA-$CD
    beq @loop               ; $CE
    sta bleepSfxWait        ; a wait
    tya                     ; (C is set still: the sbc's) past the wait
    adc bleepEnv
    sta bleepSfxLo          ; the effect goes on there from the next wait's end
    bcc @none
    inc bleepSfxHi          ; (which is bleepEnv+1: the loop keeps it so)
@none:                      ; (in a frame it reads nothing, and at the end byte) on to the
                            ; song's part, which follows
.assert @pulse1 + 1 = bleepSfxReader + 25, error, "bleepSwapBits"
.assert @paused + 1 = @entry, error, "bleepPaused"
bleep_update := @entry      ; (the one assignment: it ends the reader's local labels)
bleepPaused = bleep_update - 1              ; @paused: bleep_update's return while the song is
bleepSfxKept = bleepPaused                  ; paused, and bleepSfxRelease's while the effect
                                            ; keeps its channels
bleepSwapBits = bleepSfxReader + 25         ; @pulse1 + 1 (bleep_sfx: bleepSfxOwn's bit 6 for
                                            ; pulse 0 and 1)
; bleep_update goes on here after the effect's reader (its entry); an effect that ended in this
; frame gives its channels back after the song's channels.
bleepSongUpdate:            ; (where bleep_update goes on after the effect's reader)
    lda bleepMode
    lsr a                   ; C: the state's bit 0 (a song plays: the reader has told a
    bcc bleepSfxRelease     ; paused one), else the effect alone
    ; one stream whose next pattern is not known yet looks it up (each frame one, until all are)
    lda bleepKnown
    bmi :+++
    ldx #BLEEP_CHANNELS
:   lda bleepNextHi,x
    beq :+
    dex
    bpl :-
    sta bleepKnown          ; A >= $80: the song data lies at $8000 and up
    bmi :++
; An effect that has ended gives its channels back to the song. (It stands here, where no code
; of the frame runs into it, so that bleepChannel's bmi reaches bleepStepEnvelopes.)
bleepSfxRelease:
    lda bleepSfxWait
    bne bleepSfxKept
    jmp bleepSfxStart       ; (A = 0: bleepSfxEnd's)
; The channel loop's end and what follows the last channel stand before bleepChannel (nothing
; runs into them), so that bleepChannel's bmi to bleepStepEnvelopes is short and seldom crosses
; a page.
bleepChannelDone:           ; where a channel the sound effect has ends
    inx
    cpx #BLEEP_AHEAD
    bcc bleepChannel
    beq bleepChannelLast    ; (C set)
bleepChannelsDone:          ; (where the noise's output ends)
    ; the sample read in the frame before starts. bleepDpcmGo is $FF, or $7F after the one lsr
    ; of a sample read (one at most between two waits): the rol takes out bit 7 and puts $FF
    ; back (C is set: both ways here end with a compare of X, 3 or 4, that falls through)
    rol bleepDpcmGo
    bcs @noSample
    lda bleepRate           ; (the data's rate index with the loop flag: no IRQ bit)
    sta $4010
    lda #$3F
    sta $4011
    ldx bleepDpcmNext       ; (X is free: the DPCM reader, the next row read and the
    stx $4012               ; effect's release set it)
    ldx bleepDpcmNext+1
    stx $4013
    lsr a
    lsr a                   ; $0F, C set
    sta $4015
    rol a                   ; $1F: enabling again starts the sample
    sta $4015
@noSample:
    dec bleepWait+BLEEP_CHANNELS
    bne @ahead
    jsr bleepReadDpcm       ; the commands of the next frame
@ahead:
    ldy bleepWait+BLEEP_AHEAD
    dey
    bne bleepSfxRelease     ; else (1) its row comes in the next frame: it is read now
; Channel BLEEP_AHEAD's row of the next frame, read now (it goes on at bleepAheadDone).
bleepReadAhead:
    ldx #BLEEP_AHEAD
bleepChannelReadNow:        ; channel X reads its row
    ldy #$FF
    sty bleepLevel
    lda bleepVol,x
    sta bleepGate           ; bit 7
    lda bleepPatLo,x
    sta bleepPtr
    lda bleepPatHi,x
    sta bleepPtr+1
    iny                     ; 0
    jmp bleepRead           ; which goes on at bleepStepEnvelopes: a row with commands steps
                            ; the envelopes even after a note off
:   jsr bleepLookAhead
:   ldx #0
bleepChannel:               ; X = 0 to BLEEP_AHEAD - 1
    dec bleepWait,x
    beq bleepChannelReadNow
bleepChannelOn:             ; (no row in this frame)
    lda bleepVol,x
    sta bleepGate           ; bit 7
    sta bleepLevel          ; none: negative while the note sounds (and unread when it does
                            ; not: without a row the effects stop at the note's bit)
    bmi bleepStepEnvelopes  ; the envelopes step while the note sounds
    bpl bleepEffects
bleepChannelLast:           ; X = BLEEP_AHEAD, C set: the last channel, whose rows are read
    dec bleepWait,x         ; in the frame before (bleepChannelAhead sets bleepGate and
    bne bleepChannelOn      ; bleepLevel from the row)
; Channel BLEEP_AHEAD's row, read in the frame before: its wait begins, and the frame goes on
; as after reading it.
bleepChannelAhead:
    lda bleepAheadWait
    sta bleepWait,x
    lda bleepAheadRow
    sta bleepGate           ; bit 7
    and #$1F
    sbc #1                  ; (C is set)
    sta bleepLevel
    bit bleepGate
    bvs bleepEffects        ; else on to the envelopes' step
; One step of channel X's envelopes: the value at the position, then the next position; at the
; end byte, the value at the loop point (or the last value again, held from then on). (A Volume
; envelope held on a silent value ends the note by the note cut that the song data holds there.)
; A part of bleep_update's channel loop: it goes on at bleepEffects.
bleepStepEnvelopes:
    lda bleepEnvHi,x        ; the song data lies at $8000 and up: 0 before the first instrument
bleepStepOrNot:
    beq bleepEffectsZero    ; (A = 0)
    txa
    ora #12                 ; the Fine-tune envelope's index, the last kind first
@kind:
    tax
@envelope:                  ; X = the channel + 4 x the envelope kind
    ldy bleepEnvPos,x
    cpy #2
    bcc @next               ; one value, read once (0), or held on its last value (1); C clear
    lda bleepEnvLo,x
    sta bleepEnv
    lda bleepEnvHi,x
    sta bleepEnv+1
    lda (bleepEnv),y
    cmp #$FF
    bne @store              ; C clear
    ; past the last value: the one at the loop point, or the last value again when the
    ; envelope holds it (the position after it becomes 1), 0 when that is its only value
    ; (which a new note does not restart); the position less 1 is stored first
    iny
    lda (bleepEnv),y        ; the loop byte: loop point + 1, or 0 for the last value
    bne @loop
    dey
    dey                     ; the last value
    cpy #2                  ; C: more than one value
    sbc #0                  ; (A = 0: the loop byte) $FF for the only value
    .byte $24               ; (bit zp: skips the tay)
@loop:
    tay
    clc                     ; (for @next)
    sta bleepEnvPos,x
    lda (bleepEnv),y
@store:
    sta bleepVal,x
    inc bleepEnvPos,x
@next:                      ; C is clear
    txa
    sbc #4 - 1
    bcs @kind               ; (no borrow: a kind is left; else X is the channel's)

; The continuous effects of channel X for this frame, while its note sounds (or starts): slides
; of pitch and volume (not on the frame a note starts), the volume level read, the arpeggio,
; the vibrato and the tremolo.
; A part of bleep_update's channel loop: it goes on at bleepEffectsDone.
bleepEffects:
    lda #0
bleepEffectsZero:           ; (A = 0)
    sta bleepArpOff
    sta bleepVibOff
    lda bleepGate
    ora bleepVol,x
    bpl @done
    lda bleepFx,x
    cmp #FX_DOWN            ; C: the slide goes down
    and #FX_STARTED
    bne @started
    lda bleepSlide,x
    beq @volume
@slide:                     ; A = the speed, C: down
    ldy #0
    bcc :+
    eor #$FF                ; down: $FF:~speed + 1 (C)
    dey
:   adc bleepFrac,x
    sta bleepFrac,x
    tya
    adc bleepNote,x
    bvc @noteSet
    tya                     ; beyond the highest or the lowest pitch it can hold:
    eor #$FF
    sta bleepFrac,x         ; the fraction $FF, or 0,
    eor #$80                ; of 127 up, -128 down
@noteSet:
    sta bleepNote,x
@volume:
    lda bleepVolSlide,x
    beq @level
@volumeSlide:               ; A = bleepVolSlide units (signed, -15 to 15)
    ; added to the byte with the note's bit: a volume of 0-63 (bit 6 is 0) stays in bits 0-5
    ; and bit 7 stays; beyond 63 (64-78) bit 6 is set and bit 5 clear, and below 0 (-15 to -1,
    ; where the borrow also flips bit 7) bits 6 and 5 are set
    clc
    adc bleepVol,x
    asl a                   ; C: bit 7, N: bit 6 (outside 0-63)
    bpl @volumeIn
    cmp #$C0                ; C: bit 5 (bit 6 of A), below 0
    lda bleepVol,x
    and #$80                ; the note's bit, with 0 below 0
    bcs @volumeSet
    ora #63                 ; or 63 above
    .byte $24               ; (bit zp: skips the ror)
@volumeIn:
    ror a
@volumeSet:
    sta bleepVol,x
@level:
    ldy bleepLevel
    bmi @arpeggio
@levelRead:
    ; a level read: the volume stays unless its level differs
    lda bleepVol,x
    and #$3F
    cmp bleepVolumes,y
    bcc :+
    cmp bleepVolumes+1,y
    bcc @arpeggio
:   eor bleepVol,x          ; the note's bit
    ora bleepLevelVolumes,y
    sta bleepVol,x
@arpeggio:
    lda bleepFx,x
    bne @wobblesOrNot       ; (none of the bits: nothing more to do)
@done:
    jmp bleepEffectsDone
@started:
    ; the frame a note starts (its mark is cleared here: a note that ends in the frame it starts
    ; leaves it, but only a new note, which sets it again, looks at it next)
    eor bleepFx,x           ; A = FX_STARTED
    sta bleepFx,x
    ldy bleepLevel          ; as at @level, with the bits at hand
    cpy #15
    bcc @levelRead          ; levels 0-14 (15 keeps the note's 63, and $FF is none)
@wobblesOrNot:
    and #FX_ARP | FX_VIB | FX_TREM
    beq bleepEffectsDone
.assert FX_TREM < FX_VIB && FX_VIB < FX_ARP && FX_ARP < $40, error, "@wobbles: FX_ARP the highest"
@wobbles:                   ; A = the bits of those on
    cmp #FX_ARP
    bcc @vibrating          ; (a vibrato or a tremolo then)
    adc #$80 - (FX_ARP | FX_TREM) - 1 ; C is set: V set when a vibrato or a tremolo is on too
    lda bleepFx,x           ; (the arpeggio's code leaves V alone)
    and #FX_STEP
    tay
    eor bleepFx,x           ; the bits but the step
    ora bleepArpNext,y
    sta bleepFx,x
    dey
    bmi @vibrato            ; step 0: none
    lda bleepArp,x
    dey
    bpl :+                  ; step 2: y
    lsr a                   ; step 1: x
    lsr a
    lsr a
    lsr a
:   and #$0F
    sta bleepArpOff
@vibrato:
    bvc bleepEffectsDone
@vibrating:
    ; the position moves on; Y = the vibrato value at the old one and the channel's depth
    lda bleepVib,x
    and #$0F
    sta bleepPLo            ; the depth
    eor bleepVib,x          ; the speed in the high nibble
    lsr a
    lsr a                   ; the speed x 4, C clear
    ldy bleepVibPos,x       ; (kept until the value's sign)
    adc bleepVibPos,x       ; (the position x 4 comes round at 256)
    sta bleepVibPos,x
    tya
    asl a                   ; bits 0-4 of the position in bits 3-7 (bit 5 out)
    bpl :+
    eor #$F8                ; 16-31 and 48-63 fall back: 15 - bits 0-3
:   asl a                   ; the position 0-15 in the high nibble
    jsr bleepTimes
    ; p = position x depth (0-225): the offset is p x 63 / 225 rounded, which is
    ; (287p + 496) / 1024 (or + 495), so (p + p / 8 + 1 + c) / 4 with c = 1 when
    ; 32p mod 256 - p is 16 or more (17 or more when the carry takes 1 off)
    sta bleepPLo
    lsr a
    lsr a
    lsr a
    pha                     ; p / 8
    lda bleepPLo
    asl a
    asl a
    asl a
    asl a
    asl a                   ; 32p mod 256
    sbc bleepPLo            ; - p (- 1 when C is clear)
    bcc :+                  ; below 0: c = 0
    cmp #16                 ; c
:   pla                     ; (C stays)
    adc bleepPLo            ; (below 255: C clear)
    adc #1
    lsr a
    lsr a
    cpy #$80                ; C: bit 7 of the old position, the second half (negative)
    bcc :+
    eor #$FF
    adc #0                  ; (C is set)
:   tay
    lda bleepFx,x
    and #FX_VIB
    beq bleepTremolo
    sty bleepVibOff
    bne bleepEffectsDone
bleepTaken:
    jmp bleepChannelDone    ; the sound effect has the channel
bleepTremolo:
    tya
    sta bleepTrem,x
bleepEffectsDone:           ; where bleepEffects ends
    lda bleepSfxOwn
    and bleepBits,x
    bne bleepTaken

; Writes channel X's registers for this frame.
; A part of bleep_update's channel loop: it goes on with the next channel.
bleepOutput:
    lda bleepVol,x
    asl a                   ; C: a note sounds
    bcc @off
    lsr a                   ; the volume (bit 6 is 0), C clear
    adc bleepTrem,x         ; -63 to 63: 126 at most (full from 60 on), and a negative one
    bmi @off                ; leaves 0-63 or takes it below 0 (-63 to -1)
@nibble:                    ; A = the volume 0-63 (or more, which is full)
    cmp #60
    bcc @scaled             ; else volume / 4 = 15: the Volume value's level
    lda bleepVal,x
@nibbleOut:
    lsr a
    lsr a
    lsr a
    lsr a
    ora #$30
@level:
    sta bleepNibble         ; the volume nibble, 0-15, with $30 (no length counter, constant)
    ; the pitch: the note with its fraction (none with glissando), or the Note envelope's
    ; absolute note, with the vibrato and the fine-tune, then whole semitones of the relative
    ; Note envelope and of the arpeggio; Y holds the semitone + 64 (which the noise's 16
    ; periods do not see, and the tone's table index takes off) up to @pitched, A from there
    lda bleepVal+4,x
    bpl @relative
    asl a
    beq @none
    lsr a                   ; the absolute note, C clear
    adc bleepArpOff
    adc #64                 ; C is clear: at most 127 + 15
    tay
    bcc @noFraction         ; (C is clear) as with glissando
@scaled:                    ; the nibble below full volume: A = the volume 0-59 (it stands
    lsr a                   ; where nothing runs into it)
    lsr a
    sta bleepPLo            ; volume / 4, 0-14 (free until the pitch)
    lda bleepVal,x          ; the Volume value's level in the high nibble (the rest 0)
    jsr bleepTimes          ; level x volume / 4
    ; / 15, as (p + p / 16 + 1) / 16 (exact for the products p of 0-15 and 0-14)
    sta bleepPLo
    lsr a
    lsr a
    lsr a
    lsr a
    sec
    adc bleepPLo
    bcc @nibbleOut          ; (below 256)
@off:                       ; (and a tremolo that took it below 0)
    lda #$30                ; volume 0
    bne @level
@none:
    lda #64                 ; absolute note 0: none
@relative:                  ; A = the relative Note value, 64 for none
    clc
    adc bleepArpOff         ; (at most 127 + 15)
    adc bleepNote,x
    tay
    lda bleepFrac,x
    sta bleepPLo
    beq @add
    lda bleepFx,x
    asl a                   ; N: FX_GLISS
    bpl @add
@noFraction:
    lda #0
    sta bleepPLo
@add:
    ; the vibrato's 1/256 semitones (signed) and the fine-tune (value - 127) added as one
    ; offset of -190 to 191: its sign is N, or not N when V is set
    lda bleepVal+12,x
    eor #$80                ; fine-tune value - 128 (signed)
    sec                     ; and 1 more
    adc bleepVibOff
    beq @pitched            ; none
    bvc :+
    bmi @up                 ; beyond -128 to 127: N is the other way round
    .byte $2C               ; (bit $0110, a RAM read: skips the bpl)
:   bpl @up
@down:
    dey                     ; $FF in the high byte
@up:
    .assert @up - @down < 8, error, "the bit before @down must read RAM ($0010-$0710)"
    clc
    adc bleepPLo
    sta bleepPLo
    bcc @pitched
    iny
@pitched:
    tya
@semitones:
    cpx #3
    bne @tone
    ; 16 periods repeat every 16 notes, the highest note on the shortest period
    and #$0F
    eor #$0F
    bit bleepVal+8+3        ; V: the mode (bit 6 of the Duty/Mode value)
    bvc :+
    ora #$80                ; mode bit 7
:   sta $400E
    lda bleepNibble
    sta $400C
    stx $400F               ; (X = 3: the length bits 3-7 are 0, bits 0-2 unused)
    jmp bleepChannelsDone   ; the last channel
@upper:
    cmp #96 - BLEEP_LOW_NOTE
    bcs @outside            ; not 8-95
@upperIn:                   ; C is clear
    adc bleepMode
    tay
    lda #0
    beq @high
@outside:
    ldy #0
    sty bleepPLo
    cmp #128 - BLEEP_LOW_NOTE
    lda #96 - BLEEP_LOW_NOTE ; 96 and up: 96
    bcc @upperIn
    lda #64 + BLEEP_LOW_NOTE - 1 ; below 8: 8 (with C set, the index 0)
@tone:
    ; period = a - (a - b) * fraction / 256, a and b the table's periods of notes n and n + 1
    sbc #64 + BLEEP_LOW_NOTE - 1 ; C is clear (X < 3; set from @outside): note - 8, the index
    cmp #49 - BLEEP_LOW_NOTE
    bcs @upper              ; notes 49 and up have high byte 0, 97 and up and 7 and below are
                            ; outside
@lower:                     ; C is clear; the PAL periods follow the NTSC ones, and the
    adc bleepMode           ; state adds 1 (playing)
    tay
    lda bleepPeriodLo-1+48,y ; the high byte from the low byte four octaves up
    lsr a
    lsr a
    lsr a
    lsr a
    cmp #8
    bcc @high
    lda #7                  ; the lowest notes stand at $7FF
@high:
    sta bleepAHi
    lda bleepPLo
    bne @interpolate
@whole:                     ; (and where a = b)
    lda bleepPeriodLo-1,y
    bne @period
    inc bleepAHi            ; a period of $x00 (note 18 on NTSC): 1 more
@period:                    ; A = the period's low byte
    ldy bleepOffsets,x
    sta $4002,y
    lda bleepAHi
    cmp bleepLastHi,x
    beq :+
    sta bleepLastHi,x
    sta $4003,y
:   cpx #2
    beq @triangle
    ; pulse: duty from the song, else from the Duty/Mode envelope
    lda bleepDutyOv,x
    bpl @dutySong
    lda bleepVal+8,x        ; duty in bits 6-7 (the data's values have no other bits)
@duty:
    ora bleepNibble
@control:                   ; (the triangle's, Y = 8)
    sta $4000,y
    inx                     ; the next channel: the noise comes after these
    jmp bleepChannel
@interpolate:
    ; (a - b) * fraction / 256: a - b is below 256. Only the product's high byte is kept, so
    ; the fraction shifts out under a marker bit that ends the loop after its eighth bit.
    lda bleepPeriodLo-1,y
    bne @a
    inc bleepAHi            ; (a of $x00)
@a: clc
    sbc bleepPeriodLo,y
    cmp #$FF
    beq @whole              ; a = b (the lowest notes' longest period, whose low byte is not 0)
    sta bleepALo            ; a - b - 1: C is set at each add
    lda #0
    sec
    ror bleepPLo
@bits:
    bcc :+
    adc bleepALo
:   ror a
    lsr bleepPLo
    bne @bits
    eor #$FF                ; a - the product (C is set: the marker bit went out last)
    adc bleepPeriodLo-1,y
    bcs @period
    dec bleepAHi
    bcc @period             ; C is clear
@triangle:
    lda bleepNibble
    cmp #$38
    lda #$C0
    rol a                   ; $80, $81 from level 8 on, C set
    sta $4008
    inx
    jmp bleepChannelLast
@dutySong:
    lsr a
    ror a
    ror a                   ; duty 0-3 to bits 6-7, C clear
    bcc @duty

bleepAheadOrDpcm:           ; (Z set for channel BLEEP_AHEAD)
    bne bleepReturnDpcm
; Channel BLEEP_AHEAD's row read ahead: what its frame needs is kept, and its wait begins then.
bleepAheadDone:
    lda bleepWait,x
    sta bleepAheadWait
    lda #1
    sta bleepWait,x
    asl bleepGate           ; C: the note sounded before the row (bleepGate is free now)
    lda bleepAHi
    and #$80                ; the envelopes' first step is made
    ror a                   ; those in bits 7 and 6, C clear
    sec
    adc bleepLevel          ; + the level + 1, 0 for none ($FF + 1)
    sta bleepAheadRow
    jmp bleepSfxRelease

; A = bleepPLo (0-15) x the high nibble of A (the low nibble 0), by shifts and adds from the
; factor's lowest bit: each bit adds the nibble to the product's high bits, which shift down
; with the carry after it, above three marker bits that leave one by one (C set) until the
; fourth shift takes out the 0 above them. Y is kept, C is clear; bleepPLo and bleepPHi are
; lost. (It stands first here: its rts is bleepAheadOrDpcm's, and the commands' span, below,
; leaves it out.)
bleepTimes:
    sta bleepPHi
    lda #$07                ; the markers (the nibble adds leave them alone)
:   lsr bleepPLo
    bcc :+
    clc
    adc bleepPHi
:   ror a
    bcs :--                 ; (the fourth shift leaves C clear)
bleepReturnDpcm:            ; (where the DPCM stream's reader ends)
    rts

; The commands that bleepReadHigh dispatches: each one's address is bleepCommandBase + its
; offset in bleepCommandsLo + the carry of the dispatch (set for $DB and up), so they all lie
; within 256 bytes from bleepCommandBase: the slides and wobbles here, the volume slides after
; the wait's code (bleepDoLongWait), then the flags, the long note, the cut, the duty release
; and the long instrument in the row reader, which ends the span. Each one comes with C clear,
; Y past the command byte and the byte there (the argument of those that have one) in A, and
; goes on at bleepReadNext. (The arpeggio's end, $DA, which the costliest frames of the
; example songs hold, is tested for before the table: it comes to bleepDoArpOff with C set.)
bleepCommandBase = bleepDoArrived - 1
bleepDoArrived:
    iny
    sta bleepNote,x
    lda #0
    sta bleepFrac,x
bleepDoSlideOff:            ; a slide of speed 0, which leaves FX_DOWN as it is (it matters
    lda #0                  ; only while a slide moves)
    .byte $2C               ; (bit abs: skips the sec and the iny)
bleepDoSlideUp:
    sec
bleepDoSlideDown:
    iny
    sta bleepSlide,x
    beq bleepReadNext       ; speed 0
    lda #<~FX_DOWN
    bcs bleepFxOff          ; up
    lda #FX_DOWN
    bne bleepFxOn
bleepDoVibOn:
    sec
bleepDoTremOn:
    iny
    sta bleepVib,x
    lda #FX_VIB
    bcs bleepFxOn
    lsr a                   ; FX_TREM
    bne bleepFxOn

; The row ends with a wait: the stream's pattern goes on after it next time, and the channel's
; envelopes step (but for the first step, which a new instrument or note has made). A pattern
; that ends right after the wait gives way to the next one now, as at bleepDoEnd: the song data
; switches the arpeggio, the vibrato and the tremolo off before a pattern's end, so that none
; runs until then, and the new pattern's start is not heard before its first row.
; (C is clear at the wait: a wait byte is below $40, and the dispatch clears it)
bleepDoLongWait:            ; (command $D4 n: n frames, its argument in A)
    iny
bleepReadWait:
    sta bleepWait,x         ; 0 waits 256 frames
bleepReadDone:
    lda (bleepPtr),y
    eor #$D7                ; (C stays clear)
    bne bleepReadPos
    ora bleepNextHi,x       ; (A = 0) 0: not looked up yet, and the order list's walk would
    beq bleepReadPos        ; take bleepAHi: the end is read with the next row then
    jsr bleepChannelPattern ; (which keeps C clear and bleepAHi, the pattern being known)
bleepReadPos:               ; (where the DPCM stream's reader ends too) C is clear
    tya                     ; (bleepPatHi is the pattern's: the pattern ends store theirs)
    adc bleepPtr
    sta bleepPatLo,x
    bcc :+
    inc bleepPatHi,x
:   cpx #BLEEP_AHEAD
    bcs bleepAheadOrDpcm    ; channel BLEEP_AHEAD (read a frame ahead, as all its rows are)
                            ; or the DPCM stream
    lda bleepEnvHi,x        ; 0 when a new instrument or note has made the envelopes' first
    eor bleepAHi            ; step (bleepAHi is the Volume envelope's high byte then, else 0),
    jmp bleepStepOrNot      ; or when there is no instrument

bleepDoVolDown:
    eor #$FF                ; the negative, C clear: the song data's slides are 1 to 15
    adc #1
bleepDoVolUp:
    iny
    .byte $2C               ; (bit abs: the next two bytes are its operand)
bleepDoVolOff:
    lda #0
    sta bleepVolSlide,x
    bcc bleepReadNext       ; (C is clear)

; The flags' commands, in reach of the slides and wobbles (bleepFxOn, bleepFxOff) and of
; bleepReadHigh's test for the arpeggio's end (bleepDoArpOff).
bleepDoGliss:
    iny
    lsr a                   ; C: on (the argument is 1 or 0)
    lda #FX_GLISS
    bcs bleepFxOn
    lda #<~FX_GLISS
    .byte $2C               ; (bit abs: skips the next lda, as the next two skip theirs)
bleepDoTremOff:
    lda #<~FX_TREM
    .byte $2C
bleepDoVibOff:
    lda #<~FX_VIB
    .byte $2C
bleepDoArpOff:
    lda #<~FX_ARP
bleepFxOff:
    and bleepFx,x
bleepFxStore:
    sta bleepFx,x
bleepToRow:
    jmp bleepReadNext
bleepDoArpOn:
    iny
    sta bleepArp,x
    lda #FX_ARP
bleepFxOn:
    ora bleepFx,x
    bne bleepFxStore        ; (the bit is set)

bleepDoEnd:
    jsr bleepChannelPattern ; the pattern looked up ahead (or now, if the last one was too
                            ; short for it), read from its start; a pattern ends where a row
                            ; starts, so no instrument has set bleepAHi, which bleepRead clears
                            ; (Y = 0)
; Runs channel X's commands from bleepPtr (Y = 0) up to the next wait, then goes on at
; bleepStepEnvelopes (or bleepEffects). The commands read on from bleepPtr + Y.
bleepRead:
    sty bleepAHi            ; no instrument taken yet
bleepReadNext:
    lda (bleepPtr),y
    bmi bleepReadHigh       ; commands and instruments
    cmp #$40
    bcc bleepDoLongWait     ; (whose iny steps past the byte)
    and #$3F
bleepDoLongNote:            ; (command $D5 n: the note in A, Y at n; Y stays below 256 in a row)
    iny
; A note starts on channel X: full channel volume, envelopes from their first values (unless an
; instrument taken in the row has started them: bleepAHi >= $80), the arpeggio from its first
; step, no tremolo. The row goes on at bleepReadNext.
bleepNoteOn:
    sta bleepNote,x
    lda #$80 | 63
    sta bleepVol,x
    lda #0
    sta bleepFrac,x
    sta bleepTrem,x
    lda bleepFx,x
    and #<~FX_STEP
    ora #FX_STARTED
    sta bleepFx,x
    bit bleepAHi
    bmi bleepReadNext       ; the instrument has started the envelopes
    lda bleepEnvHi,x        ; the song data lies at $8000 and up (0 without instrument)
    bvc bleepRestartEnvelopes ; (V is clear: bleepAHi was 0)
; (A note cut stands in reach of bleepReadNext: it is the command the example songs' costliest
; frame holds.)
bleepDoCut:
    asl bleepVol,x          ; the note's bit off
    lsr bleepVol,x
    bpl bleepReadNext

; Y is still at the byte: each way steps past it on its own, and the long notes and instruments
; ($D5 n, $D8 n) come in at those steps (bleepDoLongNote, bleepDoLongInstrument) with n in A and
; Y at n, as a wait of n frames ($D4 n) does at the wait's.
bleepReadHigh:
    cmp #$D4
    bcs @command
    cmp #$C0
    bcc @instrument
    iny
    cmp #$D0                ; C: a duty, $D0-$D3, else a level, $C0-$CF
    and #$0F                ; either one's value
    bcs @duty
    sta bleepLevel
    bpl bleepReadNext       ; (N is clear)
@dutyRelease:               ; (command $E7)
    lda #$FF
@duty:                      ; A = the duty, $FF none
    cpx #2
    bcs bleepReadNext       ; no duty: those bytes are bleepKnown and bleepDpcmGo
    sta bleepDutyOv,x
    bcc bleepReadNext
@command:
    cmp #$D7
    beq bleepDoEnd          ; the pattern's end, where every channel may be at once
    iny
    cmp #$DA
    beq bleepDoArpOff       ; (C: the command is $DB or above, which the offsets take into
    sty bleepALo            ; (free while a row is read)
    tay                     ; account; the table starts at command $D4 and ends at $E7, the
                            ; last one the song data holds for these channels)
    lda bleepCommandsLo - $D4,y
    adc #<bleepCommandBase
    sta bleepEnv
    lda #>bleepCommandBase
    adc #0                  ; (C is clear after it)
    sta bleepEnv+1
    ldy bleepALo
    lda (bleepPtr),y        ; the argument of those that have one
    jmp (bleepEnv)          ; to the command, which goes on at bleepReadNext
    .assert <bleepEnv <> $FF, error, "jmp (bleepEnv) reads its high byte from bleepEnv + 1"
@instrument:
    and #$3F
bleepDoDutyRelease = @dutyRelease
bleepDoLongInstrument:
    iny
bleepTakeInstrument:
    cmp bleepInst,x
    bne bleepInstrument
    ; (every index may be an instrument's, $FF too: the first one loads whatever bleepInst holds)
    lda bleepEnvHi,x        ; (as at bleepNoteOn; a load sets bleepAHi, 0 until then)
    beq bleepLoad           ; else the same instrument starts its envelopes again
; The envelopes start again with their first step, but for those of one value, which have it
; already. A = the first envelope's high byte, which goes to bleepAHi: >= $80 tells
; bleepReadDone that the step is made (0 without instrument). The Volume envelope comes last,
; through the instrument load's first step, whose loop ends after it.
bleepRestartEnvelopes:
    sta bleepAHi
    tya                     ; the row's read position, kept on the stack
    pha
    ldy #1
    .repeat 3, J
    K .set 3 - J
    lda bleepEnvPos+K*4,x
    beq :+
    lda bleepEnvLo+K*4,x
    sta bleepEnv
    lda bleepEnvHi+K*4,x
    sta bleepEnv+1
    lda (bleepEnv),y
    sta bleepVal+K*4,x
    lda #2
    sta bleepEnvPos+K*4,x
:
    .endrep
    lda bleepEnvPos,x
    beq bleepEnvelopesDone
    lda bleepEnvLo,x        ; the Volume envelope's, with bleepAHi
    jmp bleepFirstStep      ; (the load's kinds run into it, the restart comes by this jmp)

; Channel X takes another instrument, A: its four envelope pointers from the instrument pointer
; table, then each envelope's first step, which bleepStepEnvelopes then leaves out this frame
; (and a note after it in the row). The row goes on at Y.
bleepInstrument:
    sta bleepInst,x
bleepLoad:                  ; (none taken yet: the first load, of the index bleepInst holds)
    tya
    pha
    ldy #SONG_INSTRUMENTS
    jsr bleepHeaderWord     ; the song's instrument pointer table
    lda bleepInst,x
    asl a
    tay                     ; the instrument's offset in the table
    bcc :+
    inc bleepAHi            ; instruments 128 and up lie in the table's second page
:   lda (bleepALo),y
    sta bleepEnv
    iny
    lda (bleepALo),y
    sta bleepEnv+1
    ; each pointer stands one byte before the envelope, so position p (from 1) is at offset p;
    ; the first step reads position 1 and goes on at 2
    txa
    ora #12                 ; the Fine-tune envelope's index, the last kind first
bleepLoadKind:              ; A = kind * 4 + channel
    tax
    ora #3
    lsr a                   ; C set, for the sbc at bleepFirstStep
    tay                     ; kind * 2 + 1: the pointer's high byte
    lda (bleepEnv),y
    sta bleepEnvHi,x
    sta bleepAHi            ; the song data lies at $8000 and up
    dey
    lda (bleepEnv),y
    sta bleepEnvLo,x
    ldy #1
bleepFirstStep:             ; A = the envelope's low byte, X = kind * 4 + channel, Y = 1
    sta bleepALo
    lda (bleepALo),y
    sta bleepVal,x
    lda #2
    sta bleepEnvPos,x
    txa
    sbc #4                  ; (a restart's channel less 4 or 5: below 0 either way)
    bpl bleepLoadKind       ; (X is the channel after the last kind)
bleepEnvelopesDone:
    pla
    tay
    jmp bleepReadNext

; Runs the DPCM stream's commands up to the next wait, in the frame before the one they are
; for: a sample they start is noted in bleepDpcmNext (the DMC rate and loop byte is only read
; when a sample starts).
bleepReadDpcm:
    lda bleepPatLo+BLEEP_CHANNELS
    sta bleepPtr
    lda bleepPatHi+BLEEP_CHANNELS
    sta bleepPtr+1
    ldy #0
@next:
    lda (bleepPtr),y
    iny
    tax                     ; (X is the stream's again at the wait)
    bpl @short              ; 0 waits 256 frames
    ; the others have an argument: $80 n, a wait of n frames; $82 a sample; $85 the DMC rate
    ; and loop byte; $86 y, a loop mark, with nothing to play (the stream holds no other
    ; commands, and $81 comes only after a wait)
    lda (bleepPtr),y        ; the argument
    iny
    cpx #$82
    bcc @wait               ; $80
    beq @play
    cpx #$85
    bne @next               ; $86
    sta bleepRate
    bcs @next               ; (C is set: the cpx found it)
@short:
    clc
@wait:                      ; (C clear)
    ldx #BLEEP_CHANNELS
    sta bleepWait,x
    ; a pattern that ends after the wait gives way to the next one now: a frame that reads a
    ; wait has less to do than the one where the patterns change. (The stream's end comes
    ; after a wait always: the song data has nothing else for it in the frame where a pattern
    ; ends, so the reader meets $81 only here.)
    lda (bleepPtr),y
    eor #$81                ; (C stays clear)
    beq bleepStreamPattern  ; (which stores the new pattern's read position)
    jmp bleepReadPos        ; the read position, as the channels store theirs
@play:
    ; the sample's pair in the DPCM pointer table of the song's header, A = its offset in the
    ; table (twice the sample's index)
    sty bleepPLo            ; (free: no channel's pitch is worked out now)
    tax                     ; (bleepHeaderWord keeps X)
    ldy #SONG_DPCM
    jsr bleepHeaderWord
    txa
    tay
    lda (bleepALo),y
    sta bleepDpcmNext
    iny
    lda (bleepALo),y
    sta bleepDpcmNext+1
    lsr bleepDpcmGo         ; bit 7 clear
    ldy bleepPLo
    bne @next
; Channel X's next pattern, which restarts the arpeggio and the vibrato: as bleepStreamPattern.
bleepChannelPattern:
    lda bleepFx,x
    and #<~FX_STEP
    sta bleepFx,x
    lda #0
    sta bleepVibPos,x
; bleepPtr = stream X's next pattern (looked up ahead, or now), and the stream's read position
; its start (bleepPatLo, bleepPatHi); A = Y = 0.
bleepStreamPattern:
    lda bleepNextHi,x
    bne @known
    jsr bleepOrderPattern   ; (none looked up: bleepKnown is clear already; A: its high byte)
@known:
    sta bleepPtr+1
    sta bleepPatHi,x
    lda bleepNextLo,x
    sta bleepPtr
    sta bleepPatLo,x
    lda #0
    sta bleepNextHi,x
    sta bleepKnown
    tay
    rts

.ifndef BLEEP_TV_SYSTEM
.include "game_calls.inc"   ; (with one TV system, in the place of the other's periods)
.endif
