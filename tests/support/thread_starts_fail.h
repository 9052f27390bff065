#pragma once
// While it lives, starting a thread fails as it does on a machine out of memory for thread stacks:
// the stack size of new threads is set beyond any address space. What a start failure leaves
// behind can then be tested without exhausting the machine.
#include <pthread.h>

#include <cstddef>

namespace kdr::test {

class ThreadStartsFail {
public:
  ThreadStartsFail() {
    pthread_getattr_default_np(&saved_);
    pthread_attr_t impossible;
    pthread_attr_init(&impossible);
    pthread_attr_setstacksize(&impossible, std::size_t{1} << 50);
    pthread_setattr_default_np(&impossible);
    pthread_attr_destroy(&impossible);
  }
  ~ThreadStartsFail() {
    pthread_setattr_default_np(&saved_);
    pthread_attr_destroy(&saved_);
  }
  ThreadStartsFail(const ThreadStartsFail &) = delete;
  ThreadStartsFail &operator=(const ThreadStartsFail &) = delete;

private:
  pthread_attr_t saved_;
};

} // namespace kdr::test
