// An independent RINEX 2.10 observation reader, enough to compare what two programs wrote.
#pragma once

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace zerlan::testing {

// "mm:ss" and per satellite ("G03") the values C1, L1, P2, L2 (NAN when blank).
struct ObservedEpoch {
    std::string minute_second;
    std::map<std::string, std::array<double, 4>> values;
};

inline std::vector<ObservedEpoch> ReadRinexObservations(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::vector<int> columns;  // the C1, L1, P2, L2 column among the file's types
    int types = 0;
    while (std::getline(in, line) && line.find("END OF HEADER") == std::string::npos) {
        if (line.find("# / TYPES OF OBSERV") == std::string::npos) continue;
        std::istringstream fields(line.substr(0, 60));
        fields >> types;
        std::vector<std::string> names;
        for (std::string name; fields >> name;) names.push_back(name);
        for (const char* wanted : {"C1", "L1", "P2", "L2"}) {
            int at = -1;
            for (size_t i = 0; i < names.size(); ++i) at = names[i] == wanted ? static_cast<int>(i) : at;
            columns.push_back(at);
        }
    }
    std::vector<ObservedEpoch> epochs;
    while (std::getline(in, line)) {
        if (line.size() < 32) continue;
        ObservedEpoch e;
        e.minute_second = line.substr(13, 2) + ":" + std::to_string(std::atoi(line.c_str() + 16));
        const int count = std::atoi(line.substr(29, 3).c_str());
        std::vector<std::string> satellites;
        for (int i = 0; i < count; ++i) {
            if (i > 0 && i % 12 == 0) std::getline(in, line);
            const std::string sat = line.substr(32 + 3 * (i % 12), 3);
            satellites.push_back(sat.substr(0, 1) + (sat[1] == ' ' ? "0" : sat.substr(1, 1)) + sat.substr(2, 1));
        }
        for (const std::string& sat : satellites) {
            std::string obs;
            for (int l = 0; l < (types + 4) / 5; ++l) {
                std::getline(in, line);
                line.resize(80, ' ');
                obs += line;
            }
            std::array<double, 4>& v = e.values[sat];
            for (int k = 0; k < 4; ++k) {
                const std::string field = columns[k] < 0 ? "" : obs.substr(16 * columns[k], 14);
                v[k] = field.find_first_not_of(' ') == std::string::npos ? NAN : std::atof(field.c_str());
            }
        }
        epochs.push_back(e);
    }
    return epochs;
}

}  // namespace zerlan::testing
