#include "platform/pageaddress/CompanionProtocol.h"
#include "platform/pageaddress/PageReply.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace kr::companion {

void FrameDecoder::feed(const char* data, qsizetype size)
{
    qsizetype pos = 0;
    while (pos < size) {
        if (!m_inBody) {
            const qsizetype take = std::min<qsizetype>(4 - m_headerFill, size - pos);
            std::memcpy(m_header + m_headerFill, data + pos, size_t(take));
            m_headerFill += int(take);
            pos += take;
            if (m_headerFill < 4) {
                return;
            }
            m_headerFill = 0;
            quint32 length = 0;
            std::memcpy(&length, m_header, 4); // native byte order
            m_skipping = length > kMaxFrameBytes;
            if (m_skipping) {
                ++m_skipped;
            } else {
                m_body.clear();
                m_body.reserve(qsizetype(length));
            }
            m_bodyLeft = length;
            m_inBody = true;
        }
        const qsizetype take = std::min<qsizetype>(qsizetype(m_bodyLeft), size - pos);
        if (!m_skipping) {
            m_body.append(data + pos, take);
        }
        pos += take;
        m_bodyLeft -= quint32(take);
        if (m_bodyLeft == 0) {
            if (!m_skipping) {
                m_frames.push_back(std::exchange(m_body, QByteArray()));
            }
            m_inBody = false;
            m_skipping = false;
        }
    }
}

std::vector<QByteArray> FrameDecoder::takeFrames()
{
    return std::exchange(m_frames, {});
}

QByteArray encodeFrame(const QByteArray& json)
{
    const auto length = quint32(json.size());
    QByteArray frame(4, '\0');
    std::memcpy(frame.data(), &length, 4);
    return frame + json;
}

std::optional<PageState> parseBrowserMessage(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = doc.object();
    const QJsonValue url = object.value(QLatin1String("url"));
    if (!url.isString()) {
        return std::nullopt;
    }
    PageState state;
    if (url.toString().isEmpty()) {
        state.kind = PageState::NoPage;
        return state;
    }
    // The host keeps only what the program uses: no path, query, fragment or title.
    state.url = page::cleanAddress(page::siteOrigin(url.toString()));
    state.kind = PageState::Page;
    state.titleOnly = object.value(QLatin1String("titleOnly")).toBool();
    return state;
}

static QLatin1String stateName(PageState::Kind kind)
{
    switch (kind) {
    case PageState::Page:
        return QLatin1String("page");
    case PageState::NoPage:
        return QLatin1String("none");
    case PageState::Unknown:
        break;
    }
    return QLatin1String("unknown");
}

QByteArray encodeAnswer(const Answer& answer)
{
    QJsonObject object;
    object.insert(QLatin1String("v"), 1);
    const PageState::Kind kind = answer.ageMs < 0 ? PageState::Unknown : answer.page.kind;
    object.insert(QLatin1String("state"), stateName(kind));
    if (kind != PageState::Unknown) {
        object.insert(QLatin1String("age_ms"), double(answer.ageMs));
    }
    if (kind == PageState::Page) {
        object.insert(QLatin1String("url"), page::cleanAddress(page::siteOrigin(answer.page.url)));
        object.insert(QLatin1String("title"), QString());
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<Answer> parseAnswer(const QByteArray& line)
{
    if (line.size() > kMaxAnswerBytes) {
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = doc.object();
    if (object.value(QLatin1String("v")).toInt() != 1) {
        return std::nullopt;
    }
    const QString state = object.value(QLatin1String("state")).toString();
    Answer answer;
    if (state == QLatin1String("unknown")) {
        return answer;
    }
    // Checked before the conversion: a double beyond 2^53 (or 1e300) has no
    // exact qint64, and converting one out of range is undefined.
    constexpr double kMaxAgeMs = 9007199254740992.0; // 2^53
    const QJsonValue age = object.value(QLatin1String("age_ms"));
    if (!age.isDouble() || !(age.toDouble() >= 0 && age.toDouble() <= kMaxAgeMs)) {
        return std::nullopt;
    }
    answer.ageMs = qint64(age.toDouble());
    if (state == QLatin1String("none")) {
        answer.page.kind = PageState::NoPage;
        return answer;
    }
    const QJsonValue url = object.value(QLatin1String("url"));
    const QJsonValue title = object.value(QLatin1String("title"));
    if (state != QLatin1String("page") || !url.isString() || url.toString().isEmpty() || !title.isString()) {
        return std::nullopt;
    }
    answer.page.kind = PageState::Page;
    answer.page.url = page::cleanAddress(url.toString());
    answer.page.title = page::cleanTitle(title.toString());
    return answer;
}

QString socketDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime)) {
        return QString();
    }
    return QDir::cleanPath(runtime) + QLatin1String("/keyrovia");
}

QString socketFileName(qint64 pid)
{
    return QStringLiteral("companion-%1.sock").arg(pid);
}

bool isSocketFileName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^companion-[0-9]{1,10}\\.sock$"));
    return pattern.match(name).hasMatch();
}

bool isPrivateDirectory(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

bool fitsSocketAddress(const QString& path)
{
    return QFile::encodeName(path).size() < qsizetype(sizeof(sockaddr_un::sun_path));
}

} // namespace kr::companion
