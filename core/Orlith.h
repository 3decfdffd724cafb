#pragma once

namespace orlith {

// The framework's version, as the programs log it.
const char* version();

}  // namespace orlith
