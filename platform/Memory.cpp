#include "platform/Memory.h"

#include <malloc.h>

namespace platform {

void returnLargeBlocksToTheSystem()
{
    // Setting the threshold also turns its automatic raising off.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

} // namespace platform
