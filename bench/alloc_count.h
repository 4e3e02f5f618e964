// Heap allocations counted for the whole process. The counting versions of
// malloc, calloc, realloc, free and operator new/delete live in this
// executable and so take the place of the C library's own for every module
// in it: the driver module, and the C library itself when fopen allocates.
#pragma once

namespace bench {

struct AllocCount {
    unsigned long long allocations;  // malloc, calloc and realloc calls, new
    unsigned long long bytes;        // bytes those calls asked for
    unsigned long long frees;        // free and delete of a block
};

AllocCount AllocationsSoFar();

}  // namespace bench
