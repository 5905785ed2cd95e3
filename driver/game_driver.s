; Bleepforge game driver: plays the converter's songs inside a NES program (ca65).
;
; Include it in a code segment after the converter's files, having defined:
;   BLEEP_ZP    a zero-page address: the driver uses BLEEP_ZP_SIZE bytes there
;   BLEEP_RAM   an address in RAM: the driver uses BLEEP_RAM_SIZE bytes there
; It writes the sound registers only ($4000-$400F, $4015), never the PPU or the controllers.
;
; Calls (jsr; A, X and Y are not kept):
;   bleep_init    A = TV system (0 NTSC, 1 PAL), X/Y = low/high byte of the converter's entry
;                 label (the name of its main output file); silences the sound channels
;   bleep_play    A = song number, 0 for the first song named on the converter's command line
;   bleep_stop    silences the channels; bleep_update then plays nothing
;   bleep_pause   A <> 0: silences and holds the song where it is; A = 0: goes on playing
;   bleep_update  once per frame, from the NMI handler
;
; What it plays so far, on the pulses, the triangle and the noise: notes, instruments with their
; Volume, Note and Duty/Mode envelopes (looping or held), the channel volume, duty changes, note
; cuts, waits, pattern ends and the loop of the order lists. The effect commands are read over.

.ifndef BLEEP_ZP
    .error "define BLEEP_ZP, the zero-page address of the driver's pointers"
.endif
.ifndef BLEEP_RAM
    .error "define BLEEP_RAM, the address of the driver's RAM block"
.endif

BLEEP_CHANNELS = 4

bleepPtr      = BLEEP_ZP              ; pattern data being read
bleepEnv      = BLEEP_ZP + 2          ; song header, tables and envelopes
BLEEP_ZP_SIZE = 4

bleepEntry    = BLEEP_RAM             ; 2: the converter's entry tables
bleepSong     = BLEEP_RAM + 2         ; 2: header of the song playing
bleepState    = BLEEP_RAM + 4         ; 0 stopped, 1 playing, 3 paused
bleepTv       = BLEEP_RAM + 5         ; 0 NTSC, 1 PAL
bleepCh       = BLEEP_RAM + 6         ; channel being worked on
bleepTmp      = BLEEP_RAM + 7
bleepWait     = BLEEP_RAM + 8         ; per channel: frames until the next command
bleepOrder    = bleepWait + BLEEP_CHANNELS      ; order list position
bleepPatLo    = bleepOrder + BLEEP_CHANNELS     ; next command byte
bleepPatHi    = bleepPatLo + BLEEP_CHANNELS
bleepNote     = bleepPatHi + BLEEP_CHANNELS     ; note 1-96
bleepQ        = bleepNote + BLEEP_CHANNELS      ; channel volume 0-15
bleepOn       = bleepQ + BLEEP_CHANNELS         ; a note sounds
bleepDutyOv   = bleepOn + BLEEP_CHANNELS        ; duty set by the song, $FF none
bleepInst     = bleepDutyOv + BLEEP_CHANNELS    ; instrument index, $FF none
bleepLastHi   = bleepInst + BLEEP_CHANNELS      ; period high byte last written
; per envelope kind (Volume, Note, Duty/Mode, Fine-tune) and channel: index kind * 4 + channel
bleepEnvLo    = bleepLastHi + BLEEP_CHANNELS    ; first value
bleepEnvHi    = bleepEnvLo + 16
bleepEnvPos   = bleepEnvHi + 16                 ; position of the next value
bleepVal      = bleepEnvPos + 16                ; value last read
BLEEP_RAM_SIZE = bleepVal + 16 - BLEEP_RAM

; Header of a song: loop index, instrument pointers, DPCM pointers, then per channel its order
; list and its pattern pointer list.
SONG_INSTRUMENTS = 1
SONG_CHANNELS    = 5

bleep_init:
    and #1
    sta bleepTv
    stx bleepEntry
    sty bleepEntry+1
