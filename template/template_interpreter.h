#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "byte_string.h"
#include "markup_scanner.h"
#include "sorted_map.h"
#include "value_list.h"

class template_block;
struct body_directive;
enum class body_action : uint8_t;

// What the interpreter does with the pieces it meets.
enum class interpreter_mode : uint8_t {
    skip,      // the unchosen branch of a top-level if: pieces are dropped
    collect,   // a top-level block is open: pieces go to its body
    emit,      // pieces and executed directives go to the output
    verbatim,  // a block nested too deep: its text goes to the output unevaluated
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
// same output. Either way the pieces drive one block state machine. Errors are reported inline
// in the output, never through the scan status.
//
// Use: set_data, then feed every chunk and take every text from the front of output(); after
// the last chunk feed_end. A block still open then (has_open_block) has lost its body.
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
    // Replaces default_work_limit; set before the first chunk.
    void set_work_limit(int64_t limit) { own_work_left_ = limit; }
    // Whether the work limit was passed: the output then ends with its report.
    bool is_exhausted() const { return *work_left_ < 0; }
    interpreter_mode mode() const { return state_.mode; }
    // Whether a top-level for or if is open; after the end of the input, one whose body was lost.
    bool has_open_block() const { return state_.mode != interpreter_mode::emit; }

    // Texts produced so far, in order; the caller takes them from the front.
    value_list& output() { return *output_; }
    // Takes the output's texts as they fill, even while one chunk is read, so that a long
    // rendering is never held whole; what is left at the end of a step stays in output(). Not
    // owned; set before the first chunk.
    void set_output_drain(const std::function<void(std::string_view text)>* drain) {
        drain_ = drain;
    }

    // Renders a whole template read into `whole` as feeding its text and then feed_end would;
    // the bodies read on the way stay with its directives for later renderings, their pieces
    // taken from `pieces_left`, which must outlive them. Set the data, limit and drain first.
    void replay_template(template_block& whole, int64_t& pieces_left);

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

    // One piece of a body, met while scanning it or replaying its pieces.
    struct piece_view {
        body_action action;
        std::string_view bytes;
        text_position at;
        // The replayed echo, for or if (only these follow it); null while scanning, when var_
        // names the list.
        body_directive* directive;
    };

    // What a reader of one body holds while it meets the pieces: the state of the blocks.
    struct block_state {
        interpreter_mode mode = interpreter_mode::emit;
        int32_t if_depth = 0;
        int32_t for_depth = 0;
        int32_t index = 0;  // the loop pass at which variables are read
        int32_t level = 0;  // blocks enclosing the body
        const value_list* loop_list = nullptr;
        // Pieces of the pending top-level block, joined: a child reads them as one text.
        byte_string collected;
        // A replayed body keeps the body of its open block here, read on the first pass that
        // closes it; later passes then find it read and collect nothing.
        std::unique_ptr<template_block>* kept = nullptr;
        bool is_collecting = true;
    };

    void take_piece(block_state& state, const piece_view& piece);
    void run_echo(block_state& state, const piece_view& piece);
    // for and if: open a top-level block, or count one nested in it.
    void run_opener(block_state& state, const piece_view& piece);
    // The mode a top-level for or if opens its block in; emit when its var names nothing.
    interpreter_mode opening_mode(const block_state& state, const piece_view& piece) const;
    void run_else(block_state& state, const piece_view& piece);
    // endfor and endif: close the top-level block, evaluating its body, or count one nested
    // in it; a closer without opener is reported.
    void run_closer(block_state& state, const piece_view& piece);
    void open_block(block_state& state, const piece_view& piece, interpreter_mode start);
    void close_block(block_state& state);
    void pass_through(block_state& state, const piece_view& piece);
    // The list the directive's var names, or null.
    const value_list* list_of(const piece_view& piece) const;

    // Writes to the output; inside a body the bytes are charged to the work, reported at `at`.
    void write(const block_state& state, std::string_view text, text_position at);
    void append_output(std::string_view text);
    // Takes n (0 or more) bytes of work from the rendering's budget, or reports it spent at
    // `at` and returns false.
    bool charge(int64_t n, text_position at) {
        if (n > *work_left_) return spend_all(at);
        *work_left_ -= n;
        return true;
    }
    // Marks the budget spent and reports it at `at`, unless it already was; false.
    bool spend_all(text_position at);
    text_position position() const;
    void report_error(const block_state& state, text_position at);
    // Evaluates the closed block's body once per pass, at the indices first to
    // first + passes - 1.
    void evaluate(block_state& state, int32_t first, int32_t passes, text_position at);
    // Reads a body through the child interpreter, which sits at `level`.
    void reread(std::string_view body, int32_t index, int32_t level);
    // Executes the pieces of a body as a child at `level` reading its text would.
    void replay(template_block& body, int32_t index, int32_t level);
    void replay_pieces(template_block& body, block_state& state);
    // Readies a child for reading a body from its start.
    void begin_pass(int32_t index, int32_t level);

    const named_lists* data_ = nullptr;
    block_state state_;

    value_list own_output_;
    // Children write straight into the output of the top-level interpreter.
    value_list* output_ = &own_output_;
    // The output's last text, kept between writes; hooks start by forgetting it, since the
    // caller takes texts from the output between steps. Shared like the output.
    template_value* own_last_output_ = nullptr;
    template_value** last_output_ = &own_last_output_;
    // Where full texts of the output go, shared like the output; none keeps them all.
    const std::function<void(std::string_view text)>* drain_ = nullptr;
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

    // Words of the directive being scanned.
    byte_string keyword_;
    byte_string var_;
    bool has_var_ = false;
};

// Makes the interpreter and its children read every block body again on every pass, as a
// child interpreter over the body text, instead of replaying it; tests compare both ways.
void set_reread_bodies(template_interpreter& interpreter, bool on);
