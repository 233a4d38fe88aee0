// Failures that handlers raise. Most steps run in skip-and-continue mode
// (Step below); the handlers that handle no failure let these propagate to
// the event dispatcher, which reports them and keeps the program running.
#pragma once

#include <stdexcept>
#include <string>

namespace velane {

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that is not a number where one is required.
class TypeMismatch : public Failure {
 public:
  using Failure::Failure;
};

// A number beyond the range of its variable (16-bit positions, section
// numbers, list counts).
class Overflow : public Failure {
 public:
  using Failure::Failure;
};

// Runs one step of a skip-and-continue handler: a failure abandons the step
// and the caller goes on with the next one. Returns whether the step ran to
// its end. Only failures (std::exception) are caught: the end of the
// program passes through.
template <class F>
bool Step(F&& step) {
  try {
    step();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace velane
