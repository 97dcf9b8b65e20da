#pragma once

// The process's heap.
namespace ProcessMemory {

// Hands the pages the allocator holds free back to the system. Memory freed
// in the middle of the heap otherwise stays resident until it is reused.
void releaseFreePages();

}
