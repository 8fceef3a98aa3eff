// Sleeping for whole milliseconds, as every polling loop of the program does.
#pragma once

namespace zerlan {

// Sleeps `ms` milliseconds (0 or less yields the processor once).
void Sleep(int ms);

}  // namespace zerlan
