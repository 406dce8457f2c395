#pragma once
// Program texts embedded into the binary at build time.

#include <string_view>

namespace tavel {

// The text of src/effects/programs/<name>.glsl ("prelude", "vertex" or an effect id);
// empty when there is no such file.
std::string_view embeddedProgram(std::string_view name);

}  // namespace tavel
