#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qd4718 {

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF).
bool isValidUtf8(const std::vector<uint8_t>& bytes);

}  // namespace qd4718
