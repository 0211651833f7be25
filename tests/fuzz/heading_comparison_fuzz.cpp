// libFuzzer target comparing the heading scan with an HTML5 parser: for any page the comparison
// does not skip, the scan lists the headings the parser sees, in order, with their levels and
// texts (see heading_comparison.h for what it compares and which differences it allows).
//
// Build with clang, with gumbo installed, and run for five minutes:
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DTOCVANE_FUZZ=ON \
//         -DTOCVANE_BUILD_TESTS=OFF
//   cmake --build build-fuzz --target heading_comparison_fuzz
//   mkdir -p build-fuzz/corpus
//   build-fuzz/bin/heading_comparison_fuzz build-fuzz/corpus tests/fuzz/seeds/heading_comparison \
//       -dict=tests/fuzz/heading_comparison.dict -max_total_time=300

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "heading_comparison.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const std::string differences = heading_differences(page);
    if (differences.empty() || differences.starts_with("skipped")) return 0;
    std::fprintf(stderr, "heading_comparison_fuzz: %s\n", differences.c_str());
    __builtin_trap();
}
