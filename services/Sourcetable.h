// The caster sourcetable search: asks an NTRIP caster (directly or through
// the HTTP proxy of the caster input) for its table by requesting a
// mountpoint it does not have, reads the table until the caster closes, and
// parses its STR entries. `zerlan --sourcetable HOST[:PORT]` prints them.
//
// Thread-safety: plain functions; a fetch blocks its caller for as long as
// the caster keeps sending (each wait bounded).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "config/Settings.h"

namespace zerlan {

constexpr const char* kSourcetablePort = "2101";

// One "STR;" record; fields a short record lacks stay empty.
struct SourcetableEntry {
    std::string mountpoint;
    std::string identifier;
    std::string format;
    std::string format_details;
    std::string carrier;
    std::string nav_system;
    std::string network;
    std::string country;
    std::string latitude;
    std::string longitude;
};

// "HOST" or "HOST:PORT"; false when no host is given.
bool SplitHostPort(const std::string& text, std::string* host, std::string* port);

// The request of the search; the login is empty.
std::string SourcetableRequest(const std::string& mountpoint);

// The STR entries of a table, in their order; other records are skipped.
std::vector<SourcetableEntry> ParseSourcetable(const std::string& table);

// Mountpoint, identifier, format, format details, carrier, navigation
// system, country and "latitude,longitude", separated by tabs.
std::string FormatEntry(const SourcetableEntry& entry);

struct ProxySetting {
    bool on = false;
    std::string host;
    std::string port;
};

// The proxy of the caster input, with its slashes restored.
ProxySetting CasterInputProxy(const Settings& settings);

enum class FetchResult { kTable, kUnreachable, kNoTable };

// Longest a whole search may take.
constexpr int kSourcetableDeadlineMs = 20000;

// Connects, sends the request and reads until the caster closes, giving up
// (kUnreachable) when `deadline_ms` have passed. `table` gets the text after
// the line that holds "SOURCETABLE"; `detail` says what went wrong otherwise.
FetchResult FetchSourcetable(const std::string& host, const std::string& port, const ProxySetting& proxy,
                             std::string* table, std::string* detail, int deadline_ms = kSourcetableDeadlineMs);

// The --sourcetable command: 0 with one line per entry on `out`, 1 with a
// message on `err`.
int RunSourcetableCommand(const Settings& settings, const std::string& host_port, std::FILE* out, std::FILE* err);

}  // namespace zerlan
