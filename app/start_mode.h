#pragma once

#include <span>
#include <string_view>

// How the program starts, decided before anything of the window is loaded.

// True when the arguments ask for the window: there are none, or the first is not one of the
// command line's keywords ("-command", "-clear", "-check", "--help", "-h", "--version", any
// letter case).
[[nodiscard]] bool startsGui(std::span<const std::string_view> arguments);
// True when a window can be shown: a Qt platform is named, or an X11 or Wayland display is set.
[[nodiscard]] bool hasDisplay();
