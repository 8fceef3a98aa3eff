#include "platform/Files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

namespace zerlan {

int MakeDirectory(const std::string& path) {
    if (path.empty()) return -1;
    if (mkdir(path.c_str(), 0755) == 0) return 0;
    if (errno != EEXIST) return -1;
    struct stat st {};
    // Something that exists but is no directory cannot hold files.
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : -1;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool StillNamed(std::FILE* file, const std::string& path) {
    struct stat open_st {};
    struct stat named_st {};
    if (file == nullptr || fstat(fileno(file), &open_st) != 0 || stat(path.c_str(), &named_st) != 0) return false;
    return open_st.st_dev == named_st.st_dev && open_st.st_ino == named_st.st_ino;
}

bool AppendToFile(const std::string& path, const char* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

}  // namespace zerlan
