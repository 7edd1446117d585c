// The alternation of the logon dialog and the main window over one run of the windowed program.
#include "app/shell_loop.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

// Windows that answer from a script and write down what was shown.
class ScriptedWindows : public IShellWindows {
public:
    std::deque<bool> logonAnswers;
    std::deque<int> mainAnswers;
    std::vector<std::string> shown;

    bool RunLogon(bool firstOfRun) override {
        shown.push_back(firstOfRun ? "logon first" : "logon");
        const bool ok = logonAnswers.front();
        logonAnswers.pop_front();
        return ok;
    }
    int RunMain() override {
        shown.push_back("main");
        const int result = mainAnswers.front();
        mainAnswers.pop_front();
        return result;
    }
};

}  // namespace

TEST(ShellLoop, LogOffShowsTheLogonAgainNoLongerAsTheFirstAndCancelEndsTheRun) {
    ScriptedWindows windows;
    windows.logonAnswers = {true, true, false};
    windows.mainAnswers = {kMainResultLogoff, kMainResultLogoff};
    RunShellLoop([] { return kServerPortal; }, windows);
    EXPECT_EQ(windows.shown, (std::vector<std::string>{"logon first", "main", "logon", "main", "logon"}));

    ScriptedWindows quits;
    quits.logonAnswers = {true};
    quits.mainAnswers = {0};
    RunShellLoop([] { return kServerNone; }, quits);
    EXPECT_EQ(quits.shown, (std::vector<std::string>{"logon first", "main"}));
}

TEST(ShellLoop, ADirectRtmpServerNeedsNoLogonAndRunsTheMainWindowOnce) {
    ScriptedWindows windows;
    windows.mainAnswers = {kMainResultLogoff};
    RunShellLoop([] { return kServerDirectRtmp; }, windows);
    EXPECT_EQ(windows.shown, (std::vector<std::string>{"main"}));

    // The kind is read at every turn: a log-off after which the address is direct RTMP ends the run the same way.
    ScriptedWindows changes;
    changes.logonAnswers = {true};
    changes.mainAnswers = {kMainResultLogoff, 0};
    ServerKind kind = kServerStream;
    RunShellLoop(
        [&] {
            const ServerKind now = kind;
            kind = kServerDirectRtmp;
            return now;
        },
        changes);
    EXPECT_EQ(changes.shown, (std::vector<std::string>{"logon first", "main", "main"}));
}
