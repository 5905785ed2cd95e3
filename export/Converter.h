#pragma once
// The command-line converter: songs and sound effects named on the command line become assembler
// source for a NES sound driver. Runs before anything else of the program is set up; reads no
// configuration and opens no window.
//
//   bleepforge -s song1.zcm song2.zcm -e jump.zcm -o music.s [-nesasm]
//
// Files written for output path O: O itself (entry tables, then the instrument, envelope and DPCM
// pointer tables), one song-data file per song, the DPCM sample file, one file per effect.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "export/Capture.h"
#include "export/CapturePlayer.h"
#include "song/Song.h"

struct ConverterArguments {
    std::vector<std::string> songs;
    std::vector<std::string> effects;
    std::string output;   // empty = not given
    bool nesasm = false;  // the DPCM pointer table uses "low" instead of "<"

    // True when songs or effects were named: the command line is the converter's.
    bool taken() const { return !songs.empty() || !effects.empty(); }
};

// Reads arguments 1..argc-1: "-s" makes the following plain arguments songs, "-e" effects, "-o"
// the output file; "-nesasm" sets the flag. Options repeat and mix freely; before any of them a
// plain argument is ignored. Throws std::runtime_error "More than one output file specified." for
// a second plain argument after "-o".
ConverterArguments parseConverterArguments(int argc, const char* const* argv);

// What a conversion works on: the one song the player plays (each file is loaded into it in
// turn), the player, and the recorder the player reports its driver commands to.
struct ConverterContext {
    Song& song;
    CapturePlayer& player;
    DriverCommandRecorder& recorder;
};

// Converts as the arguments say. Progress lines go to `out`; a song or effect that cannot be
// loaded is named on `err`. Returns false when a file could not be loaded or an effect file
// could not be written (the run stops there; files already written stay). Throws
// std::runtime_error for errors that end the run: no output file, output files that would
// overwrite one another, a file that cannot be created ("Couldn't open " + name), song data the
// driver format cannot hold. The player's state is restored after each phase.
bool convert(const ConverterArguments& args, ConverterContext& context, std::ostream& out, std::ostream& err);

// The converter's entry: nothing when the command line is not the converter's (the program then
// starts the editor), else the exit code, 0 on success and 1 on failure. Exceptions of convert
// pass through; the caller prints "Error: " + message and exits with 1.
std::optional<int> runConverter(int argc, const char* const* argv, ConverterContext& context,
                                std::ostream& out, std::ostream& err);
