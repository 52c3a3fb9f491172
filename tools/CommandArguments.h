#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kelvora {

/// The options of one subcommand: "--name value" pairs (also "--name=value"). Unknown options, a
/// missing value and values that are not numbers throw std::invalid_argument with a message naming the
/// option.
class CommandArguments {
public:
    /// argv[0] is the subcommand; valued are the option names (without "--") that take a value.
    CommandArguments(int argc, char** argv, const std::set<std::string>& valued);

    bool has(const std::string& name) const { return m_values.count(name) != 0; }
    std::string text(const std::string& name, const std::string& fallback) const;
    double number(const std::string& name, double fallback) const;
    long long whole(const std::string& name, long long fallback) const;

private:
    std::map<std::string, std::string> m_values;
};

} // namespace kelvora
