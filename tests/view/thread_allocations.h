// Heap allocations made through operator new, on every thread but those that
// asked to be left out. Linking thread_allocations.cpp replaces the program's
// operator new.
#pragma once

namespace testview {

// From here on, this thread's allocations are not counted.
void LeaveThisThreadUncounted();

// The other threads' allocations so far.
unsigned long long CountedAllocations();

}  // namespace testview
