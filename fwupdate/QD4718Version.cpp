#include "QD4718Version.h"

namespace qd4718 {

const char* version() { return CORVANE_VERSION; }

}  // namespace qd4718
