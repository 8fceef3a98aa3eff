// The job in an operator's words: one line per part that the settings ask
// for ("input: TCP client 10.0.0.5:2101"), shown beside the start lines of
// the threads, and the port checks that refuse a job before it starts.
#pragma once

#include <string>
#include <vector>

#include "config/Settings.h"

namespace zerlan {

std::vector<std::string> DescribeJob(const Settings& settings);

// One message per enabled endpoint whose port is not a number in 1..65535
// ("tcp_out: port "abc" is not a number in 1..65535"). Such a port would
// otherwise become 0, which the system replaces by a random port.
std::vector<std::string> PortProblems(const Settings& settings);

}  // namespace zerlan
