#pragma once
// keyrovia-companion as a browser starts it: our extension's origin as its
// argument, frames on its standard input, its replies read back as frames.
#include "platform/pageaddress/CompanionProtocol.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <vector>

namespace kr::test {

struct CompanionHost {
    // The runtime folder it puts its socket in, and further environment.
    explicit CompanionHost(const QString& runtimeDir, const QList<QPair<QString, QString>>& env = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtimeDir);
        for (const auto& [name, value] : env)
            environment.insert(name, value);
        process.setProcessEnvironment(environment);
        process.start(KEYROVIA_COMPANION,
                      {QString("chrome-extension://%1/").arg(companion::kChromiumExtensionId)});
        process.waitForStarted();
        socket = runtimeDir + "/keyrovia/" + companion::socketFileName(process.processId());
    }
    ~CompanionHost()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished();
    }
    bool waitForSocket()
    {
        return QTest::qWaitFor([this] { return QFile::exists(socket); }, 5000);
    }
    void send(const QByteArray& json)
    {
        process.write(companion::encodeFrame(json));
        // Each wait writes one chunk; there is no event loop to do the rest.
        while (process.bytesToWrite() > 0 && process.waitForBytesWritten(5000)) {
        }
    }
    // The next reply, or an empty object when none comes in time.
    QJsonObject next(int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (replies.empty() && timer.elapsed() < timeoutMs) {
            process.waitForReadyRead(100);
            decoder.feed(process.readAllStandardOutput());
            replies = decoder.takeFrames();
        }
        if (replies.empty())
            return {};
        const QByteArray frame = replies.front();
        replies.erase(replies.begin());
        return QJsonDocument::fromJson(frame).object();
    }
    QJsonObject ask(const QByteArray& json)
    {
        send(json);
        return next();
    }

    QProcess process;
    QString socket;
    companion::FrameDecoder decoder;
    std::vector<QByteArray> replies;
};

} // namespace kr::test
