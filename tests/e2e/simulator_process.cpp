#include "simulator_process.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

namespace {

constexpr int kStartDeadlineMs = 10000;
constexpr int kControlDeadlineMs = 5000;

bool exists(const QString& path) {
    // The link itself, not its target: a terminal left behind by a hung-up modem is gone.
    return QFileInfo(path).isSymLink() || QFileInfo::exists(path);
}

bool isCompleteReply(const QByteArray& reply) {
    const qsizetype lastLine = reply.lastIndexOf('\n', -2) + 1;
    return reply.endsWith('\n') &&
           (reply.endsWith("OK\n") || reply.mid(lastLine).startsWith("ERROR: "));
}

} // namespace

SimulatorProcess::SimulatorProcess(const QString& scenarioFile, const QString& linkPath)
    : m_controlPath(linkPath + QStringLiteral(".ctl")) {
    m_process.setProgram(QStringLiteral(MODEMSIM_PROGRAM));
    m_process.setArguments({QStringLiteral("--scenario"), scenarioFile, QStringLiteral("--link"),
                            linkPath, QStringLiteral("--control"), m_controlPath});
    m_process.start();
    if (!m_process.waitForStarted(kStartDeadlineMs)) {
        return;
    }
    const QDeadlineTimer deadline(kStartDeadlineMs);
    while (!(exists(linkPath) && exists(m_controlPath))) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            return;
        }
        QThread::msleep(10);
    }
    m_running = true;
}

SimulatorProcess::~SimulatorProcess() {
    stop();
}

bool SimulatorProcess::stop() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(kStartDeadlineMs)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QString SimulatorProcess::errorOutput() {
    return QString::fromUtf8(m_process.readAllStandardError());
}

QString SimulatorProcess::control(const QString& line) const {
    QLocalSocket socket;
    socket.connectToServer(m_controlPath);
    if (!socket.waitForConnected(kControlDeadlineMs)) {
        return {};
    }
    socket.write(line.toUtf8() + '\n');
    QByteArray reply;
    const QDeadlineTimer deadline(kControlDeadlineMs);
    while (!isCompleteReply(reply)) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return {};
        }
        reply += socket.readAll();
    }
    return QString::fromUtf8(reply);
}

int SimulatorProcess::counter(const QString& name) const {
    const QString prefix = name + QLatin1Char(' ');
    for (const QString& line : control(QStringLiteral("status")).split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix)) {
            return line.mid(prefix.size()).toInt();
        }
    }
    return -1;
}
