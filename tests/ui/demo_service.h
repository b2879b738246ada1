// The demo operator service (nginx serving tools/demo-site) for tests of the whole road.
#pragma once

#include <string>

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tavrin::test {

class DemoService {
public:
    // Starts the service on a free loopback port; Origin() is empty when it did not start.
    DemoService();
    ~DemoService();
    DemoService(const DemoService&) = delete;
    DemoService& operator=(const DemoService&) = delete;

    const std::string& Origin() const { return m_origin; }
    // How many requests the service has logged whose line contains `text`.
    int CountRequests(const std::string& text) const;
    std::string Url(const std::string& path) const { return m_origin + path; }

private:
    QTemporaryDir m_run;
    QProcess m_process;
    std::string m_origin;
};

}  // namespace tavrin::test
