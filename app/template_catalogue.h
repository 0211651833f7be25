#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_string.h"

// The templates on offer, read from "templates.txt" in the data directory: entry i is the i-th
// "file", "name" and "description" value of that file, however the elements interleave.
class TemplateCatalogue {
  public:
    // `dataDirectory` holds "templates.txt" and the template files; a '/' is added when missing.
    explicit TemplateCatalogue(std::string_view dataDirectory);

    // Forgets the catalogue, then reads it. On failure the catalogue stays absent and
    // errorText tells why: the reader's message, "Tag <file> is missing." (likewise <name>,
    // <description>), or the count message when the three kinds differ in number.
    [[nodiscard]] bool load();

    // A folder of the user's own copies: a file there takes the place of the catalogue's file
    // of the same name. Ends with '/' when not empty.
    void setCopyFolder(std::string_view folder);
    const byte_string& copyFolder() const { return copyFolder_; }

    bool isLoaded() const { return loaded_; }
    // Entries of the loaded catalogue, 0 while it is absent.
    int32_t count() const { return static_cast<int32_t>(files_.size()); }
    // Display names in catalogue order; empty while absent.
    const std::vector<byte_string>& names() const { return names_; }
    const byte_string& dataDirectory() const { return dataDirectory_; }
    const byte_string& errorText() const { return errorText_; }

    // The user's copy of entry `index` when there is one, else data directory + its file; empty
    // while absent or for an index outside the catalogue (-1 for no selection).
    byte_string templatePath(int32_t index) const;
    // The project's "template_file" for a selection: templatePath, or the data directory
    // alone when that is empty.
    byte_string projectTemplateFile(int32_t index) const;
    // The entry whose file equals the part of `template_file` after its last '/', byte for
    // byte; entry 0 for an empty path, a name the catalogue lacks, or no catalogue.
    int32_t selectByPath(std::string_view template_file) const;
    // As selectByPath, but -1 for a name the catalogue lacks.
    int32_t findByPath(std::string_view template_file) const;
    // Description of entry `index` with every CR removed and every LF then written as CR LF;
    // false, with `out` untouched, while absent or for an index outside the catalogue.
    [[nodiscard]] bool description(int32_t index, byte_string& out) const;

  private:
    bool holds(int32_t index) const { return loaded_ && index >= 0 && index < count(); }
    void forget();

    byte_string dataDirectory_;
    byte_string copyFolder_;
    bool loaded_ = false;
    std::vector<byte_string> files_;
    std::vector<byte_string> names_;
    std::vector<byte_string> descriptions_;
    byte_string errorText_;
};
