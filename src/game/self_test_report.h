// The self-test's steps and report: each step passes when its check says so within its time,
// taken in order; the report gives each step's outcome and time since the start, on the
// standard output and, when asked, in a file an operator can ask a player to send.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tavrin {

struct SelfTestStep {
    std::string name;
    int seconds = 10;
    // True once the step has passed; `detail` says what was seen (or, while false, what
    // was seen so far).
    std::function<bool(std::string& detail)> check;
    // What the front end does when the step's turn comes (press a key, say); may be empty.
    std::function<void()> begin;
};

class SelfTestRun {
public:
    // `reportFile`: where the report is also written at the end; empty for none.
    explicit SelfTestRun(std::string reportFile);

    // A line before the steps (the engine and its version).
    void Header(const std::string& line);
    void Add(SelfTestStep step);
    // Looks at the current step (and those after it that already hold); false once the run
    // is over.
    bool Poll();
    // The current step fails now, for `why` (a message box the launcher wanted to show).
    void Fail(const std::string& why);
    bool Over() const { return m_next >= m_steps.size() || m_bFailed; }
    // Writes the summary (and the file); 0 when every step passed, 1 when one did not.
    int Finish();

private:
    void Line(const std::string& text);
    // Passes the steps that hold, in order; what the first that does not has seen so far.
    std::string Advance();
    long long Since(std::chrono::steady_clock::time_point from) const;
    void FailCurrent(const std::string& why);

    std::string m_strFile;
    std::string m_strText;
    std::vector<SelfTestStep> m_steps;
    std::size_t m_next = 0;
    bool m_bBegun = false;
    bool m_bFailed = false;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_stepStart;
};

}  // namespace tavrin
