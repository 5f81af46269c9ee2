#pragma once
// Test helpers for the data layer and the drivers: a fresh temporary directory per test, file
// writing and reading helpers, and a halt hook that throws so that warnings that end the program can
// be observed.

#include "runtime/hooks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace sitedex::testing {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "sitedex-XXXXXX").string();
        char* made = mkdtemp(tmpl.data());
        EXPECT_NE(made, nullptr);
        m_path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Halted {
    std::string text;
};
inline void throwingHalt(std::string_view text) { throw Halted{std::string(text)}; }

}  // namespace sitedex::testing