bleep_stop:
    lda #0
    sta bleepState
bleepSilence:
    lda #$30
    sta $4000
    sta $4004
    sta $400C
    lda #$80
    sta $4008
    lda #$08                ; sweep off
    sta $4001
    sta $4005
    lda #$0F
    sta $4015
    rts

bleep_pause:
    cmp #0
    beq @resume
    lda bleepState
    beq @done
    lda #3
    sta bleepState
    jmp bleepSilence
@resume:
    lda bleepState
    beq @done
    lda #1
    sta bleepState
    ; the period high bytes are written again, as after a silence
    lda #$FF
    ldx #BLEEP_CHANNELS - 1
:   sta bleepLastHi,x
    dex
    bpl :-
@done:
    rts

bleep_play:
    asl a
    pha
    lda bleepEntry
    sta bleepEnv
    lda bleepEntry+1
    sta bleepEnv+1
    ldy #0                  ; the entry label holds the song table's address
    lda (bleepEnv),y
    tax
    iny
    lda (bleepEnv),y
    sta bleepEnv+1
    stx bleepEnv
    pla
    tay
    lda (bleepEnv),y
    sta bleepSong
    iny
    lda (bleepEnv),y
    sta bleepSong+1
    ldx #BLEEP_CHANNELS - 1
@channel:
    lda #1
    sta bleepWait,x
    lda #$FF
    sta bleepOrder,x
    sta bleepInst,x
    sta bleepDutyOv,x
    sta bleepLastHi,x
    lda #0
    sta bleepOn,x
    sta bleepNote,x
    lda #15
    sta bleepQ,x
    jsr bleepNextOrder
    dex
    bpl @channel
    lda #1
    sta bleepState
    rts

; Channel X moves to its next order entry (the loop index after the last) and its pattern.
bleepNextOrder:
    inc bleepOrder,x
    lda bleepSong
    sta bleepEnv
    lda bleepSong+1
    sta bleepEnv+1
    txa
    asl a
    asl a
    adc #SONG_CHANNELS      ; C is clear: X < 64
    tay
    lda (bleepEnv),y        ; the order list
    sta bleepPtr
    iny
    lda (bleepEnv),y
    sta bleepPtr+1
    iny
    sty bleepTmp            ; where the pattern pointer list's address lies
    ldy bleepOrder,x
    lda (bleepPtr),y
    cmp #$FF
    bne @entry
    ldy #0
    lda (bleepEnv),y        ; the loop index
    sta bleepOrder,x
    tay
    lda (bleepPtr),y
@entry:
    asl a
    pha
    ldy bleepTmp
    lda (bleepEnv),y
    sta bleepPtr
    iny
    lda (bleepEnv),y
    sta bleepPtr+1
    pla
    tay
    lda (bleepPtr),y
    sta bleepPatLo,x
    iny
    lda (bleepPtr),y
    sta bleepPatHi,x
    rts

bleep_update:
    lda bleepState
    cmp #1
    bne @done
    ldx #0
@channel:
    dec bleepWait,x
    bne @waiting
    jsr bleepRead
    jsr bleepStepEnvelopes  ; a row with commands steps them even after a note off
    jmp @output
@waiting:
    jsr bleepEnvelopes
@output:
    jsr bleepOutput
    inx
    cpx #BLEEP_CHANNELS
    bne @channel
@done:
    rts

; The next byte of channel X's pattern.
bleepFetch:
    ldy #0
    lda (bleepPtr),y
    inc bleepPtr
    bne :+
    inc bleepPtr+1
:   rts

; Arguments of the effect commands $D9-$E6, which this driver reads over.
bleepEffectArgs:
    .byte 1, 0, 1, 1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 1

; Runs channel X's commands up to the next wait.
bleepRead:
    lda bleepPatLo,x
    sta bleepPtr
    lda bleepPatHi,x
    sta bleepPtr+1
