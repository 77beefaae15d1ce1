// The 16 files of the carried pack as the build packed them, from the list
// the payload build writes (E2E_PAYLOAD_FILES): name<TAB>target
// subdirectory<TAB>host path, one line each, in pack order.
#pragma once

#include "Driver.h"

#include <algorithm>

namespace e2e {

struct PayloadFile {
    std::string name;
    std::string targetSubdir;  // "" for the install directory itself
    std::string hostPath;      // Windows form
};

inline std::vector<PayloadFile> payloadFiles()
{
    std::string listing = readFile(windowsPath(E2E_PAYLOAD_FILES));
    std::vector<PayloadFile> files;
    for (size_t at = 0; at < listing.size();) {
        size_t end = std::min(listing.find('\n', at), listing.size());
        std::string line = listing.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        size_t tab1 = line.find('\t');
        size_t tab2 = tab1 == std::string::npos ? std::string::npos : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos)
            throw Failure("a line of " + std::string(E2E_PAYLOAD_FILES) + " has fewer than three fields: " + line);
        files.push_back({line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1),
                         windowsPath(line.substr(tab2 + 1))});
    }
    if (files.size() != 16)
        throw Failure("the payload lists " + std::to_string(files.size()) + " files instead of 16");
    return files;
}

// Their names as listTree sorts them; with `sources` false only those that
// go into the install directory itself.
inline std::vector<std::string> payloadNames(bool sources = true)
{
    std::vector<std::string> names;
    for (const PayloadFile& file : payloadFiles())
        if (sources || file.targetSubdir.empty())
            names.push_back(file.name);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace e2e
