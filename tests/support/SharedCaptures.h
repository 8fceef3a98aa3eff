// The public captures beside the project (none in a fresh clone: their tests skip).
#pragma once

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace zerlan::testing {

inline const std::string kSharedData = std::string(ZERLAN_SOURCE_DIR) + "/../shared/data/";

// Every file of the given folders of the shared data, sorted.
inline std::vector<std::string> SharedCaptures(std::initializer_list<const char*> folders) {
    std::vector<std::string> names;
    std::error_code absent;
    for (const char* folder : folders)
        for (const auto& e : std::filesystem::directory_iterator(kSharedData + folder, absent))
            names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zerlan::testing
