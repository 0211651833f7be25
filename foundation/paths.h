#pragma once

#include <cstdint>
#include <string_view>

#include "byte_string.h"

// Text and path helpers shared by the command line, the project files and the TOC links.

// Lower-cases the ASCII letters A-Z over the whole length, NULs included; other bytes stay as
// they are whatever the process locale.
void to_lower(byte_string& text);

// The path of `to_file` as seen from the directory of `from_file`, for the href of a link:
// "../" per directory of `from_file` not shared, then the rest of `to_file`. Components compare
// byte-exactly, or ASCII-case-insensitively with `ignore_case`. Equal paths give the empty text
// (a link within the file); a `to_file` naming the directory of `from_file` gives ".". Both
// paths should be alike in form (see normalize_path): nothing here resolves '.' or '..'.
void relative_path(std::string_view from_file, std::string_view to_file, byte_string& out,
                   bool ignore_case);

// Makes `path` absolute against the current directory and folds it lexically: repeated '/'
// collapse, "." goes, ".." drops the component before it (never climbing above "/"), and no
// trailing '/' stays except for "/" itself. Symbolic links are not resolved. False, with `out`
// untouched, for an empty path, one holding a NUL, or an unknown current directory.
[[nodiscard]] bool normalize_path(std::string_view path, byte_string& out);
// normalize_path with a relative path taken against `directory`, an absolute path (the current
// directory read once for many paths); false for a relative path when `directory` is empty.
[[nodiscard]] bool normalize_path(std::string_view path, std::string_view directory,
                                  byte_string& out);
// The current directory, empty when unknown.
byte_string current_directory();
