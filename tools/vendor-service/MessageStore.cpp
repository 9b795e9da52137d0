#include "MessageStore.h"

#include <QDateTime>
#include <QFile>
#include <sqlcipher/sqlite3.h>

MessageStore::MessageStore(QString path) : m_path(std::move(path)) {}

MessageStore::~MessageStore()
{
    if (m_db)
        sqlite3_close(m_db);
}

bool MessageStore::open()
{
    if (m_db)
        return true;
    const QByteArray file = QFile::encodeName(m_path);
    if (sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    const char* schema = "CREATE TABLE IF NOT EXISTS suggestion ("
                         " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                         " received TEXT NOT NULL,"
                         " peer TEXT NOT NULL,"
                         " message TEXT NOT NULL)";
    if (sqlite3_exec(m_db, schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool MessageStore::store(const QString& message, const QString& peer)
{
    if (!open())
        return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "INSERT INTO suggestion (received, peer, message) VALUES (?, ?, ?)", -1, &st,
                           nullptr) != SQLITE_OK)
        return false;
    const QByteArray when = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8();
    const QByteArray from = peer.toUtf8();
    const QByteArray text = message.toUtf8();
    sqlite3_bind_text(st, 1, when.constData(), static_cast<int>(when.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, from.constData(), static_cast<int>(from.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    const bool done = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    return done;
}

QStringList MessageStore::messages(const QString& path)
{
    QStringList out;
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(path);
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return out;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT message FROM suggestion ORDER BY id", -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            const int size = sqlite3_column_bytes(st, 0);
            out.append(QString::fromUtf8(text, size));
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}
