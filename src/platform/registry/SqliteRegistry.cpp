#include "platform/registry/SqliteRegistry.h"

// SQLCipher's library is the program's SQLite (the system one must not be
// linked beside it); these files carry no key and are plain SQLite files.
#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kr {
namespace {

constexpr int ApplicationId = 0x4B524547; // "KREG": marks a file as ours
constexpr RegKey FirstHandle = 0x100;
constexpr quint32 AllAccess = 0x3F;
constexpr int MaxValueNameChars = 16383;

const char Schema[] = "CREATE TABLE IF NOT EXISTS keys("
                      " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                      " path TEXT NOT NULL,"          // as first written, backslash separated
                      " folded TEXT NOT NULL UNIQUE," // upper case: names compare without regard to case
                      " parent TEXT NOT NULL,"        // folded path of the parent, '' under the root
                      " class TEXT NOT NULL DEFAULT '');"
                      "CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, folded);"
                      "CREATE TABLE IF NOT EXISTS vals("
                      " id INTEGER PRIMARY KEY AUTOINCREMENT," // enumeration order
                      " key INTEGER NOT NULL,"
                      " name TEXT NOT NULL,"
                      " folded TEXT NOT NULL,"
                      " type INTEGER NOT NULL,"
                      " data BLOB NOT NULL,"
                      " UNIQUE(key, folded));"
                      "PRAGMA application_id = 1263682887;";

constexpr std::array<std::pair<RegKey, const char*>, 4> Roots = {{
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
}};

bool isRoot(RegKey key)
{
    return std::ranges::any_of(Roots, [key](const auto& entry) { return entry.first == key; });
}

QString folded(const QString& name)
{
    return name.toUpper();
}

long statusOf(int rc, bool writing)
{
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return RegOk;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return RegBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
        return RegBadDb;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return RegAccessDenied;
    default:
        return writing ? RegCantWrite : RegCantRead;
    }
}

long errnoStatus(int error, bool writing)
{
    if (error == EACCES || error == EPERM || error == EROFS)
        return RegAccessDenied;
    return writing ? RegCantWrite : RegCantRead;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : m_db(db)
    {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // A store that has never been written has no tables yet: it reads as empty.
    bool tablesMissing() const
    {
        return m_rc == SQLITE_ERROR && qstrncmp(sqlite3_errmsg(m_db), "no such table", 13) == 0;
    }
    int rc() const { return m_rc; }
    Statement& bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, qint64 number)
    {
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_int64(m_stmt, index, number);
        return *this;
    }
    Statement& bindBlob(int index, const QByteArray& bytes)
    {
        // constData() is never null, so empty data is a zero-length blob, not NULL.
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_blob(m_stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step()
    {
        if (m_rc == SQLITE_OK || m_rc == SQLITE_ROW)
            m_rc = sqlite3_step(m_stmt);
        return m_rc;
    }
    QString text(int column) const
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                                 sqlite3_column_bytes(m_stmt, column));
    }
    QByteArray blob(int column) const
    {
        const void* data = sqlite3_column_blob(m_stmt, column);
        return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(m_stmt, column));
    }
    qint64 number(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc;
};

struct ValueItem {
    QString name;
    quint32 type = 0;
    QByteArray data;
};

// What an enumeration read last, kept while nobody has written the file since.
template <typename T> struct Snapshot {
    bool valid = false;
    quint64 generation = 0;
    qint64 dataVersion = 0;
    std::vector<T> items;
};

struct Handle {
    RegKey root = 0;
    qint64 id = 0; // 0: the root itself
    QString path;  // as stored; empty for the root
    quint32 access = AllAccess;
    Snapshot<QString> children;
    Snapshot<ValueItem> values;
};

// Splits a relative key path; false when a segment is empty or too long.
bool splitPath(const QString& subKey, QStringList& segments)
{
    segments.clear();
    if (subKey.isEmpty())
        return true;
    segments = subKey.split(QLatin1Char('\\'));
    return std::ranges::all_of(
        segments, [](const QString& s) { return !s.isEmpty() && s.size() <= RegMaxKeyNameChars; });
}

QString joinPath(const QString& base, const QString& name)
{
    return base.isEmpty() ? name : base + QLatin1Char('\\') + name;
}

QString lastSegment(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1);
}

bool fits(const QString& name, int capacity)
{
    return name.toLocal8Bit().size() < capacity;
}

} // namespace

struct SqliteRegistry::Impl {
    // One root's file and the connection to it.
    struct Store {
        QString file;
        sqlite3* db = nullptr;
        bool readOnly = false;
        dev_t device = 0;
        ino_t inode = 0;
        quint64 generation = 0; // changes at every (re)open and every commit of ours
        Handle rootHandle;

