#include "template_block.h"

#include <algorithm>

#include "markup_scanner.h"
#include "template_interpreter.h"

// Scans a body in the template setup and records each piece the interpreter's hooks would get.
class body_reader : public markup_scanner {
  public:
    body_reader(template_block& body, const named_lists* data, int64_t pieces_left)
        : body_(body), data_(data) {
        configure_for_templates(*this);
        max_pieces_ = std::min(body.text_.size() / template_block::bytes_per_piece + 16,
                               static_cast<size_t>(std::max(pieces_left, int64_t{0})));
    }

    // Whether every byte of the body went into a piece.
    bool read_all() {
        const std::string_view text = body_.text_;
        return feed_all(text, body_slice_size) == scan_status::finished && offset_ == text.size();
    }

  protected:
    // A hook stops the scan at a piece that can't be kept: one too many, or one whose bytes are
    // not those of the body at its place, which replaying the body's bytes would not repeat.
    bool on_text() override {
        // an empty text run writes nothing in any mode
        if (token().is_empty()) return true;
        return add(at_end_ ? body_action::final_text : body_action::text);
    }

    bool on_construct() override {
        const bool has_var = read_directive(token_view(), keyword_, var_);
        const body_action action = keyword_action(keyword_.view());
        if (!add(action)) return false;
        if (action == body_action::echo || action == body_action::for_block ||
            action == body_action::if_block) {
            body_.pieces_.back().directive = static_cast<uint32_t>(body_.directives_.size());
            body_directive& directive = body_.directives_.emplace_back();
            directive.has_var = has_var;
            if (has_var) directive.var.assign(var_);
            directive.list = has_var && data_ ? data_->find_list(var_.view()) : nullptr;
        }
        return true;
    }

    scan_status on_end() override {
        at_end_ = true;
        const scan_status status = markup_scanner::on_end();
        at_end_ = false;
        return status;
    }

  private:
    bool add(body_action action) {
        const std::string_view bytes = token_view();
        const std::string_view text = body_.text_;
        if (body_.pieces_.size() >= max_pieces_ || bytes.size() > text.size() - offset_ ||
            bytes != text.substr(offset_, bytes.size()))
            return false;
        body_piece& piece = body_.pieces_.emplace_back();
        piece.begin = static_cast<uint32_t>(offset_);
        piece.length = static_cast<uint32_t>(bytes.size());
        piece.line = static_cast<uint32_t>(line());
        piece.column = static_cast<uint32_t>(column());
        piece.action = action;
        offset_ += piece.length;
        return true;
    }

    template_block& body_;
    const named_lists* data_;
    size_t max_pieces_ = 0;
    // Pieces cover the body without gaps: each starts where the one before ended.
    size_t offset_ = 0;
    bool at_end_ = false;
    byte_string keyword_;
    byte_string var_;
};

template_block::~template_block() {
    if (pieces_left_) *pieces_left_ += static_cast<int64_t>(pieces_.size());
}

bool template_block::read(std::string_view text, const named_lists* data, int64_t& pieces_left) {
    text_ = text;
    body_reader reader(*this, data, pieces_left);
    is_read_ = reader.read_all();
    if (!is_read_) {
        pieces_ = std::vector<body_piece>();
        directives_ = std::vector<body_directive>();
        return false;
    }
    pieces_left -= static_cast<int64_t>(pieces_.size());
    pieces_left_ = &pieces_left;
    return true;
}

void template_block::bind(const named_lists* data) {
    for (body_directive& directive : directives_) {
        directive.list =
            directive.has_var && data ? data->find_list(directive.var.view()) : nullptr;
        for (std::unique_ptr<template_block>& body : directive.opened)
            if (body) body->bind(data);
    }
}

bool template_block::read_own(byte_string& text, const named_lists* data, int64_t& pieces_left) {
    own_text_.move_from(text);
    return read(own_text_.view(), data, pieces_left);
}

body_action keyword_action(std::string_view keyword) {
    if (keyword == "echo") return body_action::echo;
    if (keyword == "for") return body_action::for_block;
    if (keyword == "endfor") return body_action::endfor;
    if (keyword == "if") return body_action::if_block;
    if (keyword == "else") return body_action::else_branch;
    if (keyword == "endif") return body_action::endif;
    return body_action::directive;
}
