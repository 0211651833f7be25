// Throughput of the scanner and the HTML reader on generated pages.

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "corpus_writer.h"
#include "html_reader.h"
#include "markup_scanner.h"
#include "node_tree.h"

namespace {

// One document of about `size` bytes, the same for every run.
const std::string& page(size_t size) {
    static std::string text;
    if (text.size() < size) {
        corpus::random_source random(7);
        corpus::document_writer writer(random);
        writer.document("Benchmark", size);
        text = std::move(writer.out());
    }
    return text;
}

// A scanner in the HTML setup whose hooks only count.
class counting_scanner : public markup_scanner {
  public:
    counting_scanner() { configure_for_html(*this); }
    int64_t constructs = 0;

  protected:
    bool on_construct() override {
        ++constructs;
        return true;
    }
};

void bm_scanner(benchmark::State& state) {
    const std::string& text = page(4u << 20);
    for (auto _ : state) {
        counting_scanner scanner;
        if (scanner.feed_all(text, html_chunk_size) != scan_status::finished)
            state.SkipWithError("scan failed");
        benchmark::DoNotOptimize(scanner.constructs);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(bm_scanner)->Unit(benchmark::kMillisecond);

// Reads the text into a fresh tree per iteration.
void read_html(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        node_tree tree;
        if (!parse_html_text(text, tree).is_ok()) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(tree.first());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void bm_html_reader(benchmark::State& state) {
    read_html(state, page(4u << 20));
}
BENCHMARK(bm_html_reader)->Unit(benchmark::kMillisecond);

// Tags and nothing else: the cost per node.
void bm_html_reader_tags(benchmark::State& state) {
    std::string text;
    while (text.size() < (4u << 20))
        text += "<b><i></i></b><br>";
    read_html(state, text);
}
BENCHMARK(bm_html_reader_tags)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