        void close()
        {
            sqlite3_close_v2(db);
            db = nullptr;
            ++generation;
        }
    };

    QString folder;
    std::map<RegKey, Store> stores;
    std::map<RegKey, Handle> handles;
    RegKey nextHandle = FirstHandle;

    ~Impl()
    {
        for (auto& [root, store] : stores)
            store.close();
    }

    Store& storeOf(RegKey root)
    {
        auto it = stores.find(root);
        if (it == stores.end()) {
            Store store;
            store.file = QDir(folder).filePath(SqliteRegistry::rootName(root) + QLatin1String(".sqlite"));
            store.rootHandle.root = root;
            it = stores.emplace(root, std::move(store)).first;
        }
        return it->second;
    }

    long resolve(RegKey key, Handle*& handle)
    {
        if (isRoot(key)) {
            handle = &storeOf(key).rootHandle;
            return RegOk;
        }
        const auto it = handles.find(key);
        if (it == handles.end())
            return RegInvalidHandle;
        handle = &it->second;
        return RegOk;
    }

    // The folder as it stands: RegOk for a real folder or none at all,
    // RegSymbolicLink for a link (never followed: a link to another folder of
    // the user must not become ours).
    long checkFolder() const
    {
        struct stat info {};
        if (::lstat(QFile::encodeName(QDir::cleanPath(folder)).constData(), &info) == 0 &&
            S_ISLNK(info.st_mode))
            return RegSymbolicLink;
        return RegOk;
    }

