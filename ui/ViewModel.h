// What the main view shows, as plain data: the headless renderer prints from
// it, the terminal view draws it, tests inspect it. Only the view thread
// touches it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace zerlan {

// Output bars by control number 1014..1019.
enum OutputBar { kBarCaster = 0, kBarTcpClient, kBarSerial, kBarUdp, kBarPipe, kBar1019, kOutputBars };

struct ViewModel {
    std::string log;                      // at most 3500 characters
    int input_bar = 0;
    int input_bar_max = 500;
    std::array<int, kOutputBars> output_bars{};
    int output_bar_max = 500;
    std::map<uint32_t, std::string> numbers;  // number fields, keyed by the message that fills them
    std::array<std::string, 8> decoder_fields;  // status-board slots 0..7 (4 unused)
    std::string status_text;                    // status-board slot 10
    std::string gps_fkp_count, glo_fkp_count, gps_sat_list, glo_sat_list;
    std::array<std::string, 20> decoder_lines;
    std::string warning_text;
    std::string time_text;
    std::string input_type;
    std::string document_title;
    std::string start_stop_text = "Start";
    bool controls_enabled = true;
};

}  // namespace zerlan
