#include "start_mode.h"

#include <cstdlib>

#include "byte_string.h"
#include "paths.h"

namespace {

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

}  // namespace

bool startsGui(std::span<const std::string_view> arguments) {
    if (arguments.empty()) return true;
    byte_string keyword(arguments[0]);
    to_lower(keyword);
    for (std::string_view option : {"-command", "-clear", "-check", "--help", "-h", "--version"}) {
        if (keyword == option) return false;
    }
    return true;
}

bool hasDisplay() {
    return isSet("QT_QPA_PLATFORM") || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}
