#include "platform/dbus/action_arguments.h"

namespace tavel {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string parameterCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " parameter" : " parameters");
}

std::string describeRange(std::size_t min, std::size_t max) {
    if (max == 0) return "no parameters";
    if (min == max) return parameterCount(min);
    if (max == min + 1) return std::to_string(min) + " or " + parameterCount(max);
    return std::to_string(min) + " to " + parameterCount(max);
}

}  // namespace

Result<std::vector<std::string>> actionArguments(const std::string& name, std::size_t minArguments,
                                                 std::size_t maxArguments,
                                                 const std::vector<ActionParameter>& parameters) {
    std::vector<std::string> arguments;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (!parameters[i].isString)
            return Failure{"Parameter " + std::to_string(i + 1) + " of action " + quoted(name) +
                           " must be a string, not of type " + quoted(parameters[i].text)};
        arguments.push_back(parameters[i].text);
    }
    if (arguments.size() < minArguments || arguments.size() > maxArguments)
        return Failure{"Action " + quoted(name) + " takes " +
                       describeRange(minArguments, maxArguments) + ", not " +
                       std::to_string(arguments.size())};
    return arguments;
}

}  // namespace tavel
