#include "app/ProgramOptions.h"

#include "core/CharPool.h"

namespace zerlan {

namespace {
constexpr size_t kMaxPoolWindow = size_t{1} << 30;

// "4M", "512k" or plain bytes; 0 when the text is not such a size.
size_t ParseByteSize(const std::string& text) {
    size_t value = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > kMaxPoolWindow) return 0;
        value = value * 10 + static_cast<size_t>(text[i] - '0');
    }
    if (i == 0) return 0;
    const std::string unit = text.substr(i);
    if (unit == "k" || unit == "K") return value << 10;
    if (unit == "m" || unit == "M") return value << 20;
    return unit.empty() ? value : 0;
}
}  // namespace

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
        } else if (a == "--pool-window") {
            std::string text;
            value_of(i, a, text);
            if (options.error.empty()) {
                options.pool_window = ParseByteSize(text);
                if (options.pool_window < CharPool::kMinWindow || options.pool_window > kMaxPoolWindow) {
                    options.error = "--pool-window takes a size from 64k to 1024M, not '" + text + "'";
                }
            }
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
