// The tests' shared tables of descriptors (tests/support/*.txt): lines of
// fields parted by '|', the last one hex bytes; '#' starts a comment line.
// One reader, so that every table reads alike.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bar_table {

struct Row {
    std::vector<std::string> fields; // trimmed, the hex field left out
    std::vector<std::uint8_t> bytes; // the last field
};

inline std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The rows of path, each with `fields` text fields before its hex; a line of
// another shape or not hex fails the test that reads it.
inline std::vector<Row> Read(const char* path, std::size_t fields) {
    std::vector<Row> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        Row row;
        std::size_t at = 0;
        for (std::size_t f = 0; f < fields; ++f) {
            const auto bar = line.find('|', at);
            if (bar == std::string::npos)
                break;
            row.fields.push_back(Trim(line.substr(at, bar - at)));
            at = bar + 1;
        }
        if (row.fields.size() != fields) {
            ADD_FAILURE() << path << ": not " << fields << " fields and hex: " << line;
            continue;
        }
        std::istringstream hex(line.substr(at));
        unsigned byte = 0;
        while (hex >> std::hex >> byte)
            row.bytes.push_back(static_cast<std::uint8_t>(byte));
        if (!hex.eof())
            ADD_FAILURE() << path << ": not hex bytes: " << line;
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace bar_table
