# Translates the effect programs for the Plasma wallpaper plugin: Qt 5's ShaderEffect takes
# a fragment program of GLSL 1.10 (or GLSL ES 1.00 where Qt draws with OpenGL ES) with
# plain uniforms that it fills from the item's properties of the same names. Each file is
# the prelude's helpers, the effect's fragment part and an entry point that builds the
# prelude's Uniforms and VSOut from those uniforms and Qt's texture coordinate, exactly as
# the GLSL 330 entry point does from the uniform block and the vertex stage.
#
# Plasma 6 (Qt 6) takes programs compiled ahead with qsb instead: that translation would
# go beside this one, writing GLSL 440 (one uniform block starting with qt_Matrix and
# qt_Opacity, `layout(location = 0) in vec2 qt_TexCoord0`) and running
# `qsb --glsl "100es,120,150" -o NAME.frag.qsb` on it, into a package of its own.
#
# Inputs: PRELUDE (prelude.glsl), PROGRAMS (effect .glsl paths separated by "|"), OUTDIR
# (the programs' folder), INDEX (a JavaScript file listing the effect ids, for the plugin
# to tell an id it has no program for).

# Fails the build where the prelude no longer has the shape this translation expects, so
# that a change there is carried over here instead of producing a wrong program.
function(replace_once pattern replacement)
  # Matches may hold semicolons, which a CMake list would split: count a marker instead.
  string(REGEX REPLACE "${pattern}" "@TAVEL_MATCH@" marked "${text}")
  string(REGEX MATCHALL "@TAVEL_MATCH@" found "${marked}")
  list(LENGTH found count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "plasma_programs.cmake: the prelude should hold \"${pattern}\" once "
                        "(found ${count}); update the translation")
  endif()
  string(REPLACE "@TAVEL_MATCH@" "${replacement}" marked "${marked}")
  set(text "${marked}" PARENT_SCOPE)
endfunction()

file(READ "${PRELUDE}" text)
replace_once("^#version 330 core\n" "")
# The block's members become uniforms that the plugin's ShaderEffect sets by name.
replace_once("(//[^\n]*\n)*layout\\(std140\\) uniform TavelUniforms {[^}]*};\n"
             "uniform float tavelTime;\nuniform float tavelZoom;\nuniform float tavelIntensity;\n\
uniform float tavelHue;\nuniform vec2 tavelResolution;\nuniform vec4 tavelBgColor;\n\
uniform vec4 tavelAccentColor;\n")
replace_once("(//[^\n]*\n)*in vec2 tavelUV;\n" "")
replace_once("(//[^\n]*\n)*uniform float tavelTopRowFirst;\n" "")
# Everything from the output variable on is the 330 entry point.
replace_once("out vec4 tavelFragColor;.*$" "")
set(helpers "${text}")

set(header "// Generated at build time from src/effects/programs/prelude.glsl and @NAME@.glsl
// for Qt 5's ShaderEffect. Do not edit.
#ifdef GL_ES
#extension GL_OES_standard_derivatives : enable
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
#endif
")

set(entry "
// Qt's default vertex stage hands over the item's texture coordinate, 0..1 from its
// top-left corner: the uv grows upwards, and the pixel position is the coordinate times
// the target's size (at the pixel's centre, as gl_FragCoord would be in a target of its
// own).
varying vec2 qt_TexCoord0;
uniform float qt_Opacity;

void main() {
    Uniforms u = Uniforms(tavelTime, tavelZoom, tavelIntensity, tavelHue, tavelResolution,
                          vec2(0.0), tavelBgColor, tavelAccentColor);
    VSOut v;
    v.position = vec4(qt_TexCoord0 * tavelResolution, gl_FragCoord.zw);
    v.uv = vec2(qt_TexCoord0.x, 1.0 - qt_TexCoord0.y);
    gl_FragColor = fragmentMain(v, u) * qt_Opacity;
}
")

string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")
file(MAKE_DIRECTORY "${OUTDIR}")
set(ids "")
foreach(path IN LISTS PROGRAMS)
  get_filename_component(name "${path}" NAME_WE)
  string(APPEND ids "    \"${name}\",\n")
  file(READ "${path}" effect)
  string(REPLACE "@NAME@" "${name}" body "${header}")
  string(APPEND body "${helpers}\n${effect}${entry}")
  file(WRITE "${OUTDIR}/${name}.frag.tmp" "${body}")
  file(COPY_FILE "${OUTDIR}/${name}.frag.tmp" "${OUTDIR}/${name}.frag" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTDIR}/${name}.frag.tmp")
endforeach()
file(WRITE "${INDEX}.tmp" "// Generated at build time: the effects with a program in ../shaders. Do not edit.
.pragma library

var ids = [
${ids}];
")
file(COPY_FILE "${INDEX}.tmp" "${INDEX}" ONLY_IF_DIFFERENT)
file(REMOVE "${INDEX}.tmp")
