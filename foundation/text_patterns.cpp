#include "text_patterns.h"

#include <locale.h>
#include <regex.h>

#include <cstring>
#include <string>

#include "paths.h"

namespace {

// The "C" locale for every library call, so that bytes >= 0x80 are plain single bytes and
// character ranges and case folding are ASCII, whatever locale the process runs in.
locale_t c_locale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

class c_locale_scope {
  public:
    c_locale_scope() : previous_(c_locale() ? uselocale(c_locale()) : locale_t(nullptr)) {}
    ~c_locale_scope() {
        if (previous_) uselocale(previous_);
    }
    c_locale_scope(const c_locale_scope&) = delete;
    c_locale_scope& operator=(const c_locale_scope&) = delete;

  private:
    locale_t previous_;
};

// The subject as a C string would see it: up to its first NUL.
std::string_view c_string_part(std::string_view subject) {
    if (subject.empty()) return {};
    const void* nul = std::memchr(subject.data(), 0, subject.size());
    if (nul)
        subject =
            subject.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - subject.data()));
    return subject;
}

// Runs a compiled pattern on a C string of known length (a NUL at bytes[length] and none
// before). `match` holds max(count, 1) elements. Must run under c_locale_scope.
int execute(const regex_t& regex, const char* bytes, size_t length, size_t count,
            regmatch_t* match) {
#ifdef REG_STARTEND
    // the bounds spare the library a strlen on every call of a replacement loop
    match[0].rm_so = 0;
    match[0].rm_eo = static_cast<regoff_t>(length);
    return regexec(&regex, bytes, count, match, REG_STARTEND);
#else
    (void)length;
    return regexec(&regex, bytes, count, match, 0);
#endif
}

bool is_valid_match(const regmatch_t& match, size_t length) {
    const auto n = static_cast<regoff_t>(length);
    return match.rm_so >= 0 && match.rm_eo >= 1 && match.rm_so < n && match.rm_eo <= n &&
           match.rm_so < match.rm_eo;
}

// A pattern compiled once for the life of the process. The library locks a compiled pattern
// while executing it, so threads may share one.
class fixed_pattern {
  public:
    // `flags` are regcomp's, REG_EXTENDED always added.
    fixed_pattern(const char* pattern, int flags) {
        c_locale_scope scope;
        status_ = regcomp(&regex_, pattern, flags | REG_EXTENDED);
    }
    ~fixed_pattern() {
        if (status_ == 0) regfree(&regex_);
    }
    fixed_pattern(const fixed_pattern&) = delete;
    fixed_pattern& operator=(const fixed_pattern&) = delete;

    bool is_valid() const { return status_ == 0; }
    const regex_t& regex() const { return regex_; }

  private:
    regex_t regex_{};
    int status_ = -1;
};

const fixed_pattern& numeric_reference() {
    static const fixed_pattern pattern("&#x?[0-9a-fA-F]+;", 0);
    return pattern;
}

const fixed_pattern& named_reference() {
    static const fixed_pattern pattern("&[a-zA-Z_:][a-zA-Z_:0-9\\.\\-]*;", 0);
    return pattern;
}

bool is_blank(char byte) {
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

// Where "toc" ends in the first "<!--", blanks, "toc" (ASCII case ignored) found from `from`
// on; npos when there is none.
size_t after_placeholder_start(std::string_view text, size_t from) {
    for (size_t at = text.find("<!--", from); at != std::string_view::npos;
         at = text.find("<!--", at + 1)) {
        size_t i = at + 4;
        while (i < text.size() && is_blank(text[i]))
            ++i;
        if (text.size() - i >= 3 && (text[i] | 0x20) == 't' && (text[i + 1] | 0x20) == 'o' &&
            (text[i + 2] | 0x20) == 'c') {
            return i + 3;
        }
    }
    return std::string_view::npos;
}

// Replaces every match of the pattern, left to right, by what `replace(match, out)` appends.
// The value is touched only when something matched.
template <typename Replace>
void replace_matches(template_value& value, const fixed_pattern& pattern, Replace replace) {
    std::string_view text = value.view();
    // every reference starts with '&': a text without one can't match
    if (!pattern.is_valid() || text.find('&') == std::string_view::npos) return;
    // the same bytes with a NUL after them
    text = std::string_view(value.text(), text.size());
    // the search ends at the first NUL, as it would in a C string; the bytes after it are kept
    const std::string_view searched = c_string_part(text);
    byte_string output;
    bool replaced = false;
    size_t position = 0;
    {
        c_locale_scope scope;
        regmatch_t match[1];
        while (position < searched.size()) {
            const std::string_view rest = searched.substr(position);
            if (execute(pattern.regex(), rest.data(), rest.size(), 1, match) != 0) break;
            if (!is_valid_match(match[0], rest.size())) break;
            const auto start = static_cast<size_t>(match[0].rm_so);
            const auto end = static_cast<size_t>(match[0].rm_eo);
            if (!replaced) {
                output.reset(static_cast<int32_t>(text.size()) + 20);
                output.set_length(0);
                replaced = true;
            }
            output.append(rest.substr(0, start));
            replace(rest.substr(start, end - start), output);
            position += end;
        }
    }
    if (!replaced) return;
    output.append(text.substr(position));
    value.set_text(output.view());
}

}  // namespace

void decode_numeric_entities(template_value& value) {
    replace_matches(value, numeric_reference(), [](std::string_view match, byte_string& out) {
        if (match.size() >= 7) {
            out.push('!');
            return;
        }
        int32_t code = 0;
        if (match[2] == 'x') {
            const std::string_view digits = match.substr(3, match.size() - 4);
            code = byte_string(digits).hex_value();
        } else {
            code = text_to_integer(match.substr(2, match.size() - 3));
        }
        out.push(code >= 0 && code <= 255 ? static_cast<char>(code) : '!');
    });
}

void decode_named_entities(template_value& value, bool lower_case, const sorted_map& table) {
    byte_string name;
    replace_matches(value, named_reference(), [&](std::string_view match, byte_string& out) {
        name.assign(match.data() + 1, static_cast<int32_t>(match.size()) - 2);
        if (lower_case) to_lower(name);
        const template_value* replacement = table.find_ref(name.view());
        if (replacement) {
            out.append(replacement->view());
        } else {
            out.push('!');
        }
    });
}

bool is_toc_placeholder(std::string_view comment_raw) {
    // "<!--", blanks, "toc", blanks, "-->" anywhere in the text up to its first NUL
    const std::string_view text = c_string_part(comment_raw);
    for (size_t i = after_placeholder_start(text, 0); i != std::string_view::npos;
         i = after_placeholder_start(text, i)) {
        while (i < text.size() && is_blank(text[i]))
            ++i;
        if (text.substr(i).starts_with("-->")) return true;
    }
    return false;
}
