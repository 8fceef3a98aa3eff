#include "app/ProgramOptions.h"

namespace zerlan {

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
    ProgramOptions options;
    auto value_of = [&](size_t& i, const std::string& name, std::string& target) {
        if (i + 1 >= args.size()) {
            options.error = name + " needs a value";
            return;
        }
        target = args[++i];
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a == "--tui") {
            options.tui = true;
        } else if (a == "--monitor") {
            options.monitor = true;
        } else if (a == "--save") {
            value_of(i, a, options.save_file);
        } else if (a == "--sourcetable") {
            value_of(i, a, options.sourcetable);
        } else if (a == "--decode") {
            value_of(i, a, options.decode_file);
        } else if (a == "--encode") {
            value_of(i, a, options.encode_file);
        } else if (a == "--encrypt") {
            value_of(i, a, options.encrypt_file);
        } else if (a == "--decrypt") {
            value_of(i, a, options.decrypt_file);
        } else if (a == "--rinex") {
            value_of(i, a, options.rinex_file);
        } else if (a == "--rinex-date") {
            value_of(i, a, options.rinex_date);
        } else if (a == "--quiet") {
            options.quiet = true;
        } else if (a.rfind("--", 0) == 0) {
            options.error = "unknown option " + a;
        } else {
            if (!options.parameter_command_line.empty()) options.parameter_command_line += ' ';
            options.parameter_command_line += a;
        }
    }
    return options;
}

}  // namespace zerlan
