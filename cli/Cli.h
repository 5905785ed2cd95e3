#pragma once
// The verb registry of bleepforge-cli. Each verb lives in its own cli/<verb>.cpp and registers
// itself with a static CliVerbRegistrar; main() looks the verb up by name.
//
// A verb receives its own arguments (argv[0] is the verb name) and returns the exit code.
// To fail, it throws std::runtime_error (or any std::exception): main prints "Error: " and the
// message on standard error and exits with 1.

#include <string>
#include <vector>

struct CliVerb {
    const char* name;
    const char* usage;  // one line, shown by `bleepforge-cli help`
    int (*run)(const std::vector<std::string>& args);
};

struct CliVerbRegistrar {
    explicit CliVerbRegistrar(const CliVerb& verb);
};

#include <memory>

struct Song;

// Reads a whole file into memory; throws std::runtime_error naming the path when it cannot.
std::vector<unsigned char> cliReadFile(const std::string& path);

// Loads a song file into a new Song; throws std::runtime_error naming the path when the file
// cannot be read or is not a song this program can read. fileVersion, when given, receives the
// file's version byte.
std::unique_ptr<Song> cliLoadSong(const std::string& path, int* fileVersion = nullptr);