@next:
    jsr bleepFetch
    cmp #$40
    bcs @notWait
    sta bleepWait,x         ; 0 waits 256 frames
    jmp @done
@notWait:
    cmp #$80
    bcs @notNote
    and #$3F
    jsr bleepNoteOn
    jmp @next
@notNote:
    cmp #$C0
    bcs @notInstrument
    and #$3F
    jsr bleepInstrument
    jmp @next
@notInstrument:
    cmp #$D0
    bcs @notVolume
    and #$0F
    sta bleepQ,x
    jmp @next
@notVolume:
    cmp #$D4
    bcs @notDuty
    and #$03
    sta bleepDutyOv,x
    jmp @next
@notDuty:
    bne @notLongWait
    jsr bleepFetch
    sta bleepWait,x
    jmp @done
@notLongWait:
    cmp #$D5
    bne @notLongNote
    jsr bleepFetch
    jsr bleepNoteOn
    jmp @next
@notLongNote:
    cmp #$D6
    bne @notCut
    lda #0
    sta bleepOn,x
    jmp @next
@notCut:
    cmp #$D7
    bne @notEnd
    jsr bleepNextOrder
    lda bleepPatLo,x
    sta bleepPtr
    lda bleepPatHi,x
    sta bleepPtr+1
    jmp @next
@notEnd:
    cmp #$D8
    bne @notLongInstrument
    jsr bleepFetch
    jsr bleepInstrument
    jmp @next
@notLongInstrument:
    cmp #$E7
    bne @effect
    lda #$FF                ; duty release
    sta bleepDutyOv,x
    jmp @next
@effect:
    cmp #$E7
    bcs @again              ; not a command of these channels
    sbc #$D9 - 1            ; C is clear: A - $D9
    bcc @again
    tay
    lda bleepEffectArgs,y
    beq @again
    jsr bleepFetch
@again:
    jmp @next
@done:
    lda bleepPtr
    sta bleepPatLo,x
    lda bleepPtr+1
    sta bleepPatHi,x
    rts

; A note starts on channel X: full channel volume, envelopes from their first values.
bleepNoteOn:
    sta bleepNote,x
    lda #1
    sta bleepOn,x
    lda #15
    sta bleepQ,x
bleepRestartEnvelopes:
    lda #0
    sta bleepEnvPos,x
    sta bleepEnvPos+4,x
    sta bleepEnvPos+8,x
    sta bleepEnvPos+12,x
    rts

; Channel X takes instrument A: its four envelopes from the instrument pointer table.
bleepInstrument:
    sta bleepInst,x
    asl a
    sta bleepTmp
    lda bleepSong
    sta bleepEnv
    lda bleepSong+1
    sta bleepEnv+1
    ldy #SONG_INSTRUMENTS
    lda (bleepEnv),y
    pha
    iny
    lda (bleepEnv),y
    sta bleepEnv+1
    pla
    sta bleepEnv
    ldy bleepTmp
    lda (bleepEnv),y
    pha
    iny
    lda (bleepEnv),y
    sta bleepEnv+1
    pla
    sta bleepEnv
    stx bleepCh
    ldy #0
@kind:
    lda (bleepEnv),y        ; each pointer stands one byte before the envelope
    clc
    adc #1
    sta bleepEnvLo,x
    iny
    lda (bleepEnv),y
    adc #0
    sta bleepEnvHi,x
    iny
    txa
    clc
    adc #4
    tax
    cpy #8
    bne @kind
    ldx bleepCh
    jmp bleepRestartEnvelopes

; One step of channel X's envelopes (bleepEnvelopes: only while its note sounds): the value at
; the position, then the next position, back to the loop point past the last value (or on the
; last one when the loop point is the last value). A Volume envelope held on a value of 0 ends
; the note.
bleepEnvelopes:
    lda bleepOn,x
    beq bleepEnvDone
