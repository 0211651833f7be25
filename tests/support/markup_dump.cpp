#include "markup_dump.h"

#include <cstdio>
#include <cstring>
#include <utility>

piece_list piece_list::whole(std::string_view input) {
    piece_list pieces;
    pieces.add(input);
    return pieces;
}

piece_list piece_list::split_at(std::string_view input, size_t at) {
    piece_list pieces;
    pieces.add(input.substr(0, at));
    pieces.add(input.substr(at));
    return pieces;
}

piece_list piece_list::bytes(std::string_view input) {
    piece_list pieces;
    for (size_t i = 0; i < input.size(); ++i)
        pieces.add(input.substr(i, 1));
    return pieces;
}

void piece_list::add(std::string_view piece) {
    auto block = std::make_unique<char[]>(piece.size());
    if (!piece.empty()) std::memcpy(block.get(), piece.data(), piece.size());
    blocks_.push_back(std::move(block));
    sizes_.push_back(piece.size());
}

scan_status feed_pieces(markup_scanner& scanner, const piece_list& pieces, bool release) {
    for (size_t i = 0; i < pieces.size(); ++i) {
        scan_status status = scan_status::needs_input;
        if (release) {
            status = scanner.feed(pieces[i]);
        } else {
            scanner.push_chunk(pieces[i]);
            status = scanner.scan_step();
        }
        if (status != scan_status::needs_input) return status;
    }
    return scanner.feed_end();
}

std::string quote_bytes(std::string_view bytes) {
    std::string out = "\"";
    for (char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += byte;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += byte;
        }
    }
    out += '"';
    return out;
}

std::string scan_recorder::concatenated() const {
    std::string all;
    for (const byte_string& report : reports_)
        all += report.view();
    return all;
}

void scan_recorder::record(std::string word) {
    if (with_positions) {
        word += '@';
        word += std::to_string(line());
        word += ':';
        word += std::to_string(column());
    }
    if (!dump_.empty()) dump_ += ' ';
    dump_ += word;
}

void scan_recorder::keep_token() {
    byte_string copy;
    if (take_token) {
        copy.move_from(token());
    } else {
        copy.assign(token());
    }
    reports_.push_back(std::move(copy));
}

bool scan_recorder::on_text() {
    if (token().is_empty()) return true;
    std::string word = "T";
    word += quote_bytes(token_view());
    record(std::move(word));
    keep_token();
    return true;
}

bool scan_recorder::on_construct() {
    std::string word = "C";
    word += std::to_string(static_cast<int>(kind()));
    word += quote_bytes(token_view());
    record(std::move(word));
    keep_token();
    return true;
}

scan_status scan_recorder::on_end() {
    const scan_status status = markup_scanner::on_end();
    record("E");
    return status;
}

std::string scan_dump(void (*configure)(markup_scanner&), const piece_list& pieces,
                      bool with_positions, bool release) {
    scan_recorder recorder;
    configure(recorder);
    recorder.with_positions = with_positions;
    const scan_status status = feed_pieces(recorder, pieces, release);
    std::string dump = recorder.dump();
    if (status != scan_status::finished) dump += " R" + std::to_string(static_cast<int>(status));
    return dump;
}
