#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "byte_string.h"
#include "markup_scanner.h"
#include "sorted_map.h"
#include "value_list.h"

class template_block;

// What the interpreter does with the pieces it meets; the codes are those of the mode.
enum class interpreter_mode : int {
    skip = 0,      // the unchosen branch of a top-level if: pieces are dropped
    collect = 1,   // a top-level block is open: pieces go to its body
    emit = 2,      // pieces and executed directives go to the output
    verbatim = 3,  // a block nested too deep: its text goes to the output unevaluated
};

// Words of one directive "<!--# keyword attributes -->" read as a tag: the keyword and the
// attribute names lower-cased, names made of letters, digits, '_', ':', '-' and '.' (other
// bytes inside a name are dropped), values quoted with " or ' (a backslash makes the next
// byte literal) or unquoted up to white space. Only the attribute `var` is kept, the last one
// written winning. Returns whether `var` was written; `var` is left empty when it was not.
bool read_directive(std::string_view directive, byte_string& keyword, byte_string& var);

// Interpreter of the template directives echo, for/endfor and if/else/endif while the
// template streams through the scanner in its template setup. Text and directives it does not
// execute pass through by mode; the body of a top-level block is collected and, when the block
// closes, evaluated once per loop pass or once for the chosen branch: read by a child
// interpreter, or, for a loop, scanned once into its pieces and replayed on every pass with the
// same output. Errors are reported inline in the output, never through the result.
//
// Use: set_data, then feed every chunk and take every text from the front of output(); after
// the last chunk feed_end. A step gives needs_input for more input, size_exceeded when too much
// input is queued, finished when the input ended with every block closed and stopped when it ended
// inside a block (whose body is lost).
class template_interpreter : public markup_scanner {
  public:
    // Blocks nest at most this deep; each level holds one child interpreter on the stack
    // while its body is read, so the limit bounds the recursion far above any real template.
    // A block opened deeper is reported and written out unevaluated up to its closer.
    static constexpr int32_t max_nesting = 200;
    // Bytes that loop and branch bodies may read and write in one rendering, far above any
    // real TOC. Nested loops multiply their passes, so without it a template of a few hundred
    // bytes would run for ever. Past it the error report is written once and nothing more.
    static constexpr int64_t default_work_limit = int64_t{256} << 20;

    template_interpreter();
    ~template_interpreter() override;

    // The variables: name to list of values. Not owned; must outlive the interpreter, and its
    // lists must not change while it runs.
    void set_data(const named_lists& data) { data_ = &data; }
    // The index at which variables are read (the loop pass inside a for body).
    void set_index(int32_t index) { index_ = index; }
    // Replaces default_work_limit; set before the first chunk.
    void set_work_limit(int64_t limit) { own_work_left_ = limit; }
    // Whether the work limit was passed: the output then ends with its report.
    bool is_exhausted() const { return *work_left_ < 0; }
    int32_t index() const { return index_; }
    interpreter_mode mode() const { return mode_; }

    // Texts produced so far, in order; the caller takes them from the front.
    value_list& output() { return *output_; }

  protected:
    bool on_text() override;
    bool on_construct() override;
    scan_status on_end() override;

  private:
    friend void set_reread_bodies(template_interpreter& interpreter, bool on);

    // Line (from 1) and column in the body being read, as error reports show them.
    struct text_position {
        int64_t line;
        int64_t column;
    };

    void run_echo();
    void run_for();
    void run_endfor();
    void run_if();
    void run_else();
    void run_endif();

    void pass_through(std::string_view piece);
    void write(std::string_view text);
    // write for a body being replayed: always charged, reported at `at`.
    void write_at(std::string_view text, text_position at);
    void append_output(std::string_view text);
    // Takes n bytes of work from the rendering's budget, or reports it spent at `at` and
    // returns false.
    bool charge(int64_t n, text_position at);
    text_position position() const;
    void format_error(byte_string& report, text_position at) const;
    void report_error();
    void report_error_at(text_position at);
    // The value the variable named by var_ denotes at the current index, or null.
    const template_value* resolve() const;
    // Evaluates the collected body once at the given index.
    void evaluate_body(int32_t index);
    // Evaluates the collected body once per pass, at the indices 0 to passes - 1.
    void evaluate_loop(int32_t passes);
    // Reads a body through the child interpreter, which sits at `level`.
    void reread(std::string_view body, int32_t index, int32_t level);
    // Executes the pieces of a body as a child at `level` reading its text would.
    void replay(template_block& body, int32_t index, int32_t level);
    // Evaluates the body of a block closed in a replayed body, reading it on its first use from
    // the pieces collected for it.
    void evaluate_block(std::unique_ptr<template_block>& body, byte_string& collected,
                        int32_t index, text_position at, int32_t level);
    // Readies a child for reading a body from its start.
    void begin_pass(int32_t index);

    const named_lists* data_ = nullptr;
    int32_t index_ = 0;
    interpreter_mode mode_ = interpreter_mode::emit;
    int32_t if_depth_ = 0;
    int32_t for_depth_ = 0;
    const value_list* loop_list_ = nullptr;
    // Pieces of the pending top-level block, joined: the child reads them as one text.
    byte_string body_;

    value_list own_output_;
    // Children write straight into the output of the top-level interpreter.
    value_list* output_ = &own_output_;
    // The output's last text, kept between writes; hooks start by forgetting it, since the
    // caller takes texts from the output between steps. Shared like the output.
    template_value* own_last_output_ = nullptr;
    template_value** last_output_ = &own_last_output_;
    int32_t level_ = 0;  // blocks enclosing the text this interpreter reads
    // Work left in the rendering, shared like the output; negative once spent.
    int64_t own_work_left_ = default_work_limit;
    int64_t* work_left_ = &own_work_left_;
    // Pieces the replayed bodies of the rendering may still take; shared like the work.
    int64_t own_pieces_left_;
    int64_t* pieces_left_ = &own_pieces_left_;
    // Reused for every body this interpreter evaluates, so passes cost no construction.
    std::unique_ptr<template_interpreter> child_;
    // Lexer position before the body's first byte: error positions count from the body.
    int64_t base_line_ = 1;
    int64_t base_column_ = 0;
    bool at_end_ = false;
    // Set by tests only: every body is read by a child interpreter, never replayed.
    bool reread_bodies_ = false;

    // Words of the directive being executed.
    byte_string keyword_;
    byte_string var_;
    bool has_var_ = false;
};
