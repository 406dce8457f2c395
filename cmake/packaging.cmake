# The Debian package: `cpack -G DEB` in the build folder. Library dependencies come from
# dpkg-shlibdeps; the packages added here are what the programs load without linking them.
set(CPACK_PACKAGE_NAME tavel)
set(CPACK_PACKAGE_VENDOR "Tavel developers")
set(CPACK_PACKAGE_CONTACT "Tavel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live, procedurally generated GPU wallpapers")
set(CPACK_PACKAGE_DESCRIPTION
    "Slow, procedurally generated backdrops behind the desktop of every monitor: sixteen
effects, each tunable, rendered with OpenGL 3.3 on the GPU or on Mesa's llvmpipe. A
gallery window, a tray menu, an idle saver, a lock-screen still and video, and the
halvane screen saver. Runs on X11 sessions and on Wayland compositors with a desktop
layer.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libepoxy opens libEGL and libGL at run time, and those load Mesa's drivers (llvmpipe
# when there is no GPU): none of them is linked, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libegl1, libgl1, libegl-mesa0, libglx-mesa0, libgl1-mesa-dri")
# The gallery window asks fontconfig for sans-serif and monospace faces; DejaVu gives a
# fresh system both.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | xsecurelock")
include(CPack)
