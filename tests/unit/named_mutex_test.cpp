#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <thread>

#include "platform/file_system.h"

namespace tavrin::platform {
namespace {

std::string UniqueName(const char* what) {
    return std::string("tavrin_test_") + what + "_" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

TEST(NamedMutex, ASecondOpenerSeesThatItExists) {
    const std::string name = UniqueName("exists");
    auto first = std::make_unique<NamedMutex>(name);
    ASSERT_TRUE(first->IsValid());
    EXPECT_FALSE(first->AlreadyExisted());
    {
        NamedMutex second(name);
        EXPECT_TRUE(second.IsValid());
        EXPECT_TRUE(second.AlreadyExisted());
    }
    first.reset();
    NamedMutex third(name);
    EXPECT_FALSE(third.AlreadyExisted());
}

// On Windows a program's locks are one whatever the case of its name and its trailing dots;
// elsewhere names that differ are different locks.
TEST(NamedMutex, NamesTheSystemTakesForOneShareTheirLock) {
    const std::string name = UniqueName("case");
    std::string other = name;
    for (char& c : other) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    NamedMutex first(name);
    ASSERT_TRUE(first.IsValid());
    NamedMutex second(other + ". ");
    EXPECT_EQ(second.AlreadyExisted(), platform::FileNamesIgnoreCase());
}

// The first opener holds the lock without asking: another that waits for it waits for that
// holder, not merely for the name to exist.
TEST(NamedMutex, TheFirstOpenerHoldsItUntilItLetsGo) {
    const std::string name = UniqueName("held");
    auto first = std::make_unique<NamedMutex>(name);
    std::atomic<int> step{0};
    bool whileHeld = true;
    bool afterwards = false;
    std::thread other([&] {
        NamedMutex second(name);
        whileHeld = second.TryLock(200);
        step = 1;
        while (step.load() != 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        afterwards = second.TryLock(5000);
    });
    while (step.load() != 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    first.reset();
    step = 2;
    other.join();
    EXPECT_FALSE(whileHeld);
    EXPECT_TRUE(afterwards);
}

TEST(NamedMutex, LockWaitsForTheOtherHolder) {
    const std::string name = UniqueName("wait");
    std::atomic<int> step{0};
    std::atomic<bool> secondHadItEarly{false};
    NamedMutex first(name);
    ASSERT_TRUE(first.Lock());
    // Windows mutexes belong to a thread, so the waiting side runs on a thread of its own.
    std::thread other([&] {
        NamedMutex second(name);
        step = 1;
        ASSERT_TRUE(second.Lock());
        secondHadItEarly = step.load() != 2;
        second.Unlock();
    });
    while (step.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    step = 2;
    first.Unlock();
    other.join();
    EXPECT_FALSE(secondHadItEarly);
}

}  // namespace
}  // namespace tavrin::platform
