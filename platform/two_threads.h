// Two pieces of work at once: one on the calling thread, one on a second
// thread, for the passes over a large log that split it in two.
#pragma once

#include <exception>
#include <thread>

namespace tarnwick {

// Runs `beside` on a second thread while `here` runs on the calling thread
// and returns when both have ended. An exception from either is passed on
// once both have ended (here's first).
template <class Here, class Beside>
void RunBeside(Here&& here, Beside&& beside) {
  std::exception_ptr failure;
  std::thread second([&] {
    try {
      beside();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    here();
  } catch (...) {
    second.join();
    throw;
  }
  second.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tarnwick
