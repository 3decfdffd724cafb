#pragma once

namespace corvane {

// Where an advertisement shows; the raw values are the ad record's entryType.
enum class AdType { Center = 0, RightTop = 1, Todo = 2, LeftBottom = 3 };

}  // namespace corvane
