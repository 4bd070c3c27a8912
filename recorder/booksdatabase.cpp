#include "booksdatabase.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

// Long enough for a report's read to pass, short enough that the loop is never held for long.
const char kBusyTimeout[] = "QSQLITE_BUSY_TIMEOUT=1000";

QString uniqueName()
{
    static QAtomicInt counter;
    return QString("nerq-books-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

BooksDatabase::BooksDatabase(const QString& path, Mode mode)
    : m_path(path)
    , m_mode(mode)
    , m_name(uniqueName())
{}

BooksDatabase::~BooksDatabase()
{
    {
        QSqlDatabase database = db();
        if (database.isOpen())
            database.close();
    }
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

BooksDatabase::Outcome BooksDatabase::open()
{
    if (m_mode == Mode::ReadOnly && !QFileInfo(m_path).isFile())
        return {Problem::Missing, m_path + ": no books yet (nerq-recorder writes them)"};
    if (!QSqlDatabase::isDriverAvailable("QSQLITE"))
        return {Problem::Unusable, "Qt's SQLite driver is not installed (Debian's package libqt5sql5-sqlite)"};
    QSqlDatabase database = QSqlDatabase::contains(m_name) ? db() : QSqlDatabase::addDatabase("QSQLITE", m_name);
    database.setDatabaseName(m_path);
    database.setConnectOptions(m_mode == Mode::ReadOnly ? QString(kBusyTimeout) + ";QSQLITE_OPEN_READONLY"
                                                        : QString(kBusyTimeout));
    if (!database.open())
        return failure(database.lastError(), "opening");
    int found = 0;
    if (const Outcome read = version(&found); !read.ok())
        return read;
    if (found > kVersion)
        return {Problem::TooNew, QString("%1: made by a newer nerq-recorder (schema %2; this one knows up to %3)")
                                     .arg(m_path)
                                     .arg(found)
                                     .arg(kVersion)};
    if (m_mode == Mode::ReadOnly && found != kVersion)
        return {Problem::Unusable,
                QString("%1: schema %2, older than this program's; nerq-recorder upgrades it when it starts")
                    .arg(m_path)
                    .arg(found)};
    // A year's report reads a few hundred thousand rows: from memory, not a system call a page.
    if (m_mode == Mode::ReadOnly)
        return run({"PRAGMA mmap_size=1073741824", "PRAGMA cache_size=-65536"}, "setting up");
    // Readers never block the writer, and a committed event survives a power cut.
    const Outcome settings = run({"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL"}, "setting up");
    return settings.ok() ? upgrade() : settings;
}

BooksDatabase::Outcome BooksDatabase::upgrade()
{
    for (;;) {
        int found = 0;
        if (const Outcome read = version(&found); !read.ok())
            return read;
        const int next = found + 1;
        if (next > kVersion)
            return {};
        // One step, one transaction: a step half done is never left behind.
        const QStringList statements = QStringList{"BEGIN IMMEDIATE"} + schemaStep(next)
                                       + QStringList{QString("PRAGMA user_version=%1").arg(next), "COMMIT"};
        const Outcome outcome = run(statements, QString("upgrading to schema %1").arg(next));
        if (!outcome.ok()) {
            rollback();
            return outcome;
        }
    }
}

BooksDatabase::Outcome BooksDatabase::version(int* found)
{
    QSqlQuery query(db());
    if (!query.exec("PRAGMA user_version") || !query.next())
        return failure(query, "reading");
    *found = query.value(0).toInt();
    // A statement left open would hold a read transaction, and the journal mode cannot change in one.
    query.finish();
    return {};
}

void BooksDatabase::rollback()
{
    QSqlQuery query(db());
    // Fails when SQLite ended the transaction itself (a full disk, say): nothing is open then.
    if (!query.exec("ROLLBACK"))
        query.finish();
}

BooksDatabase::Outcome BooksDatabase::run(const QStringList& statements, const QString& what)
{
    QSqlQuery query(db());
    for (const QString& statement : statements) {
        if (!query.exec(statement))
            return failure(query, what);
    }
    return {};
}

BooksDatabase::Outcome BooksDatabase::failure(const QSqlQuery& query, const QString& what) const
{
    return failure(query.lastError(), what);
}

BooksDatabase::Outcome BooksDatabase::failure(const QSqlError& error, const QString& what) const
{
    // SQLite's primary result code; extended codes keep it in the low byte.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    Problem problem = Problem::Unusable;
    QString said = "cannot be used";
    if (code == 5 || code == 6) {
        problem = Problem::Locked;
        said = "is locked by another program";
    } else if (code == 8) {
        problem = Problem::ReadOnly;
        said = "is read-only";
    } else if (code == 11 || code == 26) {
        problem = Problem::Corrupt;
        said = "is damaged or not a database; move it aside and the recorder starts new books";
    } else if (code == 13) {
        problem = Problem::Full;
        said = "cannot grow: the disk is full";
    } else if (code == 14) {
        said = "cannot be opened";
    }
    return {problem, QString("%1 %2 (%3: %4)").arg(m_path, said, what, text)};
}
