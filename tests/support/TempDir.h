// A fresh working directory (each test is its own process under ctest, so chdir is safe).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace zerlan::testing {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/zerlan-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "/tmp";
        char cwd[4096];
        old_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
        if (chdir(path_.c_str()) != 0) path_.clear();
    }
    ~TempDir() {
        if (chdir(old_.c_str()) != 0) return;
        std::string cmd = "rm -rf '" + path_ + "'";
        if (!path_.empty() && path_ != "/tmp") std::system(cmd.c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string old_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

}  // namespace zerlan::testing
