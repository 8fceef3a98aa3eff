// Named pipes as FIFOs. Both sides create a missing FIFO (mode 0600) and
// refuse a path that exists but is not one. Opens never block: the writer's
// open fails with ENXIO while no reader has the FIFO open, which is how the
// pipe output waits for its client.
//
// Thread-safety: plain system calls; a descriptor belongs to one thread.
#pragma once

#include <string>

namespace zerlan {

// "\\.\pipe\NAME" is $ZERLAN_PIPE_DIR/NAME (default /tmp); any other name is
// a path (backslashes read as slashes).
std::string FifoPath(const std::string& pipe_name);

// Descriptor, or -1 with `*no_peer` true when only the other side is missing
// (writer without a reader) and otherwise the reason in `error`.
int OpenFifoWriter(const std::string& path, bool* no_peer, std::string* error);
int OpenFifoReader(const std::string& path, std::string* error);
void CloseFifo(int fd);

// What arrived within `wait_ms`: the byte count, -2 when nothing came yet,
// 0 when the writer has gone and everything was read, -1 on error.
int ReadFifo(int fd, char* buffer, int size, int wait_ms);
// Writes all `size` bytes, waiting for room up to `wait_ms` without
// progress; the bytes written, -1 when the reader has gone before any byte.
int WriteFifo(int fd, const char* data, int size, int wait_ms);

// Opens an existing FIFO once from the reading side and closes it again, so
// that a writer waiting for a reader sees one; never blocks, never creates.
void TouchFifoAsReader(const std::string& path);

}  // namespace zerlan
