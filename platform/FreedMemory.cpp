#include "FreedMemory.h"

#include <malloc.h>

namespace platform {

void FreedMemory::giveBack() { malloc_trim(0); }

}  // namespace platform
