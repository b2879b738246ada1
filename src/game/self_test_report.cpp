#include "game/self_test_report.h"

#include <utility>

#include "platform/file_output.h"

namespace tavrin {

SelfTestRun::SelfTestRun(std::string reportFile) : m_strFile(std::move(reportFile)) {}

void SelfTestRun::Header(const std::string& line) {
    Line(line);
}

void SelfTestRun::Add(SelfTestStep step) {
    m_steps.push_back(std::move(step));
}

long long SelfTestRun::Since(std::chrono::steady_clock::time_point from) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 from)
        .count();
}

void SelfTestRun::Line(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    m_strText += text + "\n";
}

std::string SelfTestRun::Advance() {
    std::string detail;
    while (!Over()) {
        SelfTestStep& step = m_steps[m_next];
        if (!m_bBegun) {
            m_bBegun = true;
            m_stepStart = std::chrono::steady_clock::now();
            if (step.begin) {
                step.begin();
            }
        }
        detail.clear();
        if (!step.check || !step.check(detail)) {
            break;
        }
        Line("pass  " + std::to_string(Since(m_start)) + " ms  " + step.name +
             (detail.empty() ? "" : "  (" + detail + ")"));
        ++m_next;
        m_bBegun = false;
    }
    return detail;
}

bool SelfTestRun::Poll() {
    const std::string detail = Advance();
    if (!Over() && Since(m_stepStart) > m_steps[m_next].seconds * 1000LL) {
        FailCurrent("not within " + std::to_string(m_steps[m_next].seconds) + " s" +
                    (detail.empty() ? "" : ": " + detail));
    }
    return !Over();
}

void SelfTestRun::Fail(const std::string& why) {
    std::string line = why;
    for (char& c : line) {
        c = c == '\n' ? ' ' : c;
    }
    if (m_steps.empty()) {
        // Before the road could start at all.
        Line("FAIL  " + std::to_string(Since(m_start)) + " ms  " + line);
        m_bFailed = true;
        return;
    }
    // What already holds counts first: the failure belongs to the step it stopped.
    Advance();
    if (!Over()) {
        FailCurrent(line);
    }
}

void SelfTestRun::FailCurrent(const std::string& why) {
    Line("FAIL  " + std::to_string(Since(m_start)) + " ms  " + m_steps[m_next].name + "  (" + why +
         ")");
    m_bFailed = true;
    for (std::size_t i = m_next + 1; i < m_steps.size(); ++i) {
        Line("--    not reached  " + m_steps[i].name);
    }
}

int SelfTestRun::Finish() {
    const bool passed = !m_bFailed && m_next >= m_steps.size();
    Line(passed ? "result=passed" : "result=failed");
    platform::OutputFile file;
    if (!m_strFile.empty() && !(file.Create(m_strFile, false, 0) &&
                                file.Write(m_strText.data(), m_strText.size()) && file.Close())) {
        std::fprintf(stderr, "tavrin: the report could not be written to %s\n", m_strFile.c_str());
    }
    return passed ? 0 : 1;
}

}  // namespace tavrin
