#pragma once
// What keyrovia-companion and the program share: the browser's native
// messaging frames, the one-line exchange over the companion's local socket,
// and where that socket lives.
//
// The browser side: a 32-bit length in native byte order, then that many bytes
// of UTF-8 JSON. The extension sends {"url": ..., "title": ...} of the active
// tab of the window that had the focus last; an empty url means no page.
// {"url": ..., "title": ..., "titleOnly": true} is the same page with a new
// title: no sign of the user's activity (pages change titles by themselves).
//
// The socket side: the program connects to
// $XDG_RUNTIME_DIR/keyrovia/companion-<pid>.sock (one per running host, that is
// one per browser profile), writes kRequestLine and reads one JSON line back:
//   {"v":1,"state":"page","url":...,"title":...,"age_ms":N}
//   {"v":1,"state":"none","age_ms":N}   the browser said it shows no page
//   {"v":1,"state":"unknown"}           the browser has said nothing yet
// age_ms is the time since the browser last reported a page (title-only
// messages do not count); with several hosts running, the one with the
// freshest report speaks for "the browser".
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace kr::companion {

inline constexpr char kHostName[] = "com.keyrovia.companion";
// Derived from the "key" of the Chromium extension's manifest, the public half of
// resources/browser-extension/chromium/keyrovia-extension.pem, which packs its .crx.
inline constexpr char kChromiumExtensionId[] = "npehdijbbiaadgjgbdhookfjjefgopoi";
inline constexpr char kFirefoxExtensionId[] = "companion@keyrovia.quillmark.example";

// Browsers never send more to a host in practice; bigger frames are skipped.
inline constexpr quint32 kMaxFrameBytes = 1024 * 1024;

inline constexpr char kRequestLine[] = "KEYROVIA-PAGE 1\n";
inline constexpr qsizetype kMaxRequestBytes = 64;
// An answer holds at most kMaxAddressChars + kMaxTitleChars characters, each of
// which JSON writes in at most 6 bytes.
inline constexpr qsizetype kMaxAnswerBytes = qsizetype{128} * 1024;

// Cuts the browser's byte stream into frames. Frames longer than
// kMaxFrameBytes are skipped without being kept in memory; the stream stays in
// step because their length is known.
class FrameDecoder {
public:
    void feed(const char* data, qsizetype size);
    void feed(const QByteArray& bytes) { feed(bytes.constData(), bytes.size()); }
    // The complete frames since the last call, oldest first.
    std::vector<QByteArray> takeFrames();
    int skippedFrames() const { return m_skipped; }

private:
    char m_header[4] = {};
    int m_headerFill = 0;
    quint32 m_bodyLeft = 0;
    bool m_inBody = false;
    bool m_skipping = false;
    QByteArray m_body;
    std::vector<QByteArray> m_frames;
    int m_skipped = 0;
};

QByteArray encodeFrame(const QByteArray& json);

struct PageState {
    enum Kind { Unknown, NoPage, Page };
    Kind kind = Unknown;
    QString url;            // credentials stripped, bounded
    QString title;          // bounded
    bool titleOnly = false; // a browser message that only renews the title
};

// The page of one browser message; std::nullopt for anything that is not a
// JSON object with a string "url" (such frames are ignored).
std::optional<PageState> parseBrowserMessage(const QByteArray& json);

struct Answer {
    PageState page;
    qint64 ageMs = -1; // -1 when the browser has said nothing yet
};

// One line, ending in "\n".
QByteArray encodeAnswer(const Answer& answer);
// std::nullopt for anything malformed.
std::optional<Answer> parseAnswer(const QByteArray& line);

// $XDG_RUNTIME_DIR/keyrovia, or an empty text when XDG_RUNTIME_DIR is unset or
// not absolute: without a private runtime folder there is no safe place for
// the socket, and the browser simply does not answer.
QString socketDirectory();
QString socketFileName(qint64 pid);
bool isSocketFileName(const QString& name);

// A directory (not a link) owned by this user that nobody else may enter.
bool isPrivateDirectory(const QString& path);

// Room in sockaddr_un::sun_path, terminating zero included.
bool fitsSocketAddress(const QString& path);

} // namespace kr::companion
