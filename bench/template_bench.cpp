// The template interpreter on a loop over many rows, as a TOC of a large site renders, and a
// whole TOC rendering of a large page through the nested-list template.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "render_template.h"
#include "sorted_map.h"
#include "toc_build.h"

namespace {

constexpr std::string_view loop_template =
    "<ul>\n<!--#for var=\"text\"--><li><a href=\"<!--#echo var=\"link\"-->\">"
    "<!--#echo var=\"text\"--></a><!--#if var=\"open\"-->+<!--#else-->-<!--#endif--></li>\n"
    "<!--#endfor--></ul>\n";

void bm_template_loop(benchmark::State& state) {
    const auto rows = static_cast<int32_t>(state.range(0));
    named_lists data;
    for (int32_t i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        data.add_value("text", template_value("Heading " + n));
        data.add_value("link", template_value("#toc" + n));
        data.add_value("open", template_value(i % 2));
    }
    for (auto _ : state) {
        std::vector<byte_string> out;
        if (render_template_text(loop_template, data, out) != template_end::blocks_closed)
            state.SkipWithError("render failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(bm_template_loop)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The loop of the interpreter's long-loop test: integer and boolean values, whose text form is
// made when they are first written.
void bm_template_number_loop(benchmark::State& state) {
    const auto rows = static_cast<int32_t>(state.range(0));
    named_lists data;
    for (int32_t i = 0; i < rows; ++i) {
        data.add_value("item", template_value(i));
        data.add_value("open", template_value(i % 2 == 0));
    }
    for (auto _ : state) {
        std::vector<byte_string> out;
        if (render_template_text("<ul>\n<!--#for var=\"item\"--><li><!--#echo var=\"item\"-->"
                                 "<!--#if var=\"open\"-->+<!--#else-->-<!--#endif--></li>\n"
                                 "<!--#endfor--></ul>",
                                 data, out) != template_end::blocks_closed)
            state.SkipWithError("render failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(bm_template_number_loop)->Arg(200000)->Unit(benchmark::kMillisecond);

// Headings h1 to h4 in a random walk of levels, numbered and indented as a build makes them.
void fill_tree(toc_tree& tree, int32_t items) {
    tree.indent.assign("  ");
    uint32_t seed = 12345;
    const auto below = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    int32_t level = 1;
    toc_node* current = nullptr;
    for (int32_t i = 0; i < items; ++i) {
        const uint32_t step = below(10);
        if (step < 4 && level < 4)
            ++level;
        else if (step < 7 && level > 1)
            --level;
        auto item = std::make_unique<toc_node>();
        item->level = level;
        const std::string n = std::to_string(i);
        item->text.append("Heading text number " + n);
        item->link.append("#toc" + n);
        current = tree.append(std::move(item), current);
        tree.set_numbering(*current);
    }
}

void bm_toc_data(benchmark::State& state) {
    toc_tree tree;
    fill_tree(tree, static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        named_lists data;
        fill_toc_data(tree, tree.first(), data);
        benchmark::DoNotOptimize(data.count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(bm_toc_data)->Arg(27000)->Unit(benchmark::kMillisecond);

void bm_toc_render(benchmark::State& state) {
    toc_tree tree;
    fill_tree(tree, static_cast<int32_t>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        loaded_template layout;
        load_template(TOCVANE_TOC_TEMPLATE, layout);
        if (!renders_toc(layout, tree.first())) state.SkipWithError("render failed");
        bytes = 0;
        render_toc(tree, tree.first(), layout, [&bytes](std::string_view piece) {
            bytes += piece.size();
            benchmark::DoNotOptimize(piece.data());
        });
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["toc_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(bm_toc_render)->Arg(27000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
