#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

class QSqlError;
class QSqlQuery;

// The venue's books: one SQLite file in the venue folder, opened through Qt's SQL module. Each
// object is a connection of its own (the recorder writes through one, a report reads through
// another), closed when the object goes.
class BooksDatabase
{
public:
    static constexpr const char* kFileName = "books.sqlite";
    // The schema's version, kept in the file (PRAGMA user_version); an older file is upgraded in
    // place, step by step, each step one transaction.
    static constexpr int kVersion = 2;
    // The statements that take a database from `version` - 1 to `version`.
    static QStringList schemaStep(int version);

    // What went wrong, as far as it matters to the one who has to mend it.
    enum class Problem { None, Missing, Locked, ReadOnly, Corrupt, Full, TooNew, Unusable };
    struct Outcome {
        Problem problem = Problem::None;
        QString message; // "<file>: the database is locked by another program (database is locked)"
        bool ok() const { return problem == Problem::None; }
    };

    enum class Mode { ReadWrite, ReadOnly };
    BooksDatabase(const QString& path, Mode mode);
    ~BooksDatabase();
    BooksDatabase(const BooksDatabase&) = delete;
    BooksDatabase& operator=(const BooksDatabase&) = delete;

    // Opens the file (read-only: only an existing one), and with ReadWrite brings its schema up to
    // date in place. A database made by a newer recorder is refused.
    Outcome open();
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // `query`'s failure, classified; `what` says what was being done ("writing events").
    Outcome failure(const QSqlQuery& query, const QString& what) const;
    Outcome failure(const QSqlError& error, const QString& what) const;
    // Runs statements one after the other; the first failure.
    Outcome run(const QStringList& statements, const QString& what);
    // Undoes the transaction that failed, if one is still open.
    void rollback();
    // An empty text as SQL's NULL.
    static QVariant textOrNull(const QString& text) { return text.isEmpty() ? QVariant() : QVariant(text); }

private:
    Outcome upgrade();
    Outcome version(int* found);

    QString m_path;
    Mode m_mode;
    QString m_name;
};
