// The command line of `zerlan`: options of our own start with "--" and are
// taken out; what remains is the parameter-file command line ("/key,value"
// items, one "/pd" item, or nothing).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zerlan {

struct ProgramOptions {
    bool help = false;
    bool version = false;
    bool tui = false;
    bool monitor = false;     // also show the received stream in the log
    size_t pool_window = 0;   // --pool-window BYTES (k/M suffix); 0 = the default
    std::string save_file;    // --save FILE ("-" = standard output)
    std::string sourcetable;  // --sourcetable HOST[:PORT]
    std::string decode_file;  // --decode FILE ("-" = standard input)
    std::string encode_file;  // --encode FILE ("-" = standard input)
    std::string encrypt_file;  // --encrypt FILE ("-" = standard input)
    std::string decrypt_file;  // --decrypt FILE ("-" = standard input)
    std::string rinex_file;    // --rinex FILE ("-" = standard input)
    std::string rinex_date;    // --rinex-date YYYY-MM-DDTHH
    bool quiet = false;        // batch commands: no summary line
    std::string parameter_command_line;
    std::string error;        // set when the options cannot be used
};

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

}  // namespace zerlan
