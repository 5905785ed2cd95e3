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

// Reads a whole file into memory; throws std::runtime_error naming the path when it cannot.
std::vector<unsigned char> cliReadFile(const std::string& path);
