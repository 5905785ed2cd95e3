; Bleepforge NSF playback driver.
;
; The exporter records the register image of every editor frame as five bit-packed change
; streams (pulse 1, pulse 2, triangle, noise, DPCM channel), cut into stretches that the order
; lists name. This driver decodes those streams and writes the 2A03 registers once per frame,
; and plays PCM samples and the software pulse and saw waves by writing the DMC level.
;
; Timing. An editor frame is 312 scanlines of 106.5 cycles = 33247.5 CPU cycles, in PAL and NTSC
; alike. play never returns: it runs a loop of 156 slots per frame, one DMC level write per slot.
; A slot is 213 cycles, 19.5 slots per frame are 214 (19 fixed ones, and one more every second
; frame), so a frame takes 33247 and 33248 cycles in turn:
;
;   mode code   76 cycles + jmp 3   the slot's level: PCM byte, pulse or saw; store at cycle 33
;   dispatch    28 cycles           picks the frame's work for this slot from the step table
;   step       101 (or 102) cycles  one constant-time piece of the frame's work
;   jmp (modeVec) 5 cycles
;
; Every path of every mode and step is padded to its exact length (PAD); the numbers in the
; comments are the cycle count at the end of the line, counted from the routine's entry.
; A taken branch into another page would cost a cycle more: the timed branches (BEQ_, BNE_,
; BCS_) fail the link when they would, and "page spacer" bytes move routines out of the way.
; The tests measure the slot spacing in an interpreter.
;
; DMC fetches. Each byte the DMC reads halts the CPU for 4 cycles, so while a DMC sample plays
; the slots run late. The driver counts the fetches a sample makes (its length is known, its
; rate gives how many fall in a frame) and gives the time back in idle slots, 64 cycles at a time,
; while the DMC still plays and the level stores go nowhere. It reads $4015 to know that the DMC
; plays; on a player that does not halt the CPU but reports the DMC, it runs fast by as much.
;
; Frames. Slots 0-128 read the next frame's values from the streams; slots 129 and on write its
; registers and start its samples. Init reads the first frame (primeDecode) and play enters the
; loop at slot 129, so each frame's registers go out at its start, 33247.5 cycles apart from the
; first call of play on; a PCM unit runs from slot 0, 27 slots into the frame.
;
; Data (bank 1 at $9000 holds the tag, directory and tables, read in place: the tag lies at
; $917E, so an 8-byte entry may straddle a page, and each table is read through a pointer to the
; entry's start and one to two bytes on, neither of which crosses a page with the indexes used):
;   directory: order list and stretch table offsets of channels 0-4, PCM table, DPCM table,
;              then the loop target. Offsets count from the tag.
;   order list: one entry index per stretch, $FF at the end.
;   stretch entry (8 bytes): $A000 window address, bank, frames - 1.
;   PCM entry (8 bytes): first part address/bank, second part address/bank, units | loop<<15.
;   DPCM entry (4 bytes): DMC address byte, bank, DMC length byte, loop flag.
; Streams are read through the $A000 window ($5FFA), PCM through $C000 ($5FFC), and the DMC
; plays samples from the $D000 window ($5FFD).

STEP_CYCLES = 101
TAG         = $917E          ; data offset 0 in the bank 1 window
SILENCE     = $0300          ; 128 bytes of $3F: what the PCM mode reads when nothing plays

; Captured values, in stream order.
V_P1HI   = 0
V_P1LO   = 1
V_P1DV   = 2
V_P2HI   = 3
V_P2LO   = 4
V_P2DV   = 5
V_THI    = 6
V_TLO    = 7
V_TCTL   = 8
V_NPER   = 9
V_NVOL   = 10
V_KIND   = 11
V_RATE   = 12
V_VALUE  = 13
V_AMP    = 14
V_THR    = 15
FIELDS   = 16

; ---------------------------------------------------------------------------------------------
.segment "ZEROPAGE"
slot:       .res 1      ; slot index 0-155 within the frame
half:       .res 1      ; toggles every frame: the frame's half cycle
modeVec:    .res 2      ; mode code of the slots
nextVec:    .res 2      ; mode from the next frame on
nextTgt:    .res 1      ; low byte of the level register from the next frame on ($11 or $18)
dirPtr:     .res 24     ; table addresses: order list c at +4c, stretch table c at +4c+2,
                        ; PCM table at +20, DPCM table at +22
loopTarget: .res 1
orderPos:   .res 1
remain:     .res 2      ; frames of the stretch still to come after this one
needLoad:   .res 1
tPtr:       .res 10     ; stretch entry address per channel (stride 2)
uPtr:       .res 10     ; the same plus 2
oPtr:       .res 2      ; order list entry being read
sptr:       .res 10     ; stream: address of the next byte to fetch (stride 2)
sbank:      .res 10     ; stream: its bank
sbuf:       .res 10     ; stream: bits not yet used, lowest first
scnt:       .res 10     ; stream: number of them
decField:   .res 1      ; decoder: field being read (16 = frame done)
decPhase:   .res 2      ; decoder: flag, value or raw-bit handler
decAcc:     .res 1
decRemain:  .res 1
vals:       .res FIELDS ; the values last sent
sent:       .res FIELDS ; 1 when the value was sent this frame
lastHi:     .res 2      ; pulse period high bytes last written
wTmp:       .res 1
; DMC and PCM starts
dStart:     .res 1
dT:         .res 2
dT2:        .res 2
dFlag:      .res 1
dRate:      .res 1
pStart:     .res 1
pT:         .res 2
pT2:        .res 2
cnt:        .res 2      ; unit count of the sample being started
cntLoop:    .res 1
units:      .res 2      ; units left of the sample playing
pLoop:      .res 1
pcmActive:  .res 1
; PCM pointers: first part at +0, second part at +2; banks at +0 and +2 of pbk
pcur:       .res 4
pbk:        .res 4
; unit records: first part address, second part address, first bank, second bank
rStart:     .res 6
rAdv:       .res 6
rSilence:   .res 6
srcRec:     .res 1
; software wave
voiceOn:    .res 1
newVec:     .res 2
newTgt:     .res 1
ampNew:     .res 1
stepNewLo:  .res 1
stepNewHi:  .res 1
phLo:       .res 1      ; phase
phHi:       .res 1
stepLo:     .res 1
shTab:      .res 2      ; step high byte, and it plus one
amp:        .res 1
thr:        .res 1
P:          .res 2      ; saw: phase high byte * amplitude
dLo:        .res 2      ; saw: increase of P per update, without and with a carry
dHi:        .res 2
nD:         .res 2      ; next values of dLo/dHi
nDh:        .res 2
sawWrap:    .res 1
; multiplication
mulL:       .res 2
mulH:       .res 2
mulS:       .res 2
; DMC fetches owed to the frame length
dmTv:       .res 1      ; 0 NTSC, 16 PAL: the rate row of the console
dmRate:     .res 1      ; rate row + index of the sample playing
dmLoop:     .res 1      ; it loops: it never runs out of fetches
dmLeft:     .res 2      ; fetches it has still to make
dmFrac:     .res 1      ; fraction of a fetch carried to the next frame
dmN:        .res 1
dmDebt:     .res 2      ; fetches made whose cycles are not given back yet

; ---------------------------------------------------------------------------------------------
; PAD n: exactly n cycles (n = 0 or n >= 2), touching no register and no flag.
.macro PAD n
    .if (n) < 0 .or (n) = 1
        .error "PAD: impossible cycle count"
    .endif
    .if ((n) .mod 2) = 1
        jmp *+3
        PADEVEN ((n) - 3)
    .else
        PADEVEN (n)
    .endif
.endmacro

.macro PADEVEN m
    .if (m) >= 12
        jsr sledEnd - ((m) - 12) / 2
    .else
        .repeat (m) / 2
            nop
        .endrep
    .endif
.endmacro

; Timed branches: a taken branch into another page costs a cycle more, so the build fails when
; one would.
.macro SAMEPAGE target
    .assert >(*) = >(target), error, "timed branch crosses a page"
.endmacro
.macro BEQ_ target
    beq target
    SAMEPAGE target
.endmacro
.macro BNE_ target
    bne target
    SAMEPAGE target
.endmacro
.macro BMI_ target
    bmi target
    SAMEPAGE target
.endmacro
.macro BCS_ target
    bcs target
    SAMEPAGE target
.endmacro
.macro BCC_ target
    bcc target
    SAMEPAGE target
.endmacro

; dstLo/dstHi = srcA * srcB (srcA <= 255, srcB <= 127) from quarter squares:
; a * b = f(a + b) - f(|a - b|), f(x) = x * x / 4 rounded down. 81 cycles.
.macro MUL srcA, srcB, dstLo, dstHi
    clc                     ; 2
    lda srcA                ; 5
    adc srcB                ; 8
    tay                     ; 10
    lda #0                  ; 12
    rol a                   ; 14
    ora #>sqLo              ; 16
    sta mulL+1              ; 19
    eor #(>sqLo ^ >sqHi)    ; 21
    sta mulH+1              ; 24
    lda (mulL),y            ; 29
    sta mulS                ; 32
    lda (mulH),y            ; 37
    sta mulS+1              ; 40
    sec                     ; 42
    lda srcA                ; 45
    sbc srcB                ; 48
    BCS_ :+                  ; 50 / 51
    eor #$FF                ; 52
    adc #1                  ; 54
    jmp :++                 ; 57
:   PAD 6                   ; 57
:   tay                     ; 59
    sec                     ; 61
    lda mulS                ; 64
    sbc sqLo,y              ; 68
    sta dstLo               ; 71
    lda mulS+1              ; 74
    sbc sqHi,y              ; 78
    sta dstHi               ; 81
.endmacro

; ---------------------------------------------------------------------------------------------
.segment "SQUARES"
; f(x) = x * x / 4 for x = 0-511, low and high bytes; page-aligned so that indexing by a byte
; never crosses a page, and the two tables' pages differ by 2 (see MUL).
sqLo:
    .repeat 512, i
        .byte <((i * i) / 4)
    .endrep
sqHi:
    .repeat 512, i
        .byte >((i * i) / 4)
    .endrep

; ---------------------------------------------------------------------------------------------
; The work of the frame's 156 slots (addresses - 1, for the rts dispatch).
.segment "STEPS"
; The slots before and after the 118 that decode one bit each, listed once for both halves.
.linecont +
.define STEPS_BEFORE stFrameStart - 1, stLoadA0 - 1, stLoadA1 - 1, stLoadA2 - 1, stLoadA3 - 1, \
    stLoadA4 - 1, stLoadB0 - 1, stLoadB1 - 1, stLoadB2 - 1, stLoadB3 - 1, stLoadB4 - 1
.define STEPS_AFTER stPulse1 - 1, stPulse2 - 1, stTriangle - 1, stNoise - 1, \
    stDpcmA - 1, stDpcmB - 1, stPcmA - 1, stPcmB - 1, stVoice - 1, stMul1 - 1, stMul2 - 1, \
    stCommitA - 1, stCommitB - 1, \
    stIdle102 - 1, stDmcStart - 1, stDmcCount - 1, stIdle102 - 1, stDmcRepay - 1, stDmcRepay - 1, \
    stIdle102 - 1, stDmcRepay - 1, stDmcRepay - 1, stDmcRepay - 1, stDmcRepay - 1, \
    stAdvanceA - 1, stAdvanceB - 1, stFrameEnd - 1
.linecont -
stepTabLo:
    .lobytes STEPS_BEFORE
    .repeat 118
        .byte <(stBit - 1)
    .endrep
    .lobytes STEPS_AFTER
stepTabLoEnd:
    .assert stepTabLoEnd - stepTabLo = 156, error, "the frame must have 156 slots"
.segment "STEPSHI"
stepTabHi:
    .hibytes STEPS_BEFORE
    .repeat 118
        .byte >(stBit - 1)
    .endrep
    .hibytes STEPS_AFTER

.segment "DMCTAB"
; DMC fetches per frame of 33247.5 cycles, 8.8 fixed point: 33247.5 / (8 * period), for the
; NTSC rate row (entries 0-15) and the PAL one (16-31), with the DMC's periods in cycles per bit:
; periods NTSC 428, 380, 340, 320, 286, 254, 226, 214, 190, 160, 142, 128, 106, 84, 72, 54;
; PAL 398, 353, 316, 297, 266, 236, 210, 199, 177, 149, 132, 119, 98, 78, 67, 50.
fpfLo:
    .byte $B6, $F0, $39, $FD, $88, $5D, $64, $6C, $E0, $FA, $44, $78, $35, $7A, $B9, $F6
    .byte $71, $C6, $27, $FE, $A0, $9C, $CA, $E2, $7B, $E4, $7C, $ED, $68, $48, $07, $1E
fpfHi:
    .byte 9, 10, 12, 12, 14, 16, 18, 19, 21, 25, 29, 32, 39, 49, 57, 76
    .byte 10, 11, 13, 13, 15, 17, 19, 20, 23, 27, 31, 34, 42, 53, 62, 83
    .assert >fpfLo = >(fpfHi + 31), error, "the fetch tables must not cross a page"

.segment "SMALLTAB"
; Per field: channel * 2, bit width, and the decoder phase that reads it.
fieldCh:    .byte 0, 0, 0, 2, 2, 2, 4, 4, 4, 6, 6, 8, 8, 8, 8, 8
fieldW:     .byte 3, 8, 6, 3, 8, 6, 3, 8, 0, 5, 4, 2, 7, 8, 8, 8
phLoTab:
    .repeat 8
        .byte <phFlag
    .endrep
    .byte <phRaw
    .repeat 8
        .byte <phFlag
    .endrep
phHiTab:
    .repeat 8
        .byte >phFlag
    .endrep
    .byte >phRaw
    .repeat 8
        .byte >phFlag
    .endrep
; By DPCM-channel kind: 0 PCM sample, 1 hardware DPCM, 2 software pulse, 3 software saw.
isPcm:      .byte 1, 0, 0, 0
isDpcm:     .byte 0, 1, 0, 0
isWave:     .byte 0, 0, 1, 1
waveLo:     .byte 0, 0, <pulseMode, <sawMode
waveHi:     .byte 0, 0, >pulseMode, >sawMode
; 12 + 2k cycles: jsr sledEnd - k.
sled:
    .repeat 45
        nop
    .endrep
sledEnd:
    rts

; ---------------------------------------------------------------------------------------------
; The slot loop runs from RAM: the level store of each mode is retargeted between $4011 and
; $4018 (no function) by patching its operand, which keeps every path the same length.
.segment "RAMCODE"
ramStart:
    lda #$18
    sta pcmStore+1
    sta pulseStore+1
    sta sawStore+1
    rts

; PCM: slots 0-127 read the unit's first part, slots 128-155 its second part.
pcmMode:
    lda slot                ; 3
    cmp #128                ; 5
    lda #0                  ; 7
    rol a                   ; 9
    asl a                   ; 11
    tax                     ; 13   X = 0 first part, 2 second part
    lda pbk,x               ; 17
    sta $5FFC               ; 21
    lda (pcur,x)            ; 27
    PAD 6                   ; 33
pcmStore:
    sta $4011               ; 37
    inc pcur,x              ; 43   parts never cross a page
    PAD 33                  ; 76
    jmp dispatch

; Software pulse: high while the phase's high byte is below the threshold.
pulseMode:
    lda phHi                ; 3
    cmp thr                 ; 6
    lda #0                  ; 8
    sbc #0                  ; 10   $FF while high
    and amp                 ; 13
    tay                     ; 15
    clc                     ; 17
    lda phLo                ; 20
    adc stepLo              ; 23
    sta phLo                ; 26
    lda phHi                ; 29
    PAD 4                   ; 33
pulseStore:
    sty $4011               ; 37
    adc shTab               ; 40
    sta phHi                ; 43
    PAD 33                  ; 76
    jmp dispatch

; Software saw: level = phase high byte * amplitude / 256, kept in P and advanced by the
; precomputed products, so no multiplication runs per slot.
sawMode:
    ldy P+1                 ; 3    level from the phase before this update
    clc                     ; 5
    lda phLo                ; 8
    adc stepLo              ; 11
    sta phLo                ; 14
    lda #0                  ; 16
    rol a                   ; 18
    tax                     ; 20   X = carry into the high byte
    lda phHi                ; 23
    adc shTab,x             ; 27
    sta phHi                ; 30   C = the phase wrapped
    jmp *+3                 ; 33
sawStore:
    sty $4011               ; 37
    lda #0                  ; 39
    sbc #0                  ; 41
    eor #$FF                ; 43
    and amp                 ; 46   amplitude when wrapped
    sta sawWrap             ; 49
    clc                     ; 51
    lda P                   ; 54
    adc dLo,x               ; 58
    sta P                   ; 61
    lda P+1                 ; 64
    adc dHi,x               ; 68
    sec                     ; 70
    sbc sawWrap             ; 73
    sta P+1                 ; 76
    jmp dispatch

dispatch:
    ldx slot                ; 3
    inc slot                ; 8
    lda stepTabHi,x         ; 12
    pha                     ; 15
    lda stepTabLo,x         ; 19
    pha                     ; 22
    rts                     ; 28
ramEnd:
    .assert ramEnd - ramStart <= 176, error, "the RAM routine must fit in 176 bytes"

; ---------------------------------------------------------------------------------------------
.segment "CODE4"                 ; after the small tables
; Slot 0: start a new stretch when the current one is over; reset the decoder.
stFrameStart:
    lda remain              ; 3
    ora remain+1            ; 6
    BNE_ @keep               ; 8 / 9
    ldx orderPos            ; 11
    inx                     ; 13
    txa                     ; 15
    clc                     ; 17
    adc dirPtr              ; 20
    sta oPtr                ; 23
    lda dirPtr+1            ; 26
    adc #0                  ; 28
    sta oPtr+1              ; 31
    ldy #0                  ; 33
    lda (oPtr),y            ; 38   channel 0's order list
    cmp #$FF                ; 40
    BNE_ @notEnd             ; 42 / 43
    ldx loopTarget          ; 45
    jmp @pos                ; 48
@notEnd:
    PAD 5                   ; 48
@pos:
    stx orderPos            ; 51
    lda #1                  ; 53
    sta needLoad            ; 56
    jmp @decoder            ; 59
@keep:
    lda remain              ; 12
    sec                     ; 14
    sbc #1                  ; 16
    sta remain              ; 19
    lda remain+1            ; 22
    sbc #0                  ; 24
    sta remain+1            ; 27
    lda #0                  ; 29
    sta needLoad            ; 32
    PAD 27                  ; 59
@decoder:
    lda #0                  ; 61
    sta decField            ; 64
    sta decAcc              ; 67
    lda #<phFlag            ; 69
    sta decPhase            ; 72
    lda #>phFlag            ; 74
    sta decPhase+1          ; 77
    PAD STEP_CYCLES - 77
    jmp (modeVec)

.segment "CODE"

; Slots 1-5: address of channel c's stretch entry.
.macro LOADA c
    .local skip
    lda needLoad            ; 3
    BEQ_ skip                ; 5 / 6
    clc                     ; 7
    lda orderPos            ; 10
    adc dirPtr+4*c          ; 13
    sta oPtr                ; 16
    lda dirPtr+4*c+1        ; 19
    adc #0                  ; 21
    sta oPtr+1              ; 24
    ldy #0                  ; 26
    lda (oPtr),y            ; 31
    sta tPtr+2*c            ; 34
    lda #0                  ; 36
    asl tPtr+2*c            ; 41
    rol a                   ; 43
    asl tPtr+2*c            ; 48
    rol a                   ; 50
    asl tPtr+2*c            ; 55
    rol a                   ; 57
    sta tPtr+2*c+1          ; 60
    clc                     ; 62
    lda tPtr+2*c            ; 65
    adc dirPtr+4*c+2        ; 68
    sta tPtr+2*c            ; 71
    lda tPtr+2*c+1          ; 74
    adc dirPtr+4*c+3        ; 77
    sta tPtr+2*c+1          ; 80
    clc                     ; 82
    lda tPtr+2*c            ; 85
    adc #2                  ; 87
    sta uPtr+2*c            ; 90
    lda tPtr+2*c+1          ; 93
    adc #0                  ; 95
    sta uPtr+2*c+1          ; 98
    PAD STEP_CYCLES + 1 - 98
    jmp (modeVec)
skip:
    PAD STEP_CYCLES + 1 - 6
    jmp (modeVec)
.endmacro

; Slots 6-10: channel c's stream from its stretch entry.
.macro LOADB c
    .local skip
    lda needLoad            ; 3
    BEQ_ skip                ; 5 / 6
    ldy #0                  ; 7
    lda (tPtr+2*c),y        ; 12   bytes 0-1 through the entry's address
    sta sptr+2*c            ; 15
    iny                     ; 17
    lda (tPtr+2*c),y        ; 22
    sta sptr+2*c+1          ; 25
    dey                     ; 27
    lda (uPtr+2*c),y        ; 32   bytes 2-4 through the one 2 bytes on
    sta sbank+2*c           ; 35
    lda #0                  ; 37
    sta scnt+2*c            ; 40   the first bit fetches the first byte
    .if c = 0
        iny                 ; 42
        lda (uPtr),y        ; 47
        sta remain          ; 50
        iny                 ; 52
        lda (uPtr),y        ; 57
        sta remain+1        ; 60
        PAD STEP_CYCLES + 1 - 60
    .else
        PAD STEP_CYCLES + 1 - 40
    .endif
    jmp (modeVec)
skip:
    PAD STEP_CYCLES + 1 - 6
    jmp (modeVec)
.endmacro

stLoadA0: LOADA 0
stLoadA1: LOADA 1
stLoadA2: LOADA 2
    .res 33                  ; page spacer
stLoadA3: LOADA 3
stLoadA4: LOADA 4
stLoadB0: LOADB 0
stLoadB1: LOADB 1
stLoadB2: LOADB 2

; Slot 144: while the DMC plays, the whole fetches that fall in this frame at its rate (no more
; than the sample has left) are owed to the frame length.
stDmcCount:
    lda $4015               ; 4
    and #$10                ; 6
    BEQ_ @idle               ; 8 / 9
    ldx dmRate              ; 11
    clc                     ; 13
    lda dmFrac              ; 16
    adc fpfLo,x             ; 20
    sta dmFrac              ; 23
    lda fpfHi,x             ; 27
    adc #0                  ; 29
    sta dmN                 ; 32
    lda dmLoop              ; 35
    ora dmLeft+1            ; 38
    BNE_ @owe                ; 40 / 41  looping, or more than 255 left
    lda dmLeft              ; 43
    cmp dmN                 ; 46
    BCS_ @enough             ; 48 / 49
    sta dmN                 ; 51   the sample's last fetches
    jmp @counted            ; 54
@enough:
    PAD 5                   ; 54
@counted:
    jmp @sub                ; 57
@owe:
    PAD 16                  ; 57
@sub:
    sec                     ; 59
    lda dmLeft              ; 62
    sbc dmN                 ; 65
    sta dmLeft              ; 68
    lda dmLeft+1            ; 71
    sbc #0                  ; 73
    sta dmLeft+1            ; 76
    clc                     ; 78
    lda dmN                 ; 81
    adc dmDebt              ; 84
    sta dmDebt              ; 87
    lda dmDebt+1            ; 90
    adc #0                  ; 92
    sta dmDebt+1            ; 95
    PAD STEP_CYCLES - 95
    jmp (modeVec)
@idle:
    lda #0                  ; 11   stopped or done: nothing more to come
    sta dmLeft              ; 14
    sta dmLeft+1            ; 17
    PAD STEP_CYCLES - 17
    jmp (modeVec)

; Slots 146-147 and 149-152: while the DMC plays, 16 owed fetches (64 cycles) are given back by
; ending the slot early; the level stores go nowhere then, so no level comes out of time.
stDmcRepay:
    lda $4015               ; 4
    and #$10                ; 6
    BEQ_ @keep               ; 8 / 9
    sec                     ; 10
    lda dmDebt              ; 13
    sbc #16                 ; 15
    tax                     ; 17
    lda dmDebt+1            ; 20
    sbc #0                  ; 22
    BCC_ @short              ; 24 / 25  fewer than 16 owed
    stx dmDebt              ; 27
    sta dmDebt+1            ; 30
    PAD STEP_CYCLES - 64 - 30
    jmp (modeVec)
@short:
    PAD STEP_CYCLES - 25
    jmp (modeVec)
@keep:
    PAD STEP_CYCLES - 9
    jmp (modeVec)

.segment "CODE5"                 ; after the step table
stLoadB3: LOADB 3
stLoadB4: LOADB 4
.segment "CODE"

; Slots 11-128: one bit of the streams each, or a byte fetch. A frame holds at most 103 bits and
; needs at most 15 fetches, so 118 slots always finish it.
stBit:
    lda decField            ; 3
    cmp #FIELDS             ; 5
    BCS_ @done               ; 7 / 8
    tay                     ; 9
    ldx fieldCh,y           ; 13
    lda scnt,x              ; 17
    BEQ_ @fetch              ; 19 / 20
    dec scnt,x              ; 25
    lsr sbuf,x              ; 31   bytes fill from bit 0 up
    rol decAcc              ; 36
    jmp (decPhase)          ; 41
@done:
    PAD STEP_CYCLES - 8
    jmp (modeVec)
@fetch:
    lda sbank,x             ; 24
    sta $5FFA               ; 28
    lda (sptr,x)            ; 34
    sta sbuf,x              ; 38
    lda #8                  ; 40
    sta scnt,x              ; 44
    lda sptr,x              ; 48
    clc                     ; 50
    adc #1                  ; 52
    sta sptr,x              ; 56
    lda sptr+1,x            ; 60
    adc #0                  ; 62
    cmp #$B0                ; 64   past the window: next bank, back to $A000
    and #$0F                ; 66
    ora #$A0                ; 68
    sta sptr+1,x            ; 72
    lda sbank,x             ; 76
    adc #0                  ; 78
    sta sbank,x             ; 82
    PAD STEP_CYCLES - 82
    jmp (modeVec)

; Decoder phases, entered at cycle 41 with Y = field and the new bit in decAcc.
phFlag:
    lda decAcc              ; 44
    BEQ_ @notSent            ; 46 / 47
    lda fieldW,y            ; 50
    sta decRemain           ; 53
    lda #0                  ; 55
    sta decAcc              ; 58
    lda #<phValue           ; 60
    sta decPhase            ; 63
    lda #>phValue           ; 65
    sta decPhase+1          ; 68
    PAD STEP_CYCLES - 68
    jmp (modeVec)
@notSent:
    lda #0                  ; 49
    sta sent,y              ; 54
    iny                     ; 56
    sty decField            ; 59
    lda phLoTab,y           ; 63
    sta decPhase            ; 66
    lda phHiTab,y           ; 70
    sta decPhase+1          ; 73
    PAD STEP_CYCLES - 73
    jmp (modeVec)

phValue:
    dec decRemain           ; 46
    BEQ_ phStore             ; 48 / 49
    PAD STEP_CYCLES - 48
    jmp (modeVec)
phRaw:
    PAD 8                   ; 49
phStore:
    lda decAcc              ; 52
    sta vals,y              ; 57
    lda #1                  ; 59
    sta sent,y              ; 64
    lda #0                  ; 66
    sta decAcc              ; 69
    iny                     ; 71
    sty decField            ; 74
    lda phLoTab,y           ; 78
    sta decPhase            ; 81
    lda phHiTab,y           ; 85
    sta decPhase+1          ; 88
    PAD STEP_CYCLES - 88
    jmp (modeVec)

; ---------------------------------------------------------------------------------------------
.segment "INIT"
init:
    .assert init = $EAE0, error, "init must be at $EAE0"
    txa                     ; X: 0 NTSC, 1 PAL, which picks the DMC's rate row
    pha
    ldx #0
    txa
@clear:
    sta $00,x
    sta $0200,x
    inx
    bne @clear
    pla
    and #1
    asl a
    asl a
    asl a
    asl a
    sta dmTv
    lda #0
    sta $4010
    sta $4008
    lda #$30
    sta $4000
    sta $4004
    sta $400C
    lda #$0F
    sta $4001
    sta $4005
    sta $4015
    ; bank 1 at $9000: the tag at $917E, the directory at $9182
    lda #1
    sta $5FF9
    ldx #0
@dir:
    clc
    lda TAG+4,x
    adc #<TAG
    sta dirPtr,x
    lda TAG+5,x
    adc #>TAG
    sta dirPtr+1,x
    inx
    inx
    cpx #24
    bne @dir
    lda TAG+28
    sta loopTarget
    ; the PCM buffer: silence at the middle level
    ldx #127
    lda #$3F
@fill:
    sta SILENCE,x
    dex
    bpl @fill
    ; the slot loop to RAM at $6800
    ldx #0
@ram:
    lda __RAMCODE_LOAD__,x
    sta __RAMCODE_RUN__,x
    inx
    cpx #176
    bne @ram
    jsr ramStart
    lda #$FF
    sta orderPos
    sta lastHi
    sta lastHi+1
    lda #<pcmMode
    sta modeVec
    sta nextVec
    lda #>pcmMode
    sta modeVec+1
    sta nextVec+1
    lda #$18
    sta nextTgt
    lda #>SILENCE
    sta rSilence+1
    sta rSilence+3
    sta pcur+1
    sta pcur+3
    lda #rSilence
    sta srcRec
    lda #1
    sta shTab+1
    lda #<phFlag
    sta decPhase
    lda #>phFlag
    sta decPhase+1
    jmp prime

.import __RAMCODE_LOAD__, __RAMCODE_RUN__

.segment "CODE2"

; Slots 129-132: the registers of the four tone channels.
.macro PULSE c
    .local same
    lda vals+V_P1DV+3*c     ; 3
    and #$30                ; 5
    asl a                   ; 7
    asl a                   ; 9    duty to bits 6-7
    ora #$30                ; 11   no length counter, constant volume
    sta wTmp                ; 14
    lda vals+V_P1DV+3*c     ; 17
    and #$0F                ; 19
    ora wTmp                ; 22
    sta $4000+4*c           ; 26
    lda vals+V_P1LO+3*c     ; 29
    sta $4002+4*c           ; 33
    lda vals+V_P1HI+3*c     ; 36
    cmp lastHi+c            ; 39
    BEQ_ same                ; 41 / 42
    sta $4003+4*c           ; 45   only on change: the write restarts the phase
    sta lastHi+c            ; 48
    PAD STEP_CYCLES + 1 - 48
    jmp (modeVec)
same:
    PAD STEP_CYCLES + 1 - 42
    jmp (modeVec)
.endmacro

stPulse1: PULSE 0
stPulse2: PULSE 1

stTriangle:
    lda #0                  ; 2
    sec                     ; 4
    sbc vals+V_TCTL         ; 7    $FF when on, else 0
    sta $4008               ; 11
    lda vals+V_TLO          ; 14
    sta $400A               ; 18
    lda vals+V_THI          ; 21
    sta $400B               ; 25
    PAD STEP_CYCLES + 1 - 25
    jmp (modeVec)

stNoise:
    lda vals+V_NVOL         ; 3
    ora #$30                ; 5
    sta $400C               ; 9
    lda vals+V_NPER         ; 12
    and #$10                ; 14
    asl a                   ; 16
    asl a                   ; 18
    asl a                   ; 20   mode to bit 7
    sta wTmp                ; 23
    lda vals+V_NPER         ; 26
    and #$0F                ; 28
    ora wTmp                ; 31
    sta $400E               ; 35
    lda #0                  ; 37
    sta $400F               ; 41
    PAD STEP_CYCLES + 1 - 41
    jmp (modeVec)

; Slots 133-134: a DPCM sample starts when its kind was sent as 1.
stDpcmA:
    ldx vals+V_KIND         ; 3
    lda sent+V_KIND         ; 6
    and isDpcm,x            ; 10
    sta dStart              ; 13
    BEQ_ @no                 ; 15 / 16
    lda vals+V_VALUE        ; 18
    sta dT                  ; 21
    lda #0                  ; 23
    asl dT                  ; 28
    rol a                   ; 30
    asl dT                  ; 35
    rol a                   ; 37
    sta dT+1                ; 40
    clc                     ; 42
    lda dT                  ; 45
    adc dirPtr+22           ; 48
    sta dT                  ; 51
    lda dT+1                ; 54
    adc dirPtr+23           ; 57
    sta dT+1                ; 60
    lda vals+V_RATE         ; 63
    and #$0F                ; 65
    sta dRate               ; 68
    ; the table lies in bank 1 off its 4-byte grid: the entry's second half through a second
    ; pointer, so that no read crosses a page
    clc                     ; 70
    lda dT                  ; 73
    adc #2                  ; 75
    sta dT2                 ; 78
    lda dT+1                ; 81
    adc #0                  ; 83
    sta dT2+1               ; 86
    lda #0                  ; 88
    sta pcmActive           ; 91
    ldy #1                  ; 93
    lda (dT2),y             ; 98   loop flag; bit 7 marks a sample without data
    sta dFlag               ; 101
    jmp (modeVec)
@no:
    PAD STEP_CYCLES - 16
    jmp (modeVec)

stDpcmB:
    lda dStart              ; 3
    BEQ_ @no                 ; 5 / 6
    ; the level belongs to the DMC from here on: PCM stops (stDpcmA), the wave writes nowhere
    lda #$18                ; 7
    sta nextTgt             ; 10
    sta pcmStore+1          ; 14
    sta pulseStore+1        ; 18
    sta sawStore+1          ; 22
    lda dFlag               ; 25
    BMI_ @empty              ; 27 / 28
    tax                     ; 29
    lda #$3F                ; 31
    sta $4011               ; 35
    ldy #0                  ; 37
    lda (dT),y              ; 42
    sta $4012               ; 46
    iny                     ; 48
    lda (dT),y              ; 53
    sta $5FFD               ; 57
    dey                     ; 59
    lda (dT2),y             ; 64
    sta $4013               ; 68
    txa                     ; 70
    lsr a                   ; 72
    ror a                   ; 74
    ror a                   ; 76   $40 when looping
    ora dRate               ; 79
    sta $4010               ; 83
    lda #$0F                ; 85
    sta $4015               ; 89
    lda #$1F                ; 91
    sta $4015               ; 95   restarts the DMC
    PAD STEP_CYCLES - 95
    jmp (modeVec)
@empty:
    PAD STEP_CYCLES - 28    ; nothing to play: a DMC sample already playing goes on
    jmp (modeVec)
@no:
    PAD STEP_CYCLES - 6
    jmp (modeVec)

    .res 54                  ; page spacer
; Slots 135-136: a PCM sample starts when its kind was sent as 0; its first unit plays from the
; next slot 0, 27 slots into the frame that started it.
stPcmA:
    ldx vals+V_KIND         ; 3
    lda sent+V_KIND         ; 6
    and isPcm,x             ; 10
    sta pStart              ; 13
    BEQ_ @no                 ; 15 / 16
    lda vals+V_VALUE        ; 18
    sta pT                  ; 21
    lda #0                  ; 23
    asl pT                  ; 28
    rol a                   ; 30
    asl pT                  ; 35
    rol a                   ; 37
    asl pT                  ; 42
    rol a                   ; 44
    sta pT+1                ; 47
    clc                     ; 49
    lda pT                  ; 52
    adc dirPtr+20           ; 55
    sta pT                  ; 58
    lda pT+1                ; 61
    adc dirPtr+21           ; 64
    sta pT+1                ; 67
    lda #$0F                ; 69
    sta $4015               ; 73   a PCM sample stops the DMC
    clc                     ; 75
    lda pT                  ; 78
    adc #2                  ; 80
    sta pT2                 ; 83
    lda pT+1                ; 86
    adc #0                  ; 88
    sta pT2+1               ; 91
    PAD STEP_CYCLES - 91
    jmp (modeVec)
@no:
    PAD STEP_CYCLES - 16
    jmp (modeVec)

stPcmB:
    lda pStart              ; 3
    BEQ_ @no                 ; 5 / 6
    ldy #0                  ; 7
    lda (pT),y              ; 12   bytes 0-1 through the entry's address
    sta rStart+0            ; 15
    iny                     ; 17
    lda (pT),y              ; 22
    sta rStart+1            ; 25
    dey                     ; 27
    lda (pT2),y             ; 32   bytes 2-7 through the one 2 bytes on
    sta rStart+4            ; 35
    iny                     ; 37
    lda (pT2),y             ; 42
    sta rStart+2            ; 45
    iny                     ; 47
    lda (pT2),y             ; 52
    sta rStart+3            ; 55
    iny                     ; 57
    lda (pT2),y             ; 62
    sta rStart+5            ; 65
    iny                     ; 67
    lda (pT2),y             ; 72
    sta cnt                 ; 75
    iny                     ; 77
    lda (pT2),y             ; 82
    tax                     ; 84
    and #$7F                ; 86
    sta cnt+1               ; 89
    txa                     ; 91
    and #$80                ; 93
    sta cntLoop             ; 96
    PAD STEP_CYCLES - 96
    jmp (modeVec)
@no:
    PAD STEP_CYCLES - 6
    jmp (modeVec)

; Slot 137: the software wave's parameters (kinds 2 and 3), committed in slots 140-141.
stVoice:
    ldx vals+V_KIND         ; 3
    lda isWave,x            ; 7
    sta voiceOn             ; 10
    BEQ_ @no                 ; 12 / 13
    lda waveLo,x            ; 16
    sta newVec              ; 19
    lda waveHi,x            ; 23
    sta newVec+1            ; 26
    ldy #$18                ; 28
    lda vals+V_AMP          ; 31
    sta ampNew              ; 34
    BEQ_ @silent             ; 36 / 37
    ldy #$11                ; 38   a silent wave writes nothing
    jmp @target             ; 41
@silent:
    PAD 4                   ; 41
@target:
    sty newTgt              ; 44
    lda vals+V_RATE         ; 47
    sta stepNewHi           ; 50
    lda vals+V_VALUE        ; 53
    sta stepNewLo           ; 56
    lda #0                  ; 58
    sta pcmActive           ; 61
    lda #$0F                ; 63
    sta $4015               ; 67   the DMC stops while the wave plays
    PAD STEP_CYCLES - 67
    jmp (modeVec)
@no:
    PAD STEP_CYCLES - 13
    jmp (modeVec)

; Slots 138-139: the saw's products for the new amplitude, first with the step still playing
; (into the live table), then with the new step (kept for slot 141).
stMul1:
    MUL shTab, ampNew, dLo, dHi     ; 81
    clc                     ; 83
    lda dLo                 ; 86
    adc ampNew              ; 89
    sta dLo+1               ; 92
    lda dHi                 ; 95
    adc #0                  ; 97
    sta dHi+1               ; 100
    PAD STEP_CYCLES + 1 - 100
    jmp (modeVec)

.segment "PLAY"
play:
    .assert play = $EE3D, error, "play must be at $EE3D"
    jmp (modeVec)           ; slot 129 of the frame init decoded; never returns

.segment "CODE3"

stMul2:
    MUL stepNewHi, ampNew, nD, nDh  ; 81
    clc                     ; 83
    lda nD                  ; 86
    adc ampNew              ; 89
    sta nD+1                ; 92
    lda nDh                 ; 95
    adc #0                  ; 97
    sta nDh+1               ; 100
    PAD STEP_CYCLES + 1 - 100
    jmp (modeVec)

; Slot 140: P = phase high byte * new amplitude, exact again every frame.
stCommitA:
    lda voiceOn             ; 3
    BEQ_ @no                 ; 5 / 6
    MUL phHi, ampNew, P, P+1        ; 86
    lda ampNew              ; 89
    sta amp                 ; 92
    PAD STEP_CYCLES - 92
    jmp (modeVec)
@no:
    PAD STEP_CYCLES - 6
    jmp (modeVec)

; Slot 141: the new step, width and mode.
    .res 29                  ; page spacer
stCommitB:
    lda voiceOn             ; 3
    BEQ_ @no                 ; 5 / 6
    lda stepNewLo           ; 8
    sta stepLo              ; 11
    lda stepNewHi           ; 14
    sta shTab               ; 17
    clc                     ; 19
    adc #1                  ; 21
    sta shTab+1             ; 24
    lda nD                  ; 27
    sta dLo                 ; 30
    lda nD+1                ; 33
    sta dLo+1               ; 36
    lda nDh                 ; 39
    sta dHi                 ; 42
    lda nDh+1               ; 45
    sta dHi+1               ; 48
    lda vals+V_THR          ; 51
    sta thr                 ; 54
    lda newVec              ; 57
    sta modeVec             ; 60
    sta nextVec             ; 63
    lda newVec+1            ; 66
    sta modeVec+1           ; 69
    sta nextVec+1           ; 72
    lda newTgt              ; 75
    sta nextTgt             ; 78
    sta pcmStore+1          ; 82
    sta pulseStore+1        ; 86
    sta sawStore+1          ; 90
    PAD STEP_CYCLES - 90
    jmp (modeVec)
@no:
    PAD STEP_CYCLES - 6
    jmp (modeVec)

stIdle:
    PAD STEP_CYCLES
    jmp (modeVec)

; Slot 143: a DMC sample started in slot 134 makes 16 * its length byte + 1 fetches.
stDmcStart:
    lda dStart              ; 3
    BEQ_ @no                 ; 5 / 6
    lda dFlag               ; 8
    BMI_ @none               ; 10 / 11  no data: the sample already playing goes on
    and #1                  ; 12
    sta dmLoop              ; 15
    lda dRate               ; 18
    ora dmTv                ; 21
    sta dmRate              ; 24
    ldy #0                  ; 26
    lda (dT2),y             ; 31   the DMC length byte
    sta dmLeft              ; 34
    lda #0                  ; 36
    asl dmLeft              ; 41
    rol a                   ; 43
    asl dmLeft              ; 48
    rol a                   ; 50
    asl dmLeft              ; 55
    rol a                   ; 57
    asl dmLeft              ; 62
    rol a                   ; 64
    sta dmLeft+1            ; 67
    inc dmLeft              ; 72   a multiple of 16: no carry
    PAD STEP_CYCLES - 72
    jmp (modeVec)
@none:
    PAD STEP_CYCLES - 11
    jmp (modeVec)
@no:
    PAD STEP_CYCLES - 6
    jmp (modeVec)

stIdle102:
    PAD STEP_CYCLES + 1
    jmp (modeVec)

; Slot 153: where the next unit of the playing PCM sample lies.
stAdvanceA:
    lda pcur                ; 3    128 bytes read: the low byte is the next unit's already
    sta rAdv+0              ; 6
    eor #$80                ; 8
    cmp #$80                ; 10   C set when the unit began at $x80: carry into the high byte
    lda pcur+1              ; 13
    adc #0                  ; 15
    cmp #$D0                ; 17   past the window: next bank, back to $C000
    and #$0F                ; 19
    ora #$C0                ; 21
    sta rAdv+1              ; 24
    lda pbk                 ; 27
    adc #0                  ; 29
    sta rAdv+4              ; 32
    lda pcur+2              ; 35   26 of the 28 second-part bytes are read by now
    clc                     ; 37
    adc #2                  ; 39
    tay                     ; 41
    cmp #$FC                ; 43   nine groups to a page, the last 4 bytes unused
    lda #0                  ; 45
    sbc #0                  ; 47
    sty wTmp                ; 50
    and wTmp                ; 53
    sta rAdv+2              ; 56
    lda pcur+3              ; 59
    adc #0                  ; 61
    cmp #$D0                ; 63
    and #$0F                ; 65
    ora #$C0                ; 67
    sta rAdv+3              ; 70
    lda pbk+2               ; 73
    adc #0                  ; 75
    sta rAdv+5              ; 78
    PAD STEP_CYCLES - 78
    jmp (modeVec)

; Slot 154: what the PCM mode reads next frame: a new sample, the next unit, the loop, or
; silence.
    .res 32                  ; page spacer
stAdvanceB:
    lda pStart              ; 3
    BEQ_ @noStart            ; 5 / 6
    lda #<pcmMode           ; 7
    sta nextVec             ; 10
    lda #>pcmMode           ; 12
    sta nextVec+1           ; 15
    lda #0                  ; 17
    sta pStart              ; 20
    lda cnt                 ; 23
    sta units               ; 26
    ora cnt+1               ; 29
    BEQ_ @empty              ; 31 / 32
    lda cnt+1               ; 34
    sta units+1             ; 37
    lda cntLoop             ; 40
    sta pLoop               ; 43
    lda #1                  ; 45
    sta pcmActive           ; 48
    lda #$11                ; 50
    sta nextTgt             ; 53
    ldx #rStart             ; 55
    stx srcRec              ; 58
    PAD STEP_CYCLES - 58
    jmp (modeVec)
@empty:                     ; a sample without data: the wave stops, the level stays
    PAD 5                   ; 37
    jmp @stop               ; 40, as the stop below is entered
@noStart:
    lda pcmActive           ; 9
    BEQ_ @silence            ; 11 / 12
    lda units               ; 14
    sec                     ; 16
    sbc #1                  ; 18
    sta units               ; 21
    lda units+1             ; 24
    sbc #0                  ; 26
    sta units+1             ; 29
    ora units               ; 32
    BNE_ @next               ; 34 / 35
    lda pLoop               ; 37
    BEQ_ @stop               ; 39 / 40
    lda cnt                 ; 42
    sta units               ; 45
    lda cnt+1               ; 48
    sta units+1             ; 51
    ldx #rStart             ; 53
    stx srcRec              ; 56
    PAD STEP_CYCLES - 56
    jmp (modeVec)
@stop:
    lda #0                  ; 42
    sta pcmActive           ; 45
    lda #$18                ; 47   the level stays where the sample left it
    sta nextTgt             ; 50
    ldx #rSilence           ; 52
    stx srcRec              ; 55
    PAD STEP_CYCLES - 55
    jmp (modeVec)
@next:
    ldx #rAdv               ; 37
    stx srcRec              ; 40
    PAD STEP_CYCLES - 40
    jmp (modeVec)
@silence:
    ldx #rSilence           ; 14
    stx srcRec              ; 17
    PAD STEP_CYCLES - 17
    jmp (modeVec)

; Slot 155: switch PCM pointers and mode for the next frame; the frame's half cycle.
stFrameEnd:
    ldx srcRec              ; 3
    lda 0,x                 ; 7
    sta pcur                ; 10
    lda 1,x                 ; 14
    sta pcur+1              ; 17
    lda 2,x                 ; 21
    sta pcur+2              ; 24
    lda 3,x                 ; 28
    sta pcur+3              ; 31
    lda 4,x                 ; 35
    sta pbk                 ; 38
    lda 5,x                 ; 42
    sta pbk+2               ; 45
    lda nextVec             ; 48
    sta modeVec             ; 51
    lda nextVec+1           ; 54
    sta modeVec+1           ; 57
    lda nextTgt             ; 60
    sta pcmStore+1          ; 64
    sta pulseStore+1        ; 68
    sta sawStore+1          ; 72
    lda #0                  ; 74
    sta slot                ; 77
    lda half                ; 80
    eor #1                  ; 82
    sta half                ; 85
    BEQ_ @even               ; 87, or 88 every second frame
@even:
    PAD STEP_CYCLES - 87
    jmp (modeVec)

; The first frame is decoded before play is first called, so that play starts at slot 129 and
; writes the first frame's registers at once: every frame's registers then go out at its start,
; as the editor writes them on scanline 0. Slots 0-10 (the stretch loads) run untimed through
; the dispatcher without the level writes; the streams are then read by primeDecode, which
; leaves the decoder where slots 11-128 would have left it, in a fraction of their time.
prime:
    lda #<primeMode
    sta modeVec
    lda #>primeMode
    sta modeVec+1
    jmp dispatch
primeMode:
    lda slot
    cmp #11
    bcs @decode
    jmp dispatch
@decode:
    jsr primeDecode
    lda #129
    sta slot
    lda #FIELDS
    sta decField
    lda #<pcmMode
    sta modeVec
    lda #>pcmMode
    sta modeVec+1
    rts                     ; from init

; The sixteen fields of a frame into vals/sent, as stBit and the decoder phases read them.
primeDecode:
    ldy #0
@field:
    ldx fieldCh,y
    lda #0
    sta decAcc
    lda fieldW,y
    beq @raw
    sta decRemain
    jsr primeBit
    bcc @notSent
@value:
    jsr primeBit
    rol decAcc
    dec decRemain
    bne @value
    beq @store
@raw:
    jsr primeBit
    rol decAcc
@store:
    lda decAcc
    sta vals,y
    lda #1
    bne @sent
@notSent:
    lda #0
@sent:
    sta sent,y
    iny
    cpy #FIELDS
    bne @field
    rts

; The next bit of stream X (channel * 2) in C; a byte is fetched when none is left.
primeBit:
    lda scnt,x
    bne @have
    lda sbank,x
    sta $5FFA
    lda (sptr,x)
    sta sbuf,x
    lda #8
    sta scnt,x
    inc sptr,x
    bne @have
    inc sptr+1,x
    lda sptr+1,x
    cmp #$B0                ; past the window: next bank, back to $A000
    bne @have
    lda #$A0
    sta sptr+1,x
    inc sbank,x
@have:
    dec scnt,x
    lsr sbuf,x
    rts
