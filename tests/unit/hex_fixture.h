// Fixture readers shared by the decoder tests: golden texts and hexadecimal answers
// under ZV_TEST_DATA_DIR/<dir>/.
#ifndef ZV_HEX_FIXTURE_H
#define ZV_HEX_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common.h"

inline std::string FixturePath(const std::string& dir, const std::string& name)
{
    return std::string(ZV_TEST_DATA_DIR) + "/" + dir + "/" + name;
}

// The file's bytes as they are.
inline std::string FixtureText(const std::string& dir, const std::string& name)
{
    std::ifstream f(FixturePath(dir, name), std::ios::binary);
    EXPECT_TRUE(f.good()) << name;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Hexadecimal bytes separated by white space.
inline std::vector<u8> HexBytes(const std::string& text)
{
    std::istringstream words(text);
    std::vector<u8> bytes;
    for (std::string w; words >> w;) {
        bytes.push_back(static_cast<u8>(std::stoul(w, nullptr, 16)));
    }
    return bytes;
}

// A fixture answer: hexadecimal bytes, "#" to the end of a line is a comment.
inline std::vector<u8> FixtureHex(const std::string& dir, const std::string& name)
{
    std::ifstream f(FixturePath(dir, name));
    EXPECT_TRUE(f.good()) << name;
    std::vector<u8> bytes;
    for (std::string line; std::getline(f, line);) {
        const std::vector<u8> more = HexBytes(line.substr(0, line.find('#')));
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    return bytes;
}

// The first n bytes alone on the heap, so that a read past them is caught by the sanitizer.
inline std::vector<u8> HeapPrefix(const std::vector<u8>& bytes, size_t n)
{
    return std::vector<u8>(bytes.begin(), bytes.begin() + std::min(n, bytes.size()));
}

#endif
