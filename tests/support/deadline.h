#pragma once

// A deadline for a test that waits on a loop, a box, a process or a sound:
// should the test still be running when it passes, the test program says
// which test and ends with a failure, instead of hanging until the test
// runner's own time-out. A test that spins or blocks cannot be unwound, so
// the process ends; in a death test's child the parent then reports the
// child's unexpected end together with this message.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

// How many times longer everything takes in a sanitizer's build: waits and
// deadlines are given for the plain build and stretched by this.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kSlowdown = 5;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
constexpr int kSlowdown = 5;
#else
constexpr int kSlowdown = 1;
#endif
#else
constexpr int kSlowdown = 1;
#endif

class Deadline {
  public:
    // `limit` for the plain build; a sanitizer's build allows kSlowdown times as much.
    explicit Deadline(std::chrono::milliseconds limit) : name_(CurrentTest()) {
        limit *= kSlowdown;
        watcher_ = std::thread([this, limit] {
            std::unique_lock lock(mutex_);
            if (changed_.wait_for(lock, limit, [this] { return over_; })) return;
            std::fprintf(stderr,
                         "\n%s: still running after its deadline of %.1f s; what it waits for "
                         "never came. Ending the test program.\n",
                         name_.c_str(), std::chrono::duration<double>(limit).count());
            std::fflush(stderr);
            std::_Exit(1);
        });
    }
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            over_ = true;
        }
        changed_.notify_all();
        watcher_.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

  private:
    static std::string CurrentTest() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        return test ? std::string(test->test_suite_name()) + "." + test->name() : "a test";
    }

    std::string name_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool over_ = false;
    std::thread watcher_;
};

} // namespace testsupport