bleepStepEnvelopes:
    lda bleepInst,x
    cmp #$FF
    beq bleepEnvDone
    stx bleepCh
@kind:
    lda bleepEnvLo,x
    sta bleepEnv
    lda bleepEnvHi,x
    sta bleepEnv+1
    ldy bleepEnvPos,x
    lda (bleepEnv),y
    sta bleepVal,x
    iny
    lda (bleepEnv),y
    cmp #$FF
    bne @store
    iny
    lda (bleepEnv),y        ; the loop byte: loop point + 1, or 0 for the last value
    bne @loop
    dey
    dey
    jmp @store
@loop:
    tay
    dey
@store:
    tya
    sta bleepEnvPos,x
    txa
    clc
    adc #4
    tax
    cpx #16
    bcc @kind
    ldx bleepCh
    lda bleepVal,x
    bne bleepEnvDone
    lda bleepEnvLo,x
    sta bleepEnv
    lda bleepEnvHi,x
    sta bleepEnv+1
    ldy bleepEnvPos,x
    iny
    lda (bleepEnv),y
    cmp #$FF
    bne bleepEnvDone
    iny
    lda (bleepEnv),y
    bne bleepEnvDone
    lda #0
    sta bleepOn,x
bleepEnvDone:
    rts

; Writes channel X's registers for this frame.
bleepOutput:
    lda bleepOn,x
    beq @level
    lda bleepVal,x          ; Volume value in the high nibble
    and #$F0
    ora bleepQ,x
    tay
    lda bleepLevels,y
@level:
    sta bleepTmp            ; the volume nibble, 0-15
    ; the note: the Note envelope's absolute note (bit 7) or offset from 64
    lda bleepVal+4,x
    bpl @relative
    and #$7F
    jmp @note
@relative:
    sec
    sbc #64
    clc
    adc bleepNote,x
@note:
    cpx #3
    beq @noise
    ; period table index note - 1, kept within 0-95
    sec
    sbc #1
    bpl :+
    lda #0
:   cmp #96
    bcc :+
    lda #95
:   tay
    txa
    asl a
    asl a
    stx bleepCh
    tax                     ; X = register offset of the channel
    lda bleepTv
    bne @pal
    lda bleepPeriodLoNtsc,y
    sta $4002,x
    lda bleepPeriodHiNtsc,y
    jmp @high
@pal:
    lda bleepPeriodLoPal,y
    sta $4002,x
    lda bleepPeriodHiPal,y
@high:
    ldy bleepCh
    cmp bleepLastHi,y
    beq :+
    sta bleepLastHi,y
    sta $4003,x
:   ldx bleepCh
    cpx #2
    beq @triangle
    ; pulse: duty from the song, else from the Duty/Mode envelope
    ldy bleepDutyOv,x
    bmi :+
    lda bleepDutyBits,y
    jmp :++
:   lda bleepVal+8,x
    and #$C0                ; duty in bits 6-7
:   ora #$30
    ora bleepTmp
    ldy bleepOffsets,x
    sta $4000,y
    rts
@triangle:
    lda bleepTmp
    cmp #8
    lda #$80
    adc #0                  ; $81 from level 8 on
    sta $4008
    rts
@noise:
    ; 16 periods repeat every 16 notes, the highest note on the shortest period
    and #$0F
    eor #$0F
    sta bleepCh
    lda bleepVal+8+3
    and #$40
    asl a                   ; mode bit 7
    ora bleepCh
    sta $400E
    lda bleepTmp
    ora #$30
    sta $400C
    lda #0
    sta $400F
    ldx #3
    rts

bleepOffsets:
    .byte 0, 4, 8, 12
bleepDutyBits:
    .byte $00, $40, $80, $C0

; ((value >> 4) * volume) / 15 for a Volume value's high nibble and a channel volume 0-15.
bleepLevels:
    .repeat 256, i
        .byte ((i >> 4) * (i & 15)) / 15
    .endrep

.include "game_periods.inc"
