// Small file-system calls for the rest of the program: directories, a
// presence check and appending bytes. Paths are operating-system paths (map
// setting paths with MapPath first).
//
// Thread-safety: plain system calls; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace zerlan {

// mkdir(path, 0755). 0 when the directory was made or exists already, -1 otherwise.
int MakeDirectory(const std::string& path);
// True for an existing file or directory.
bool FileExists(const std::string& path);
// Appends `size` bytes to the file, creating it; false when it cannot be opened or written.
bool AppendToFile(const std::string& path, const char* data, size_t size);

// True while `path` still names the open `file`; false once the file or its
// directory was removed or replaced (writes would go nowhere).
bool StillNamed(std::FILE* file, const std::string& path);

}  // namespace zerlan
