// `zerlan --tui`: the job with the full-screen terminal view instead of the
// headless log.
#pragma once

#include <string>

namespace zerlan {

struct Settings;

// `loaded_file`: the parameter file the settings came from, shown and
// reloaded. 2 without a terminal or without the view in this build; else the
// status of the view (0 after quit).
int RunTuiProgram(const Settings& settings, const std::string& command_line, const std::string& loaded_file,
                  bool monitor);

}  // namespace zerlan
