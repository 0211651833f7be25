#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "markup_scanner.h"

// Input cut into pieces, each in a heap block of exactly its size, so that a read past
// the end of a piece is caught by the sanitizers.
class piece_list {
  public:
    static piece_list whole(std::string_view input);
    // Two pieces, input[0, at) and input[at, end); either may be empty.
    static piece_list split_at(std::string_view input, size_t at);
    static piece_list bytes(std::string_view input);

    void add(std::string_view piece);
    size_t size() const { return sizes_.size(); }
    std::string_view operator[](size_t i) const { return {blocks_[i].get(), sizes_[i]}; }

  private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::vector<size_t> sizes_;
};

// Feeds the pieces as a reader does, then the end. Without `release` the pieces are pushed
// and scanned, and chunks read through stay queued. Returns the first step status other than
// needs_input, or the last one.
scan_status feed_pieces(markup_scanner& scanner, const piece_list& pieces, bool release = true);

// Bytes in double quotes; " and \ escaped, control bytes and bytes >= 0x7f as \n, \r, \t, \xNN.
std::string quote_bytes(std::string_view bytes);

// Records every report of the scanner as a word: T"text" for a non-empty text run,
// C<kind>"construct" for a construct, E for the end; with positions, each word is followed
// by @line:column as the hook saw it.
class scan_recorder : public markup_scanner {
  public:
    bool with_positions = false;
    // Each hook takes over the token's storage, as a reader building nodes does.
    bool take_token = false;

    std::string dump() const { return dump_; }
    // Every reported text and construct in order: the input again when nothing was lost.
    std::string concatenated() const;

  protected:
    bool on_text() override;
    bool on_construct() override;
    scan_status on_end() override;

  private:
    void record(std::string word);
    void keep_token();

    std::string dump_;
    std::vector<byte_string> reports_;
};

// Dump of one run of a scanner set up by `configure` over the pieces; a final step status
// other than finished is added as R<status number>.
std::string scan_dump(void (*configure)(markup_scanner&), const piece_list& pieces,
                      bool with_positions = false, bool release = true);
