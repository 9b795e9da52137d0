#pragma once
// Debian's Chromium, headless, with the extension loaded and the companion
// host installed into a fresh profile. The DevTools endpoint only drives the
// browser (opens tabs, lists targets); every host name resolves to 127.0.0.1.
#include "TestKit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace kr::test {

class ChromiumSession {
public:
    static QString executable() { return QStandardPaths::findExecutable("chromium"); }

    // home, runtime (a 0700 folder) and profile must exist.
    ChromiumSession(const QString& home, const QString& runtime, const QString& profile)
        : m_profile(profile), m_env(QProcessEnvironment::systemEnvironment())
    {
        m_env.insert("HOME", home);
        m_env.insert("XDG_RUNTIME_DIR", runtime);
        m_env.remove("XDG_CONFIG_HOME");
    }
    ~ChromiumSession() { stop(); }

    // Installs the host for the profile, starts the browser and waits for its
    // DevTools port. False when any step fails.
    bool start(const QString& companion, const QString& extensionDir)
    {
        QProcess install;
        install.setProcessEnvironment(m_env);
        install.start(companion, {"--install", "--user-data-dir", m_profile});
        if (!install.waitForFinished(10000) || install.exitCode() != 0)
            return false;
        m_browser.setProcessEnvironment(m_env);
        m_browser.setStandardOutputFile(QProcess::nullDevice());
        m_browser.setStandardErrorFile(QProcess::nullDevice());
        m_browser.start(executable(),
                        {"--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                         "--no-first-run", "--disable-background-networking", "--disable-component-update",
                         "--disable-sync", "--user-data-dir=" + m_profile,
                         "--load-extension=" + extensionDir + "/chromium",
                         "--host-resolver-rules=MAP * 127.0.0.1", "--remote-debugging-port=0"});
        // With port 0 Chromium picks one and writes it into the profile.
        const QString portFile = m_profile + "/DevToolsActivePort";
        return QTest::qWaitFor(
            [&] { return (m_devTools = quint16(fileBytes(portFile).split('\n')[0].toUInt())) != 0; }, 60000);
    }

    quint16 devToolsPort() const { return m_devTools; }

    // DevTools "open a tab": PUT /json/new?<address>.
    bool openTab(const QString& address) const { return !http("PUT", "/json/new?" + address).isEmpty(); }

    // The DevTools targets: GET /json/list.
    QJsonArray targets() const { return QJsonDocument::fromJson(http("GET", "/json/list")).array(); }

    // Closes the browser the way a user does; false when it did not go.
    bool stop()
    {
        m_browser.terminate();
        const bool closed = m_browser.state() == QProcess::NotRunning || m_browser.waitForFinished(30000);
        if (!closed)
            m_browser.kill(), m_browser.waitForFinished();
        return closed;
    }

private:
    // The body of the answer to one request on the DevTools port; empty when it failed.
    QByteArray http(const QByteArray& verb, const QString& target) const
    {
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        QNetworkRequest request(QUrl(QString("http://127.0.0.1:%1").arg(m_devTools) + target));
        const std::unique_ptr<QNetworkReply> reply(manager.sendCustomRequest(request, verb));
        const bool finished = QTest::qWaitFor([&] { return reply->isFinished(); }, 10000);
        return finished && reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    }

    QString m_profile;
    QProcessEnvironment m_env;
    QProcess m_browser;
    quint16 m_devTools = 0;
};

} // namespace kr::test
