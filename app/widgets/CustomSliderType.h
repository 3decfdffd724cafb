#pragma once

namespace corvane {

// Normal fills from the left end to the thumb; Balance from the middle towards the thumb.
enum class CustomSliderType { Normal, Balance };

}  // namespace corvane
