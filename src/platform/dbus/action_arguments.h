#pragma once
// The check of an ActivateAction call's parameters, apart from the bus types so that it
// can run on any input (the fuzz target calls it directly).

#include "platform/result.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tavel {

// One parameter of a call as it arrived: its text when it holds a string, else the D-Bus
// signature of what it holds.
struct ActionParameter {
    bool isString = false;
    std::string text;
};

// The string arguments of a call of action `name`, which takes from `minArguments` to
// `maxArguments` string parameters, or why the call is refused (which the caller receives
// as org.freedesktop.DBus.Error.InvalidArgs). Any thread.
Result<std::vector<std::string>> actionArguments(const std::string& name, std::size_t minArguments,
                                                 std::size_t maxArguments,
                                                 const std::vector<ActionParameter>& parameters);

}  // namespace tavel
