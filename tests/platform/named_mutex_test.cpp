#include "platform/named_mutex.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using vtl::platform::NamedMutex;

TEST(NamedMutex, SecondHolderIsRefusedUntilTheFirstDies)
{
    const std::string name = "vtl-test-mutex-" + std::to_string(getpid());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto held = NamedMutex::TryCreate(name);
        char c = held ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    EXPECT_EQ(NamedMutex::TryCreate(name), nullptr);

    // A killed holder leaves no lock behind.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    auto mine = NamedMutex::TryCreate(name);
    EXPECT_NE(mine, nullptr);
    mine.reset();
    unlink((NamedMutex::LockFolder() + name).c_str());
    close(ready[0]);
    close(ready[1]);
}
