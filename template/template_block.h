#pragma once

// Inside the template library only: a block body read once into its pieces, so that the passes
// of a loop replay the pieces instead of scanning the body text again.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "sorted_map.h"
#include "value_list.h"

// What the interpreter does with a piece; a directive is named by its keyword.
enum class body_action : uint8_t {
    text,        // passed through by mode
    final_text,  // pending when the body ended: written whatever the mode
    directive,   // a keyword the interpreter does not execute: passed through
    echo,
    for_block,
    endfor,
    if_block,
    else_branch,
    endif,
};

// One piece of a body: a text run or a directive, with the position (line from 1, column from
// 0) at which the scanner hands it on, counted from the body's first byte. Error reports and
// work-limit reports made while the piece is executed show that position.
struct body_piece {
    uint32_t begin = 0;  // offset in the body text
    uint32_t length = 0;
    uint32_t line = 0;
    uint32_t column = 0;
    uint32_t directive = 0;  // entry in template_block::directives for echo, for and if
    body_action action = body_action::text;
};

class template_block;

// An echo, for or if directive of a body.
struct body_directive {
    // The list its var names in the data; null without var or data, or for an absent name.
    const value_list* list = nullptr;
    // The name its var gives, to find the list again in other data.
    byte_string var;
    bool has_var = false;
    // The bodies of the block a for or if opens here, read on the first pass that closes it:
    // [0] when the block starts collecting, [1] when it starts skipping (an if that is false).
    // A pass opens the same block with the same pieces, so the body never changes.
    std::unique_ptr<template_block> opened[2];
};

// The pieces of a body as a child interpreter reading it from its start would meet them.
class template_block {
  public:
    // Bodies with more pieces than this per byte are read again on every pass instead: a
    // body of nothing but '<' would otherwise hold many times its size in pieces.
    static constexpr int32_t bytes_per_piece = 4;
    // Pieces all bodies of one rendering may hold at once (some 100 MiB); past it bodies are
    // read again on every pass.
    static constexpr int64_t pieces_per_rendering = int64_t{1} << 22;

    template_block() = default;
    template_block(const template_block&) = delete;
    template_block& operator=(const template_block&) = delete;
    // Gives the pieces back to the budget they were taken from.
    ~template_block();

    // Reads the pieces of `text`, whose bytes must stay as they are while the body is used,
    // resolving every var against `data`, and takes them from `pieces_left`, which must
    // outlive the body. False when the body has too many pieces to keep.
    [[nodiscard]] bool read(std::string_view text, const named_lists* data, int64_t& pieces_left);
    // Takes over `text` as the body's own bytes, then reads it.
    [[nodiscard]] bool read_own(byte_string& text, const named_lists* data, int64_t& pieces_left);

    // Resolves every var of the body and of the bodies read into its directives against
    // `data` instead, for a rendering over other data.
    void bind(const named_lists* data);

    // Whether `read` succeeded; otherwise the body is read again by a child interpreter.
    bool is_read() const { return is_read_; }
    std::string_view text() const { return text_; }
    const std::vector<body_piece>& pieces() const { return pieces_; }
    // The entry of an echo, for or if; for other pieces a pointer not to be followed.
    body_directive* directive(const body_piece& piece) {
        return directives_.data() + piece.directive;
    }

  private:
    friend class body_reader;

    byte_string own_text_;
    std::string_view text_;
    std::vector<body_piece> pieces_;
    std::vector<body_directive> directives_;
    int64_t* pieces_left_ = nullptr;
    bool is_read_ = false;
};

// The action of a directive's keyword (lower-cased): one of the six, or directive.
body_action keyword_action(std::string_view keyword);

// Slices a body is scanned in, far below the scanner's size limit.
constexpr size_t body_slice_size = 1 << 20;
