#pragma once

// Realistic HTML for the benchmarks: nested sections and divs, paragraphs with inline tags and
// entities, tables and lists with and without end tags, scripts, comments, and a heading every
// 2 KiB or so, h1 to h4 mixed, some already numbered. The same seed gives the same bytes on
// every machine.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corpus {

// splitmix64: the same sequence everywhere, unlike the standard distributions.
class random_source {
  public:
    explicit random_source(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 to n-1.
    size_t below(size_t n) { return static_cast<size_t>(next() % n); }
    // True with a chance of percent in 100.
    bool chance(unsigned percent) { return below(100) < percent; }
    template <typename T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }

  private:
    uint64_t state_;
};

constexpr std::string_view words[] = {
    "harbour", "light",   "keeper",   "signal", "tower",   "lamp",    "lens",     "watch",
    "night",   "storm",   "coast",    "ship",   "rock",    "beacon",  "fog",      "horn",
    "tide",    "chart",   "log",      "book",   "oil",     "wick",    "glass",    "mirror",
    "stair",   "gallery", "keeper",   "relief", "supply",  "boat",    "pier",     "rope",
    "bell",    "clock",   "weight",   "shift",  "report",  "weather", "wind",     "wave",
    "the",     "a",       "of",       "and",    "to",      "in",      "is",       "for",
    "on",      "with",    "as",       "at",     "by",      "from",    "every",    "each",
    "before",  "after",   "until",    "while",  "during",  "between", "station",  "island",
    "north",   "south",   "east",     "west",   "bright",  "dark",    "steady",   "flashing",
    "white",   "red",     "green",    "range",  "sector",  "bearing", "distance", "mile",
    "cable",   "fathom",  "sounding", "depth",  "channel", "buoy",    "mark",     "cape",
    "point",   "head",    "bay",      "sound",  "strait",  "reef",    "shoal",    "sand",
};

constexpr std::string_view entities[] = {"&amp;",    "&lt;",   "&gt;",     "&quot;",   "&nbsp;",
                                         "&eacute;", "&#169;", "&#x2014;", "&hellip;", "&copy;"};

class document_writer {
  public:
    explicit document_writer(random_source& random) : random_(random) {}

    std::string& out() { return out_; }

    void word() { out_ += random_.pick(words); }

    void sentence(size_t min_words, size_t max_words) {
        const size_t n = min_words + random_.below(max_words - min_words + 1);
        for (size_t i = 0; i < n; ++i) {
            if (i > 0) out_ += ' ';
            const size_t choice = random_.below(150);
            if (choice == 0) {
                out_ += "<a href=\"#";
                word();
                out_ += "\">";
                word();
                out_ += "</a>";
            } else if (choice == 1) {
                out_ += "<em>";
                word();
                out_ += "</em>";
            } else if (choice == 2) {
                out_ += "<strong>";
                word();
                out_ += ' ';
                word();
                out_ += "</strong>";
            } else if (choice == 3) {
                out_ += "<code>";
                word();
                out_ += "()</code>";
            } else if (choice == 4) {
                out_ += random_.pick(entities);
            } else if (choice == 5) {
                out_ += "<span class=\"note\" title=\"";
                word();
                out_ += "\">";
                word();
                out_ += "</span>";
            } else {
                word();
            }
        }
        out_ += random_.chance(80) ? ". " : ", ";
    }

    void paragraph() {
        // some paragraphs are left open, as hand-written pages do
        const bool closed = random_.chance(85);
        out_ += random_.chance(20) ? "<p class=\"lead\">" : "<p>";
        const size_t sentences = 3 + random_.below(4);
        for (size_t i = 0; i < sentences; ++i)
            sentence(8, 18);
        if (random_.chance(10)) out_ += "<br>";
        out_ += closed ? "</p>\n" : "\n";
    }

    void table() {
        const size_t columns = 3 + random_.below(3);
        const size_t rows = 2 + random_.below(6);
        out_ += "<table class=\"data\" border=\"1\" cellpadding=2>\n<tr>";
        for (size_t c = 0; c < columns; ++c) {
            out_ += "<th>";
            word();
            out_ += "</th>";
        }
        out_ += "</tr>\n";
        for (size_t r = 0; r < rows; ++r) {
            out_ += "<tr>";
            for (size_t c = 0; c < columns; ++c) {
                // cells without end tags are common in older pages
                out_ += random_.chance(30) ? "<td align=right>" : "<td>";
                out_ += std::to_string(random_.below(10000));
                if (random_.chance(80)) out_ += "</td>";
            }
            out_ += "</tr>\n";
        }
        out_ += "</table>\n";
    }

