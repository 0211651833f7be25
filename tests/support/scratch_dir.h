#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A fresh directory per test, removed with everything in it afterwards.
class ScratchDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tocvane-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    // A file of `size` zero bytes that takes no room on disk where the file system allows.
    void put_sparse(const std::string& name, uintmax_t size) const {
        put(name, "");
        std::filesystem::resize_file(path(name), size);
    }

    // The file's bytes, or "<missing>".
    std::string bytes_of(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        if (!in) return "<missing>";
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Names in the directory `sub` ("" for the scratch directory itself), sorted.
    std::vector<std::string> names_in(const std::string& sub = "") const {
        std::vector<std::string> names;
        for (const auto& entry :
             std::filesystem::directory_iterator(sub.empty() ? dir_ : path(sub))) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};
