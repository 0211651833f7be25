#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "scratch_dir.h"

// Every anchor made under test carries this time stamp.
constexpr const char* fixed_epoch = "1700000000";

// A scratch folder to lay out small sites and projects in.
class SiteTest : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        ::setenv("SOURCE_DATE_EPOCH", fixed_epoch, 1);
    }

    // Writes `name`, creating the folders on its way.
    void put_file(const std::string& name, const std::string& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
        put(name, bytes);
    }

    // A project file in the tagged syntax, one "<key>value</key>" line per pair.
    void put_project(const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& fields) const {
        std::string text;
        for (const auto& [key, value] : fields) {
            text += "<" + key + ">" + value + "</" + key + ">\r\n";
        }
        put_file(name, text);
    }

    // One entry per row, "numbering text=link;", so that links and numbers are easy to find.
    void put_template(const std::string& name) const {
        put_file(name,
                 "<!--#for var=\"item\"--><!--#if var=\"open\"--><!--#echo var=\"numbering\"-->"
                 "<!--#echo var=\"text\"-->=<!--#echo var=\"link\"-->;"
                 "<!--#endif--><!--#endfor-->");
    }

    static std::string page(const std::string& title, const std::string& body) {
        return "<html>\r\n<head><title>" + title + "</title></head>\r\n<body>\r\n" + body +
               "</body>\r\n</html>\r\n";
    }

    static std::string anchor(int number) {
        return "qorv_link_" + std::to_string(number) + "_" + fixed_epoch;
    }
};
