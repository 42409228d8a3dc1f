// The bridge's process class with plain Linux children in the helper's
// place: one that hangs, one that ends in the middle of a message, one that
// has ended before it is written to. Each conversation ends with the outcome
// the bridge turns into its code, and no child outlives its object.
#include "child.h"
#include "TableRows.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <system_error>

#include <sys/wait.h>

namespace kb = kelrin::bridge;
using Outcome = kb::Child::Outcome;

namespace {

using tableRows::PrintTo;

kb::Child shell(const std::string &script, bool talk = true)
{
    return kb::Child({"/bin/sh", {"-c", script}, kb::environmentWith({}, {}), talk, false});
}

kb::Deadline in(int milliseconds)
{
    return kb::Clock::now() + std::chrono::milliseconds(milliseconds);
}

bool gone(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// One conversation: the child's script, what the bridge does with it, the
// outcome and the bytes it received.
struct Conversation
{
    const char *name;
    const char *script;
    std::function<Outcome(kb::Child &, std::string &)> act;
    Outcome outcome;
    std::string received;
};

Outcome receiveEight(kb::Child &child, std::string &got)
{
    got.assign(8, '\0');
    const Outcome outcome = child.receive(got.data(), got.size(), in(2000));
    if (outcome != Outcome::Done)
        got.clear();
    return outcome;
}

const Conversation kConversations[] = {
    {"whole_message", "printf 'abcdefgh'; exec sleep 60", receiveEight, Outcome::Done, "abcdefgh"},
    {"message_cut_short_by_its_end", "printf 'abc'", receiveEight, Outcome::Ended, ""},
    {"silent_until_it_ends", "exit 0", receiveEight, Outcome::Ended, ""},
    {"hangs_without_a_word", "exec sleep 60",
     [](kb::Child &child, std::string &got) {
         got.assign(8, '\0');
         const Outcome outcome = child.receive(got.data(), got.size(), in(200));
         got.clear();
         return outcome;
     },
     Outcome::TimedOut, ""},
    {"echoes_what_it_is_sent", "exec cat",
     [](kb::Child &child, std::string &got) {
         if (const Outcome sent = child.send("ping-pong", in(2000)); sent != Outcome::Done)
             return sent;
         got.assign(9, '\0');
         return child.receive(got.data(), got.size(), in(2000));
     },
     Outcome::Done, "ping-pong"},
    {"written_to_after_it_ended", "exit 0",
     [](kb::Child &child, std::string &) {
         // Reaped first, so the pipe's reader is surely gone: the write must
         // fail rather than raise SIGPIPE in this process.
         child.wait(in(2000));
         return child.send("after the end", in(2000));
     },
     Outcome::Ended, ""},
    {"never_reads_its_input", "exec sleep 60",
     [](kb::Child &child, std::string &) { return child.send(std::string(1 << 20, 'x'), in(200)); },
     Outcome::TimedOut, ""},
};

class ChildConversation : public ::testing::TestWithParam<Conversation>
{
};

TEST_P(ChildConversation, EndsWithItsOutcomeAndLeavesNoChild)
{
    const Conversation &c = GetParam();
    pid_t pid = -1;
    {
        kb::Child child = shell(c.script);
        pid = child.pid();
        ASSERT_GT(pid, 0);
        std::string got;
        EXPECT_EQ(c.act(child, got), c.outcome);
        EXPECT_EQ(got, c.received);
    }
    EXPECT_TRUE(gone(pid)) << "the child outlived its object";
}

INSTANTIATE_TEST_SUITE_P(Children, ChildConversation, ::testing::ValuesIn(kConversations),
                         tableRows::rowName);

TEST(Child, WaitGivesTheExitStatusAndNothingWhenItStillRuns)
{
    kb::Child ends = shell("exit 3");
    const auto status = ends.wait(in(2000));
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 3);

    kb::Child runs = shell("exec sleep 60");
    EXPECT_EQ(runs.wait(in(100)), std::nullopt);
    runs.kill();
    EXPECT_TRUE(gone(runs.pid()));
}

TEST(Child, ReceiveAllTakesEverythingUntilTheEndAndNothingPastTheDeadline)
{
    kb::Child talks = shell("printf 'one\\ntwo'");
    EXPECT_EQ(talks.receiveAll(in(2000)), "one\ntwo");

    kb::Child keepsOpen = shell("printf 'x'; exec sleep 60");
    EXPECT_EQ(keepsOpen.receiveAll(in(200)), std::nullopt);
}

TEST(Child, AProgramThatCannotStartThrows)
{
    EXPECT_THROW(kb::Child({"/nonexistent/helper", {}, {}, true, false}), std::system_error);
}

TEST(Child, EnvironmentDropsAndReplacesByName)
{
    ::setenv("CHILD_TEST_KEPT", "kept", 1);
    ::setenv("CHILD_TEST_DROPPED", "dropped", 1);
    ::setenv("CHILD_TEST_SET", "old", 1);
    kb::Child child({"/bin/sh",
                     {"-c", "printf '%s|%s|%s' \"$CHILD_TEST_KEPT\" \"$CHILD_TEST_DROPPED\" "
                            "\"$CHILD_TEST_SET\""},
                     kb::environmentWith({"CHILD_TEST_DROPPED"}, {"CHILD_TEST_SET=new"}),
                     true,
                     false});
    EXPECT_EQ(child.receiveAll(in(2000)), "kept||new");
}

} // namespace
