#pragma once

namespace corvane {

// How the update page came up: by itself at start, asked for by the user, or showing that
// nothing newer exists.
enum class UpdateMode { auto_ = 0, manual = 1, allLastVersion = 2 };

}  // namespace corvane
