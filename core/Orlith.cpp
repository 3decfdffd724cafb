#include "Orlith.h"

namespace orlith {

const char* version() { return CORVANE_VERSION; }

}  // namespace orlith
