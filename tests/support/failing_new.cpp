// Replaces the global operator new of the test program so that a test can make the allocations
// of its own thread fail, as running out of memory would.
#include "tests/support/failing_new.h"

#include <cstdlib>
#include <new>

namespace cirrodex::testing {

thread_local bool t_failAllocations = false;

FailAllocations::FailAllocations() { t_failAllocations = true; }
FailAllocations::~FailAllocations() { t_failAllocations = false; }

}  // namespace cirrodex::testing

void* operator new(std::size_t size) {
  if (cirrodex::testing::t_failAllocations) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
