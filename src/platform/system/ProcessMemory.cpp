#include "platform/system/ProcessMemory.h"

#include <malloc.h>

void ProcessMemory::releaseFreePages()
{
    malloc_trim(0);
}
