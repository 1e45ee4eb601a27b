#pragma once
// The program's use of the C heap.
namespace memory {

// Keeps the memory the program frees for its next use instead of handing it back to the
// system: the quote files, results and tables of one import are of the size of the next
// one's, and taking fresh pages from the system again costs as much as filling them.
// Called once, first thing in main().
void keepFreedMemory();

}  // namespace memory
