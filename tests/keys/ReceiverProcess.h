#pragma once
// Drives kr_key_receiver (KeyReceiver.cpp) from a test or a benchmark: starts
// the login form, gives it the keyboard focus, and reads what it received.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <optional>

namespace kr::test {

struct Received {
    QString user;
    QString password;
};

class ReceiverProcess {
public:
    // dir: a private folder (mode 0700) for the output and XDG_RUNTIME_DIR.
    ReceiverProcess(QString program, QString dir)
        : m_program(std::move(program)), m_dir(std::move(dir)) {}
    ~ReceiverProcess() { kill(); }
    ReceiverProcess(const ReceiverProcess&) = delete;
    ReceiverProcess& operator=(const ReceiverProcess&) = delete;

    // Returns once the form is on screen and has the keyboard focus.
    bool start() {
        static int count = 0;
        ++count;
        m_out = m_dir + QStringLiteral("/received-%1.json").arg(count);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(m_program, {m_out, QStringLiteral("kr receiver %1").arg(count)});

        QByteArray window;
        bool active = false;
        while (window.isEmpty()) {
            const QByteArray line = readLine();
            if (line.isEmpty())
                return false;
            if (line == "active")
                active = true;
            else if (line.startsWith("window "))
                window = line.mid(7);
        }
        // No window manager under Xvfb: hand the focus over directly.
        if (QProcess::execute(QStringLiteral("xdotool"),
                              {QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                               QString::fromLatin1(window)}) != 0)
            return false;
        return active || readLine() == "active";
    }

    // Waits until Enter arrived in the password field and the form wrote its file.
    bool waitDone() { return readLine() == "done"; }

    // What the form received; nothing when it never got its Enter.
    std::optional<Received> result() {
        if (!m_process.waitForFinished(20000))
            return std::nullopt;
        QFile file(m_out);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        return Received{o.value(QStringLiteral("user")).toString(),
                        o.value(QStringLiteral("password")).toString()};
    }

    void kill() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QByteArray readLine() {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(20000))
                return QByteArray();
        }
        return m_process.readLine().trimmed();
    }

    QString m_program;
    QString m_dir;
    QString m_out;
    QProcess m_process;
};

} // namespace kr::test
