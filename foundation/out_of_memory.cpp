#include "out_of_memory.h"

#include <cstdio>
#include <cstdlib>

void out_of_memory() {
    std::fputs("Memory error occurred\n", stderr);
    std::abort();
}
