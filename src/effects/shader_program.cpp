#include <epoxy/gl.h>

#include "effects/shader_program.h"

#include "effects/embedded_programs.h"

namespace tavel {

namespace {

std::string infoLog(GLuint object, bool isProgram) {
    GLint length = 0;
    if (isProgram)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    std::string log(length > 0 ? length : 0, '\0');
    if (length > 0) {
        if (isProgram)
            glGetProgramInfoLog(object, length, nullptr, log.data());
        else
            glGetShaderInfoLog(object, length, nullptr, log.data());
    }
    while (!log.empty() && (log.back() == '\0' || log.back() == '\n')) log.pop_back();
    return log.empty() ? "unknown error" : log;
}

std::variant<GLuint, std::string> compileStage(GLenum stage, const std::string& text) {
    GLuint shader = glCreateShader(stage);
    const char* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        std::string log = infoLog(shader, false);
        glDeleteShader(shader);
        return log;
    }
    return shader;
}

}  // namespace

std::string_view shaderPrelude() {
    return embeddedProgram("prelude");
}

std::string_view vertexStageSource() {
    return embeddedProgram("vertex");
}

std::string assembleProgram(const ShaderEffect& effect) {
    std::string text(shaderPrelude());
    text += '\n';
    text += effect.fragmentSource;
    return text;
}

std::variant<unsigned, std::string> linkProgram(const std::string& vertexText,
                                                const std::string& fragmentText) {
    auto vertex = compileStage(GL_VERTEX_SHADER, vertexText);
    if (auto* error = std::get_if<std::string>(&vertex)) return *error;
    auto fragment = compileStage(GL_FRAGMENT_SHADER, fragmentText);
    if (auto* error = std::get_if<std::string>(&fragment)) {
        glDeleteShader(std::get<GLuint>(vertex));
        return *error;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, std::get<GLuint>(vertex));
    glAttachShader(program, std::get<GLuint>(fragment));
    glLinkProgram(program);
    glDeleteShader(std::get<GLuint>(vertex));
    glDeleteShader(std::get<GLuint>(fragment));
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        std::string log = infoLog(program, true);
        glDeleteProgram(program);
        return log;
    }
    return program;
}

std::variant<CompiledProgram, std::string> compileProgram(const ShaderEffect& effect) {
    auto linked = linkProgram(std::string(vertexStageSource()), assembleProgram(effect));
    if (auto* error = std::get_if<std::string>(&linked)) return *error;
    const GLuint program = std::get<unsigned>(linked);
    GLuint block = glGetUniformBlockIndex(program, "TavelUniforms");
    if (block != GL_INVALID_INDEX) glUniformBlockBinding(program, block, kUniformsBinding);
    return CompiledProgram{program, glGetUniformLocation(program, "tavelTopRowFirst")};
}

void drawProgram(const CompiledProgram& program, unsigned vertexArray, unsigned uniformBuffer,
                 bool topRowFirst) {
    glUseProgram(program.program);
    if (program.topRowFirstLocation >= 0)
        glUniform1f(program.topRowFirstLocation, topRowFirst ? 1.0f : 0.0f);
    glBindBufferBase(GL_UNIFORM_BUFFER, kUniformsBinding, uniformBuffer);
    glBindVertexArray(vertexArray);
    glDrawArrays(GL_TRIANGLES, 0, 3);
}

}  // namespace tavel
