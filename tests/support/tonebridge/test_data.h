// The golden files under tests/data/, read by the tests that check against them. Each file is
// kept once there, with a README saying how it was made.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tonebridge::test {

/// The bytes of the file at path; empty when it is missing.
inline std::vector<uint8_t> testDataAt(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The bytes of tests/data/<relative>; empty when the file is missing.
inline std::vector<uint8_t> testData(const std::string& relative) {
    return testDataAt(std::string(TB_TEST_DATA_DIR) + "/" + relative);
}

} // namespace tonebridge::test
