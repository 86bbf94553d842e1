#pragma once

#include <QProcess>
#include <QString>

// The modemsim program running as a process of its own, as an operator runs it: its terminal
// published as a symlink, its control socket beside it. Stopped (SIGTERM, which also removes the
// link) when the object goes.
class SimulatorProcess {
public:
    // Starts `modemsim --scenario scenarioFile --link linkPath --control linkPath.ctl` and waits
    // until the link and the control socket exist; isRunning() says whether that happened.
    SimulatorProcess(const QString& scenarioFile, const QString& linkPath);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    bool isRunning() const { return m_running; }
    // Stops the program as Ctrl-C would (SIGTERM); whether it then exited cleanly (status 0, so
    // also no sanitizer report). Later calls repeat the answer.
    bool stop();
    // What the program wrote to stderr so far, for failure messages.
    QString errorOutput();

    // One line of the control language; the reply, ending in "OK\n" or "ERROR: <reason>\n"
    // (empty when the socket could not be reached or did not answer).
    QString control(const QString& line) const;
    // The value of one counter of the `status` reply (e.g. "send_attempts"); -1 if absent.
    int counter(const QString& name) const;

private:
    QProcess m_process;
    QString m_controlPath;
    bool m_running = false;
};
