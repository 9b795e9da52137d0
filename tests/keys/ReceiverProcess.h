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
    ReceiverProcess(QString program, QString dir) : m_program(std::move(program)), m_dir(std::move(dir)) {}
    ~ReceiverProcess() { kill(); }

    // Returns once the form is on screen and has the keyboard focus.
    bool start()
    {
        static int count = 0;
        m_out = m_dir + QStringLiteral("/received-%1.json").arg(++count);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(m_program, {m_out, QStringLiteral("kr receiver %1").arg(count)});
        QByteArray line;
        bool active = false;
        while (!(line = readLine()).startsWith("window ")) {
            if (line.isEmpty())
                return false;
            active = active || line == "active";
        }
        // No window manager under Xvfb: hand the focus over directly.
        const QStringList focus{"windowfocus", "--sync", QString::fromLatin1(line.mid(7))};
        if (QProcess::execute(QStringLiteral("xdotool"), focus) != 0)
            return false;
        return active || readLine() == "active";
    }

    // Waits until Enter arrived in the password field and the form wrote its file.
    bool waitDone() { return readLine() == "done"; }

    // What the form received; nothing when it never got its Enter.
    std::optional<Received> result()
    {
        QFile file(m_out);
        if (!m_process.waitForFinished(20000) || !file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        return Received{o.value("user").toString(), o.value("password").toString()};
    }

    void kill()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QByteArray readLine()
    {
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(20000))
                return QByteArray();
        return m_process.readLine().trimmed();
    }

    QString m_program;
    QString m_dir;
    QString m_out;
    QProcess m_process;
};

} // namespace kr::test
