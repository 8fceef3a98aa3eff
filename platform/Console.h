// Message boxes of the program become one line on stderr, "[title] text",
// and never wait for anyone. Tests redirect the lines with `SetMessageBoxSink`.
#pragma once

#include <functional>
#include <string>

namespace zerlan {

using MessageBoxSink = std::function<void(const std::string& text, const std::string& title)>;

void MessageBox(const std::string& text, const std::string& title);
// Installs a sink (nullptr restores stderr). Meant for test set-up.
void SetMessageBoxSink(MessageBoxSink sink);

}  // namespace zerlan
