; The program of the ROMs that `bleepforge-cli rom` writes: it plays the songs with the game
; driver and shows no picture. Start plays the next song, Select the one before, A the first
; sound effect (on the second pulse).
;
; This image is linked so that it ends at $FFFF with the vectors; the exporter puts the
; converter's data below it and fills in the five bytes at the image's start.

BLEEP_ZP  = $10
BLEEP_RAM = $0300

buttons  = $00                  ; A, B, Select, Start, Up, Down, Left, Right from bit 7 down
held     = $01                  ; the buttons of the frame before
songNow  = $02
readTmp  = $03
tick     = $04                  ; 2 bytes: the part of an editor frame the NMIs have made up

; The editor's frame is 33247.5 CPU cycles on both TV systems, which is a PAL console's video
; frame; an NTSC console's is 29780.67 cycles, so there the driver runs in 58702 of 65536 NMIs
; (29780.67 / 33247.5) and the songs keep the editor's tempo.
NTSC_STEP = 58702

BUTTON_A      = $80
BUTTON_SELECT = $20
BUTTON_START  = $10

.segment "CODE"
; Set by the exporter.
romSongs:   .byte 1             ; songs in the data, 1-128
romEffects: .byte 0             ; sound effects, 0-128
romEntry:   .word 0             ; the converter's entry label
romTv:      .byte 0             ; 0 NTSC, 1 PAL
    .assert romTv - romSongs = 4, error, "the exporter sets bytes 0-4 of the image"

reset:
    sei
    cld
    ldx #$FF
    txs
    lda #0
    sta $2000                   ; no NMI until the driver is set up
    sta $2001                   ; nothing shown
    sta $4010                   ; no DMC interrupt
    lda #$40
    sta $4017                   ; no frame interrupt
    lda #0
    sta buttons
    sta held
    sta songNow
    lda #<(65536 - NTSC_STEP)   ; the first NMI runs the driver
    sta tick
    lda #>(65536 - NTSC_STEP)
    sta tick+1
    lda romTv
    ldx romEntry
    ldy romEntry+1
    jsr bleep_init
    lda #0
    jsr bleep_play
    ; The picture unit ignores $2000 for about 30000 cycles after power-on: two vertical blanks.
    bit $2002
:   bit $2002
    bpl :-
:   bit $2002
    bpl :-
    lda #$80
    sta $2000                   ; NMI at every vertical blank
idle:
    jmp idle

nmi:
    pha
    txa
    pha
    tya
    pha
    lda romTv
    bne @update
    clc
    lda tick
    adc #<NTSC_STEP
    sta tick
    lda tick+1
    adc #>NTSC_STEP
    sta tick+1
    bcc @buttons
@update:
    jsr bleep_update
@buttons:
    jsr readButtons
    lda held
    eor #$FF
    and buttons                 ; pressed since the last frame
    tax
    lda buttons
    sta held
    txa
    and #BUTTON_START
    beq @notStart
    ldx songNow
    inx
    cpx romSongs
    bcc :+
    ldx #0
:   jsr startSong
    jmp @done
@notStart:
    txa
    and #BUTTON_SELECT
    beq @notSelect
    ldx songNow
    bne :+
    ldx romSongs
:   dex
    jsr startSong
    jmp @done
@notSelect:
    txa
    and #BUTTON_A
    beq @done
    lda romEffects
    beq @done
    lda #0
    ldx #1
    jsr bleep_sfx
@done:
    pla
    tay
    pla
    tax
    pla
irq:
    rti

; Song X from its start.
startSong:
    stx songNow
    jsr bleep_stop
    lda songNow
    jmp bleep_play

; The first controller into `buttons`. A DMC fetch during a read can lose a bit, so the
; controller is read until two reads agree.
readButtons:
    jsr readOnce
:   lda buttons
    sta readTmp
    jsr readOnce
    lda buttons
    cmp readTmp
    bne :-
    rts

readOnce:
    lda #1
    sta $4016
    sta buttons                 ; the 1 comes out after eight reads
    lsr a
    sta $4016
:   lda $4016
    and #3                      ; the built-in controller or the one in the expansion port
    cmp #1
    rol buttons
    bcc :-
    rts

.include "game_driver.s"

    .word nmi, reset, irq       ; the last six bytes: $FFFA-$FFFF