    long makeFolder() const
    {
        // Only this user may look into it; the parents are made the same way
        // when missing ($XDG_CONFIG_HOME itself may not exist yet). A folder
        // that was there already keeps its mode: it is not ours to change.
        const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
        for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
            const QByteArray part = slash < 0 ? path : path.left(slash);
            if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
                return errnoStatus(errno, true);
            if (slash < 0)
                break;
        }
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0)
            return errnoStatus(errno, true);
        if (S_ISLNK(info.st_mode))
            return RegSymbolicLink;
        return S_ISDIR(info.st_mode) ? RegOk : RegCantWrite;
    }

    // Opens the root's file when needed (again when it was replaced). A
    // missing file reads as an empty root: RegFileNotFound for readers, created
    // (0600) for writers.
    long open(Store& store, bool writing)
    {
        const QByteArray file = QFile::encodeName(store.file);
        struct stat info {};
        long status = checkFolder();
        if (status == RegOk && ::lstat(file.constData(), &info) != 0) {
            const int error = errno;
            if (store.db)
                store.close();
            if (error != ENOENT && error != ENOTDIR)
                return errnoStatus(error, writing);
            if (!writing)
                return RegFileNotFound;
            status = makeFolder();
            if (status != RegOk)
                return status;
            // O_EXCL: a link put there meanwhile is not followed either.
            const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST)
                return errnoStatus(errno, true);
            if (fd >= 0)
                ::close(fd);
            if (::lstat(file.constData(), &info) != 0)
                return errnoStatus(errno, true);
        }
        if (status == RegOk && S_ISLNK(info.st_mode))
            status = RegSymbolicLink;
        if (status != RegOk) {
            if (store.db)
                store.close();
            return status;
        }
        if (!S_ISREG(info.st_mode))
            return RegBadDb;
        const bool sameFile = store.db && info.st_dev == store.device && info.st_ino == store.inode;
        if (sameFile && !(writing && store.readOnly))
            return RegOk;
        if (store.db)
            store.close();

        // SQLite falls back to reading only when the file is write-protected.
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close_v2(db);
            return statusOf(rc, writing);
        }
        const bool readOnly = sqlite3_db_readonly(db, "main") == 1;
        sqlite3_busy_timeout(db, BusyTimeoutMs);
        const long checked = checkOwnership(db);
        if (checked != RegOk) {
            sqlite3_close_v2(db);
            return checked;
        }
        store.db = db;
        store.readOnly = readOnly;
        store.device = info.st_dev;
        store.inode = info.st_ino;
        ++store.generation;
        if (writing && readOnly)
            return RegAccessDenied;
        return RegOk;
    }

    // Ours: marked with our application id, or still empty (never written).
    static long checkOwnership(sqlite3* db)
    {
        Statement id(db, "PRAGMA application_id;");
        if (id.step() != SQLITE_ROW)
            return statusOf(id.rc(), false);
        if (id.number(0) == ApplicationId)
            return RegOk;
        if (id.number(0) != 0)
            return RegBadDb;
        Statement tables(db, "SELECT count(*) FROM sqlite_master;");
        if (tables.step() != SQLITE_ROW)
            return statusOf(tables.rc(), false);
        return tables.number(0) == 0 ? RegOk : RegBadDb;
    }

    static long exec(sqlite3* db, const char* sql, bool writing = true)
    {
        return statusOf(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), writing);
    }

    // Runs change inside one immediate transaction; the tables are made first
    // when the file is new.
    template <typename Change> long write(Store& store, Change&& change)
    {
        long status = open(store, true);
        if (status != RegOk)
            return status;
        status = exec(store.db, "BEGIN IMMEDIATE;");
        if (status != RegOk)
            return status;
        status = exec(store.db, Schema);
        if (status == RegOk)
            status = change(store.db);
        if (status == RegOk)
            status = exec(store.db, "COMMIT;");
        if (status != RegOk && !sqlite3_get_autocommit(store.db))
            exec(store.db, "ROLLBACK;");
        ++store.generation;
        return status;
    }

    static qint64 dataVersion(sqlite3* db)
    {
        Statement version(db, "PRAGMA data_version;");
        return version.step() == SQLITE_ROW ? version.number(0) : -1;
    }

    // The id of the key with that path, 0 when there is none.
    static long findKey(sqlite3* db, const QString& path, qint64& id, QString* storedPath = nullptr)
    {
        id = 0;
        Statement find(db, "SELECT id, path FROM keys WHERE folded = ?1;");
        if (find.tablesMissing())
            return RegFileNotFound;
        find.bind(1, folded(path));
        const int rc = find.step();
        if (rc == SQLITE_DONE)
            return RegFileNotFound;
        if (rc != SQLITE_ROW)
            return statusOf(rc, false);
        id = find.number(0);
        if (storedPath)
            *storedPath = find.text(1);
        return RegOk;
    }

    static long keyAlive(sqlite3* db, const Handle& handle)
    {
        if (handle.id == 0)
            return RegOk;
        Statement alive(db, "SELECT 1 FROM keys WHERE id = ?1;");
        if (alive.tablesMissing())
            return RegKeyDeleted;
        alive.bind(1, handle.id);
        const int rc = alive.step();
        if (rc == SQLITE_ROW)
            return RegOk;
        return rc == SQLITE_DONE ? RegKeyDeleted : statusOf(rc, false);
    }

    RegKey newHandle(Handle handle)
    {
        while (handles.contains(nextHandle) || nextHandle >= HKEY_CLASSES_ROOT)
            nextHandle = nextHandle >= HKEY_CLASSES_ROOT ? FirstHandle : nextHandle + 4;
        const RegKey key = nextHandle;
        nextHandle += 4;
        handles.emplace(key, std::move(handle));
        return key;
    }

    template <typename T, typename Load>
    long snapshot(Store& store, Handle& handle, Snapshot<T>& snap, Load&& load)
    {
        const long status = open(store, false);
        if (status == RegFileNotFound) {
            snap = {};
            return handle.id == 0 ? RegOk : RegKeyDeleted;
        }
        if (status != RegOk)
            return status;
        const qint64 version = dataVersion(store.db);
        if (snap.valid && snap.generation == store.generation && snap.dataVersion == version && version >= 0)
            return RegOk;
        snap = {};
        const long alive = keyAlive(store.db, handle);
        if (alive != RegOk)
            return alive;
        const long loaded = load(store.db, snap.items);
        if (loaded != RegOk)
            return loaded;
        snap.valid = true;
        snap.generation = store.generation;
        snap.dataVersion = version;
        return RegOk;
    }
};

SqliteRegistry::SqliteRegistry(QString folder) : d(std::make_unique<Impl>())
{
    d->folder = std::move(folder);
}

SqliteRegistry::~SqliteRegistry() = default;

QString SqliteRegistry::defaultFolder()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QLatin1String("/.config");
    return QDir::cleanPath(config) + QLatin1String("/keyrovia");
}

QString SqliteRegistry::rootName(RegKey root)
{
    for (const auto& [key, name] : Roots)
        if (key == root)
            return QLatin1String(name);
    return {};
}

QString SqliteRegistry::location() const
{
    return fileOf(HKEY_CURRENT_USER);
}

QString SqliteRegistry::fileOf(RegKey root) const
{
    return d->storeOf(root).file;
}

