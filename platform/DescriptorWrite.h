// Writing to a non-blocking descriptor (a FIFO, a serial port) with a bound.
#pragma once

namespace zerlan {

// Writes `size` bytes, waiting at most `wait_ms` each time the descriptor is
// full. The bytes written (fewer when the wait ran out or the other side
// went), or -1 when nothing could be written because of an error.
int WriteWithin(int fd, const char* data, int size, int wait_ms);

}  // namespace zerlan
