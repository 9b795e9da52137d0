#pragma once
#include <QString>
#include <QStringList>

struct sqlite3;

// The suggestions received, one row each, in an SQLite file readable by its
// owner only.
class MessageStore {
public:
    explicit MessageStore(QString path);
    ~MessageStore();
    MessageStore(const MessageStore&) = delete;
    MessageStore& operator=(const MessageStore&) = delete;

    // False when the message could not be stored.
    bool store(const QString& message, const QString& peer);
    // Every stored message, oldest first (for tests and for the vendor).
    static QStringList messages(const QString& path);

private:
    bool open();

    QString m_path;
    sqlite3* m_db = nullptr;
};