long SqliteRegistry::createKey(RegKey key, const QString& subKey, const QString& keyClass,
                               quint32 /*options*/, quint32 access, RegKey& result)
{
    result = 0;
    Handle* base = nullptr;
    long status = d->resolve(key, base);
    if (status != RegOk)
        return status;
    QStringList segments;
    if (!splitPath(subKey, segments))
        return RegInvalidParameter;
    if (!segments.isEmpty() && !(base->access & KEY_CREATE_SUB_KEY))
        return RegAccessDenied;
    Impl::Store& store = d->storeOf(base->root);
    Handle created;
    created.root = base->root;
    created.access = access;
    created.id = base->id;
    created.path = base->path;
    status = d->write(store, [&](sqlite3* db) -> long {
        const long alive = Impl::keyAlive(db, *base);
        if (alive != RegOk)
            return alive;
        for (const QString& name : segments) {
            const QString parent = folded(created.path);
            const QString path = joinPath(created.path, name);
            qint64 id = 0;
            QString stored;
            const long found = Impl::findKey(db, path, id, &stored);
            if (found == RegFileNotFound) {
                Statement insert(db, "INSERT INTO keys(path, folded, parent, class) VALUES(?1, ?2, ?3, ?4);");
                insert.bind(1, path).bind(2, folded(path)).bind(3, parent).bind(4, keyClass);
                if (insert.step() != SQLITE_DONE)
                    return statusOf(insert.rc(), true);
                id = sqlite3_last_insert_rowid(db);
                stored = path;
            } else if (found != RegOk) {
                return found;
            }
            created.id = id;
            created.path = stored; // later segments hang under the name as it was first written
        }
        return RegOk;
    });
    if (status != RegOk)
        return status;
    if (created.id == 0) {
        result = base->root; // the root itself, opened again
        return RegOk;
    }
    result = d->newHandle(std::move(created));
    return RegOk;
}

long SqliteRegistry::openKey(RegKey key, const QString& subKey, quint32 access, RegKey& result)
{
    result = 0;
    Handle* base = nullptr;
    long status = d->resolve(key, base);
    if (status != RegOk)
        return status;
    QStringList segments;
    if (!splitPath(subKey, segments))
        return RegInvalidParameter;
    if (segments.isEmpty() && base->id == 0) {
        result = base->root;
        return RegOk;
    }
    Impl::Store& store = d->storeOf(base->root);
    status = d->open(store, false);
    if (status != RegOk)
        return status;
    Handle opened;
    opened.root = base->root;
    opened.access = access;
    if (segments.isEmpty()) {
        status = Impl::keyAlive(store.db, *base);
        opened.id = base->id;
        opened.path = base->path;
    } else {
        status = Impl::findKey(store.db, joinPath(base->path, segments.join(QLatin1Char('\\'))), opened.id,
                               &opened.path);
        if (status == RegOk)
            status = Impl::keyAlive(store.db, *base);
    }
    if (status != RegOk)
        return status;
    result = d->newHandle(std::move(opened));
    return RegOk;
}

long SqliteRegistry::setValue(RegKey key, const QString& valueName, quint32 type, const QByteArray& data)
{
    Handle* handle = nullptr;
    long status = d->resolve(key, handle);
    if (status != RegOk)
        return status;
    if (!(handle->access & KEY_SET_VALUE))
        return RegAccessDenied;
    if (valueName.size() > MaxValueNameChars || data.size() > MaxValueBytes)
        return RegInvalidParameter;
    if (handle->id == 0)
        return RegAccessDenied; // the roots hold keys only
    return d->write(d->storeOf(handle->root), [&](sqlite3* db) -> long {
        const long alive = Impl::keyAlive(db, *handle);
        if (alive != RegOk)
            return alive;
        // A value keeps its place in the enumeration and its name as first written.
        Statement update(db, "UPDATE vals SET type = ?1, data = ?2 WHERE key = ?3 AND folded = ?4;");
        update.bind(1, qint64(type)).bindBlob(2, data).bind(3, handle->id).bind(4, folded(valueName));
        if (update.step() != SQLITE_DONE)
            return statusOf(update.rc(), true);
        if (sqlite3_changes(db) > 0)
            return RegOk;
        Statement insert(db, "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5);");
        insert.bind(1, handle->id)
            .bind(2, valueName)
            .bind(3, folded(valueName))
            .bind(4, qint64(type))
            .bindBlob(5, data);
        return insert.step() == SQLITE_DONE ? RegOk : statusOf(insert.rc(), true);
    });
}

