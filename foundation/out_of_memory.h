#pragma once

// The core's one answer to a failed allocation: it has no way to carry on, so it prints
// "Memory error occurred" to standard error and aborts. Allocations call it instead of
// returning a failure that no caller could act on.
[[noreturn]] void out_of_memory();
