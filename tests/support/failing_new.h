// While an object of this class lives, every operator new on the creating thread throws
// std::bad_alloc (malloc is not affected).
#pragma once

namespace cirrodex::testing {

class FailAllocations {
 public:
  FailAllocations();
  ~FailAllocations();
  FailAllocations(const FailAllocations&) = delete;
  FailAllocations& operator=(const FailAllocations&) = delete;
};

}  // namespace cirrodex::testing
