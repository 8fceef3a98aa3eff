// `zerlan --encrypt FILE` and `zerlan --decrypt FILE`: the encoder-data and
// decoder-data codecs as batch filters ("-" = standard input, result on
// standard output, summary on standard error unless quiet).
#pragma once

#include <string>

namespace zerlan {

struct Settings;

int RunEncryptCommand(const Settings& settings, const std::string& file, bool quiet);
int RunDecryptCommand(const Settings& settings, const std::string& file, bool quiet);

}  // namespace zerlan
