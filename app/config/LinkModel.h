#pragma once

#include <string>

namespace corvane {

// A named link.
struct LinkModel {
  std::string name;
  std::string link;
};

}  // namespace corvane