    void list() {
        const bool ordered = random_.chance(30);
        out_ += ordered ? "<ol>\n" : "<ul>\n";
        const size_t items = 2 + random_.below(6);
        for (size_t i = 0; i < items; ++i) {
            out_ += "<li>";
            sentence(5, 12);
            out_ += random_.chance(60) ? "</li>\n" : "\n";
        }
        out_ += ordered ? "</ol>\n" : "</ul>\n";
    }

    void script() {
        out_ += "<script type=\"text/javascript\">\n";
        out_ += "  var limit = " + std::to_string(random_.below(100)) + ";\n";
        out_ += "  if (limit < 10 && limit > 2) { document.write(\"<b>low</b>\"); }\n";
        out_ += "</script>\n";
    }

    void comment() {
        out_ += "<!-- ";
        sentence(3, 8);
        out_ += "-->\n";
    }

    void figure() {
        out_ += "<div class=\"figure\"><img src=\"images/";
        word();
        out_ += ".png\" alt=\"";
        word();
        out_ += "\" width=\"" + std::to_string(100 + random_.below(500)) + "\"><br>\n<i>";
        sentence(3, 7);
        out_ += "</i></div>\n";
    }

    void preformatted() {
        out_ += "<pre>\n";
        for (size_t i = 0; i < 3 + random_.below(4); ++i) {
            out_ += "  ";
            word();
            out_ += " = ";
            out_ += std::to_string(random_.below(1000));
            out_ += "; &lt;-- ";
            word();
            out_ += '\n';
        }
        out_ += "</pre>\n";
    }

    void block() {
        const size_t choice = random_.below(20);
        if (choice < 12)
            paragraph();
        else if (choice < 12)
            table();
        else if (choice < 14)
            list();
        else if (choice < 15)
            script();
        else if (choice < 16)
            comment();
        else if (choice < 17)
            figure();
        else
            preformatted();
    }

    // A heading one level below, at or above the last one; some carry old numbers, an id, an
    // anchor of their own or inline markup.
    void heading() {
        if (level_ == 0) {
            level_ = 1;
        } else {
            const size_t step = random_.below(10);
            if (step < 4 && level_ < 4)
                ++level_;
            else if (step < 7 && level_ > 1)
                --level_;
            else if (step == 7)
                level_ = 1 + random_.below(4);
        }
        ++counts_[level_ - 1];
        for (size_t i = level_; i < 4; ++i)
            counts_[i] = 0;

        std::string tag = "h";
        tag += std::to_string(level_);
        out_ += '<' + tag;
        if (random_.chance(20)) out_ += " id=\"sec" + std::to_string(++headings_) + '"';
        if (random_.chance(10)) out_ += " class=\"title\"";
        out_ += '>';
        if (random_.chance(10)) out_ += "<a name=\"h" + std::to_string(++anchors_) + "\"></a>";
        if (random_.chance(20)) {
            for (size_t i = 0; i < level_; ++i)
                out_ += std::to_string(counts_[i] == 0 ? 1 : counts_[i]) + '.';
            out_ += ' ';
        }
        word();
        out_ += ' ';
        if (random_.chance(15)) {
            out_ += "<em>";
            word();
            out_ += "</em>";
        } else {
            word();
        }
        if (random_.chance(10)) out_ += " &amp; more";
        out_ += "</" + tag + ">\n";
    }

    // Body content up to about `size` bytes, a heading every 2 KiB or so, inside nested
    // sections and divs.
    void body(size_t size) {
        const size_t start = out_.size();
        size_t next_heading = start;
        int open_sections = 0;
        while (out_.size() - start < size) {
            if (out_.size() >= next_heading) {
                if (open_sections > 0 && random_.chance(50)) {
                    out_ += "</div></section>\n";
                    --open_sections;
                }
                if (random_.chance(50) && open_sections < 6) {
                    out_ += "<section class=\"part\"><div class=\"inner\">\n";
                    ++open_sections;
                }
                heading();
                next_heading = out_.size() + 1200 + random_.below(1600);
            }
            block();
        }
        while (open_sections-- > 0)
            out_ += "</div></section>\n";
    }

    void document(std::string_view title, size_t size) {
        out_ +=
            "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html>\n<head>\n";
        out_ += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n";
        out_ += "<title>";
        out_ += title;
        out_ +=
            "</title>\n<style type=\"text/css\">\n  body { margin: 1em; }\n  .note > b { "
            "color: #333; }\n</style>\n";
        script();
        out_ += "</head>\n<body bgcolor=\"#ffffff\">\n<div id=\"page\">\n";
        body(size);
        out_ += "</div>\n</body>\n</html>\n";
    }

  private:
    random_source& random_;
    std::string out_;
    size_t level_ = 0;
    size_t counts_[4] = {};
    size_t headings_ = 0;
    size_t anchors_ = 0;
};

}  // namespace corpus
