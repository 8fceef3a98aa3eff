// zerlan: relay and converter for GNSS data streams.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Program.h"
#include "app/ProgramOptions.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    zerlan::ProgramOptions options = zerlan::ParseProgramOptions(args);
    return zerlan::RunProgram(options);
}
