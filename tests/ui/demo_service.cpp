#include "demo_service.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

namespace tavrin::test {

DemoService::DemoService() {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    const QString script = QStringLiteral(TAVRIN_SOURCE_DIR "/tools/demo-site/serve.sh");
    m_process.start(QStringLiteral("bash"), {script, QStringLiteral("0"), m_run.path()});
    // It starts in about a second; on a busy machine (two test lanes, a build beside them) it
    // has taken over ten, most of them silent.
    const QDeadlineTimer deadline(60000);
    QByteArray output;
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        if (!m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            continue;
        }
        output += m_process.readAll();
        const int at = output.indexOf("ready ");
        const int end = output.indexOf('\n', at);
        if (at >= 0 && end > at) {
            m_origin = output.mid(at + 6, end - at - 6).trimmed().toStdString();
            break;
        }
    }
}

int DemoService::CountRequests(const std::string& text) const {
    QFile log(m_run.filePath(QStringLiteral("access.log")));
    if (!log.open(QIODevice::ReadOnly)) {
        return 0;
    }
    int count = 0;
    for (const QByteArray& line : log.readAll().split('\n')) {
        count += line.contains(text.c_str()) ? 1 : 0;
    }
    return count;
}

DemoService::~DemoService() {
    // serve.sh stops nginx when it is told to end.
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

}  // namespace tavrin::test
