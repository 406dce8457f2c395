#!/usr/bin/env bash
# The application core stays free of window-system, GL, D-Bus, FFmpeg and event-loop headers:
# it reaches all of them through the interfaces in src/platform/. This keeps it testable
# with fakes and a manual clock.
set -euo pipefail
cd "$(dirname "$0")/.."
forbidden='#[[:space:]]*include[[:space:]]*[<"](X11/|GL/|EGL/|epoxy/|sdbus-c\+\+/|asio|platform/x11/|platform/asio/|platform/wayland/|platform/dbus/|wayland-|GLFW/|libav[a-z]*/|libsw[a-z]*/)'
if grep -rnE "$forbidden" src/app/core; then
  echo "src/app/core must not include these headers (use the interfaces in src/platform/)" >&2
  exit 1
fi
# The gallery's interface draws through ImGui alone: its host owns GL and the window, so
# the interface runs headless in tests.
if grep -rnE "$forbidden|#[[:space:]]*include[[:space:]]*[<\"](backends/|app/ui/host/)" src/app/ui/gallery; then
  echo "src/app/ui/gallery must not include window-system, GL or host headers" >&2
  exit 1
fi
# The effects are a library of their own: the application and its platform build on it.
if grep -rnE '#[[:space:]]*include[[:space:]]*"(platform|app)/' src/effects; then
  echo "src/effects must not include platform or application headers" >&2
  exit 1
fi
# halvane carries the effects and platform code, nothing of the application.
if grep -rnE '#[[:space:]]*include[[:space:]]*"(app|cli)/' src/saver; then
  echo "src/saver must not include the application's headers" >&2
  exit 1
fi
echo "layering ok"
