#include "tools/CommandArguments.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace kelvora {

CommandArguments::CommandArguments(int argc, char** argv, const std::set<std::string>& valued) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.rfind("--", 0) != 0) {
            throw std::invalid_argument("unexpected argument '" + argument + "'");
        }
        std::string name = argument.substr(2);
        std::string value;
        const auto equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (valued.count(name) != 0) {
            if (i + 1 >= argc) {
                throw std::invalid_argument("--" + name + " needs a value");
            }
            value = argv[++i];
        }
        if (valued.count(name) == 0) {
            throw std::invalid_argument("unknown option --" + name);
        }
        m_values[name] = value;
    }
}

std::string CommandArguments::text(const std::string& name, const std::string& fallback) const {
    const auto found = m_values.find(name);
    return found == m_values.end() ? fallback : found->second;
}

double CommandArguments::number(const std::string& name, double fallback) const {
    const auto found = m_values.find(name);
    if (found == m_values.end()) {
        return fallback;
    }
    const std::string& value = found->second;
    double result = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(result)) {
        throw std::invalid_argument("--" + name + " needs a number, not '" + value + "'");
    }
    return result;
}

long long CommandArguments::whole(const std::string& name, long long fallback) const {
    const auto found = m_values.find(name);
    if (found == m_values.end()) {
        return fallback;
    }
    const std::string& value = found->second;
    long long result = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
    if (error != std::errc() || end != value.data() + value.size()) {
        throw std::invalid_argument("--" + name + " needs a whole number, not '" + value + "'");
    }
    return result;
}

} // namespace kelvora
