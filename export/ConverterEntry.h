#pragma once
// The converter as the program's entry runs it: everything a conversion needs, made for the run
// alone (a song, the sound chip and its output buffer, the Player, the capture recorder), with no
// configuration and no window.

#include <memory>
#include <optional>

#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"
#include "export/Converter.h"
#include "export/PlayerCapture.h"
#include "player/Player.h"

// A song, the sound chip, the Player and the capture recorder, made for one conversion. The song
// alone is several megabytes with its sample slots, so everything is kept off the stack.
struct ConverterSetup {
    std::unique_ptr<Song> song = std::make_unique<Song>();
    std::unique_ptr<Nonlinear_Buffer> buffer = std::make_unique<Nonlinear_Buffer>();
    std::unique_ptr<Apu> apu = std::make_unique<Apu>(*buffer);
    std::unique_ptr<Player> player = std::make_unique<Player>(*song, *apu);
    DriverCommandRecorder recorder;
    PlayerCapture capture{*player, recorder};
    ConverterContext context{*song, capture, recorder};
};

// Nothing when the command line is not the converter's (the program then starts the editor).
// Otherwise converts, writing progress to standard output, and returns the exit code: 0 on
// success, 1 on failure. An error that ends the run is printed as "Error: " + message on
// standard error and gives 1.
std::optional<int> runConverterFromCommandLine(int argc, char** argv);
