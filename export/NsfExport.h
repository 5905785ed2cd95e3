#pragma once
// NSF export of the song a Player plays: the player is run offline in captureMode from the
// song's start, its frames are captured and laid out as an NSF file in memory.

#include <cstdint>
#include <string>
#include <vector>

class Player;

// Builds the NSF file of player.song into `file`. The caller holds the audio lock (with the
// device paused) for the whole call: the player is borrowed, the state the export changes is
// saved and restored, and resetRequest is raised so that playback starts clean afterwards.
// Returns false, with the reason in `error` when given, when the song does not fit the format.
bool exportNsf(Player& player, std::vector<uint8_t>& file, std::string* error = nullptr);
