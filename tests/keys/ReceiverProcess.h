#pragma once
// Drives kr_key_receiver (KeyReceiver.cpp) from a test or a benchmark: starts
// the login form, gives it the keyboard focus, and reads what it received.
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
    // dir: a private folder (mode 0700), the form's XDG_RUNTIME_DIR.
    ReceiverProcess(const QString& program, const QString& dir) : m_program(program)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~ReceiverProcess()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Returns once the form, titled "kr receiver <n>", is on screen and has the
    // keyboard focus (no window manager under Xvfb: it is handed over directly).
    bool start()
    {
        static int count = 0;
        const QString title = QStringLiteral("kr receiver %1").arg(++count);
        m_process.start(m_program, {title});
        const QStringList focus{"20",     "xdotool",         "search",      "--sync", "--onlyvisible",
                                "--name", '^' + title + '$', "windowfocus", "--sync"};
        return QProcess::execute(QStringLiteral("timeout"), focus) == 0;
    }

    // Waits until Enter arrived in the password field.
    bool waitDone()
    {
        while (m_done.isEmpty() && !m_process.canReadLine() && m_process.waitForReadyRead(20000))
            continue;
        if (m_done.isEmpty())
            m_done = m_process.readLine().trimmed();
        return m_done.startsWith("done ");
    }

    // What the form received; nothing when it never got its Enter.
    std::optional<Received> result()
    {
        if (!waitDone())
            return std::nullopt;
        const QJsonObject o = QJsonDocument::fromJson(m_done.mid(5)).object();
        return Received{o.value("user").toString(), o.value("password").toString()};
    }

private:
    QString m_program;
    QByteArray m_done;
    QProcess m_process;
};

} // namespace kr::test
