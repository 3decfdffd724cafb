#pragma once

namespace qd4718 {

// The firmware-update framework's version.
const char* version();

}  // namespace qd4718
