#include "tools/lc1sim/chain.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace lc1sim {

namespace {

bool ParseNumber(const std::string& text, unsigned maximum, unsigned& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 5) return false;
    const unsigned long parsed = std::strtoul(text.c_str(), nullptr, 10);
    if (parsed > maximum) return false;
    value = static_cast<unsigned>(parsed);
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

bool ParseLc1(const std::vector<std::string>& parts, ChainDevice& device, std::string& error) {
    bool scenarioGiven = false, multiplierGiven = false;
    for (std::size_t k = 1; k < parts.size(); ++k) {
        unsigned multiplier = 0;
        if (parts[k] == "broken" && !device.broken) {
            device.broken = true;
        } else if (!multiplierGiven && ParseNumber(parts[k], 255, multiplier)) {
            device.scenario.multiplier = multiplier;
            multiplierGiven = true;
        } else if (const auto kind = ScenarioByName(parts[k]); kind && !scenarioGiven) {
            device.scenario.kind = *kind;
            scenarioGiven = true;
        } else {
            error =
                "'" + parts[k] + "' in an lc1 of --chain is neither a scenario, a multiplier from 0 to 255 nor broken";
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseChain(const std::string& text, const ScenarioSettings& lc1Defaults, std::vector<ChainDevice>& chain,
                std::string& error) {
    std::vector<ChainDevice> devices;
    unsigned words = 0;
    for (const std::string& name : Split(text, ',')) {
        const std::vector<std::string> parts = Split(name, ':');
        ChainDevice device;
        device.scenario = lc1Defaults;
        if (!parts.empty() && parts[0] == "lc1") {
            if (!ParseLc1(parts, device, error)) return false;
            words += 2;
        } else if (!parts.empty() && parts[0] == "aux" && parts.size() <= 2) {
            device.auxiliary = true;
            if (parts.size() == 2 && !ParseNumber(parts[1], 8191, device.auxValue)) {
                error = "'" + name + "' in --chain: an auxiliary value goes from 0 to 8191";
                return false;
            }
            words += 1;
        } else {
            error = "'" + name + "' in --chain is neither lc1 nor aux";
            return false;
        }
        devices.push_back(device);
    }
    if (devices.empty()) {
        error = "--chain wants devices, such as aux,lc1,lc1";
        return false;
    }
    if (words > kMaxPacketWords) {
        error = "--chain makes packets of " + std::to_string(words) + " words; a packet carries at most " +
                std::to_string(kMaxPacketWords);
        return false;
    }
    chain = std::move(devices);
    return true;
}

std::vector<ChainEntry> ChainEntries(const std::vector<ChainDevice>& chain, std::uint64_t index) {
    std::vector<ChainEntry> entries;
    entries.reserve(chain.size());
    for (const ChainDevice& device : chain) {
        ChainEntry entry;
        entry.auxiliary = device.auxiliary;
        if (device.auxiliary) {
            entry.auxValue = device.auxValue;
        } else {
            entry.reading = ScenarioReading(device.scenario, index);
            entry.reading.broken = device.broken && entry.reading.hasGroup;
        }
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace lc1sim
