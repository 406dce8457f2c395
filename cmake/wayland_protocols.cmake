# Client code for Wayland protocols, generated at build time with wayland-scanner:
# tavel_wayland_protocol(SOURCES_VAR XML) adds the generated C file to SOURCES_VAR and
# puts its header "<name>-client-protocol.h" in ${CMAKE_CURRENT_BINARY_DIR}/protocols.
pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
if(NOT WAYLAND_SCANNER)
  message(FATAL_ERROR "wayland-scanner not found (install libwayland-dev)")
endif()
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
if(NOT WAYLAND_PROTOCOLS_DIR)
  message(FATAL_ERROR "wayland-protocols not found (install wayland-protocols)")
endif()
find_package(PlasmaWaylandProtocols REQUIRED)

set(TAVEL_PROTOCOL_DIR ${CMAKE_CURRENT_BINARY_DIR}/protocols)
file(MAKE_DIRECTORY ${TAVEL_PROTOCOL_DIR})

function(tavel_wayland_protocol sources xml)
  get_filename_component(name ${xml} NAME_WE)
  set(header ${TAVEL_PROTOCOL_DIR}/${name}-client-protocol.h)
  set(code ${TAVEL_PROTOCOL_DIR}/${name}-protocol.c)
  add_custom_command(
    OUTPUT ${header}
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
    DEPENDS ${xml}
    VERBATIM)
  add_custom_command(
    OUTPUT ${code}
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
    DEPENDS ${xml} ${header}
    VERBATIM)
  set(${sources} ${${sources}} ${header} ${code} PARENT_SCOPE)
endfunction()