long SqliteRegistry::enumKey(RegKey key, quint32 index, int nameCapacity, QString& name)
{
    name.clear();
    Handle* handle = nullptr;
    long status = d->resolve(key, handle);
    if (status != RegOk)
        return status;
    if (!(handle->access & KEY_ENUMERATE_SUB_KEYS))
        return RegAccessDenied;
    status = d->snapshot(d->storeOf(handle->root), *handle, handle->children,
                         [&](sqlite3* db, std::vector<QString>& names) -> long {
                             Statement list(db, "SELECT path FROM keys WHERE parent = ?1 ORDER BY folded;");
                             if (list.tablesMissing())
                                 return RegOk;
                             list.bind(1, folded(handle->path));
                             while (list.step() == SQLITE_ROW)
                                 names.push_back(lastSegment(list.text(0)));
                             return list.rc() == SQLITE_DONE ? RegOk : statusOf(list.rc(), false);
                         });
    if (status != RegOk)
        return status;
    const auto& names = handle->children.items;
    if (index >= names.size())
        return RegNoMoreItems;
    if (!fits(names[index], nameCapacity))
        return RegMoreData;
    name = names[index];
    return RegOk;
}

long SqliteRegistry::enumValue(RegKey key, quint32 index, int nameCapacity, int dataCapacity, QString& name,
                               quint32& type, QByteArray& data)
{
    name.clear();
    data.clear();
    type = 0;
    Handle* handle = nullptr;
    long status = d->resolve(key, handle);
    if (status != RegOk)
        return status;
    if (!(handle->access & KEY_QUERY_VALUE))
        return RegAccessDenied;
    status =
        d->snapshot(d->storeOf(handle->root), *handle, handle->values,
                    [&](sqlite3* db, std::vector<ValueItem>& values) -> long {
                        Statement list(db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id;");
                        if (list.tablesMissing())
                            return RegOk;
                        list.bind(1, handle->id);
                        while (list.step() == SQLITE_ROW)
                            values.push_back({list.text(0), quint32(list.number(1)), list.blob(2)});
                        return list.rc() == SQLITE_DONE ? RegOk : statusOf(list.rc(), false);
                    });
    if (status != RegOk)
        return status;
    const auto& values = handle->values.items;
    if (index >= values.size())
        return RegNoMoreItems;
    const ValueItem& value = values[index];
    type = value.type;
    const bool nameFits = fits(value.name, nameCapacity);
    const bool dataFits = value.data.size() <= dataCapacity;
    if (nameFits)
        name = value.name;
    if (dataFits)
        data = value.data;
    return nameFits && dataFits ? RegOk : RegMoreData;
}

long SqliteRegistry::deleteKey(RegKey key, const QString& subKey)
{
    Handle* base = nullptr;
    long status = d->resolve(key, base);
    if (status != RegOk)
        return status;
    QStringList segments;
    if (!splitPath(subKey, segments))
        return RegInvalidParameter;
    if (segments.isEmpty() && base->id == 0)
        return RegAccessDenied; // a root cannot go
    Impl::Store& store = d->storeOf(base->root);
    if (const long opened = d->open(store, false); opened != RegOk)
        return opened == RegFileNotFound ? (segments.isEmpty() ? RegKeyDeleted : RegFileNotFound) : opened;
    return d->write(store, [&](sqlite3* db) -> long {
        qint64 id = base->id;
        QString path = base->path;
        if (!segments.isEmpty()) {
            const long alive = Impl::keyAlive(db, *base);
            if (alive != RegOk)
                return alive;
            const long found =
                Impl::findKey(db, joinPath(base->path, segments.join(QLatin1Char('\\'))), id, &path);
            if (found != RegOk)
                return found;
        } else if (const long alive = Impl::keyAlive(db, *base); alive != RegOk) {
            return alive;
        }
        Statement children(db, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1;");
        children.bind(1, folded(path));
        const int rc = children.step();
        if (rc == SQLITE_ROW)
            return RegAccessDenied; // its subkeys must go first
        if (rc != SQLITE_DONE)
            return statusOf(rc, true);
        Statement values(db, "DELETE FROM vals WHERE key = ?1;");
        values.bind(1, id);
        if (values.step() != SQLITE_DONE)
            return statusOf(values.rc(), true);
        Statement keyRow(db, "DELETE FROM keys WHERE id = ?1;");
        keyRow.bind(1, id);
        return keyRow.step() == SQLITE_DONE ? RegOk : statusOf(keyRow.rc(), true);
    });
}

long SqliteRegistry::closeKey(RegKey key)
{
    if (isRoot(key))
        return RegOk;
    return d->handles.erase(key) ? RegOk : RegInvalidHandle;
}

} // namespace kr
