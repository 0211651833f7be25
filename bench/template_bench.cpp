// The template interpreter on a loop over many rows, as a TOC of a large site renders.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "foundation/qvhash.h"
#include "template/render_template.h"

namespace {

constexpr std::string_view loop_template =
    "<ul>\n<!--#for var=\"text\"--><li><a href=\"<!--#echo var=\"link\"-->\">"
    "<!--#echo var=\"text\"--></a><!--#if var=\"open\"-->+<!--#else-->-<!--#endif--></li>\n"
    "<!--#endfor--></ul>\n";

void bm_template_loop(benchmark::State& state) {
    const auto rows = static_cast<int32_t>(state.range(0));
    qvhash_array data;
    for (int32_t i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        data.add_value("text", qvval("Heading " + n));
        data.add_value("link", qvval("#toc" + n));
        data.add_value("open", qvval(i % 2));
    }
    for (auto _ : state) {
        std::vector<qvchar> out;
        if (render_template_text(loop_template, data, out) != render_finished)
            state.SkipWithError("render failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(bm_template_loop)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
