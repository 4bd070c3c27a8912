// The catalogue file misbehaving under a running program: gone, unreadable, swapped, huge.
// Whatever happens to the file, the games already shown stay, and nothing hangs or crashes.

#include "cataloguefixture.h"
#include "gameitem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString invalidFile = QStringLiteral("Parse json file failed, invalid json file!");

QByteArray entries(const QStringList& ids)
{
    QByteArray json = "[";
    for (const QString& id : ids)
        json += (json.size() > 1 ? ", " : "") + QByteArray("{\"gameId\": \"") + id.toUtf8() + "\"}";
    return json + "]";
}

// Peak and current resident memory of this process, in kB, from /proc.
qint64 statusValue(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Makes the next VmHWM reading count from now.
void resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
        .size();
}

} // namespace

class TestCatalogueFaults : public QObject, private CatalogueFixture
{
    Q_OBJECT

private:
    static void writeFile(const QString& file, const QByteArray& content)
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(content), qint64(content.size()));
    }

    QStringList rowIds() const
    {
        QStringList ids;
        for (int i = 0; i < m_model->rowCount(); ++i)
            ids << m_model->data(m_model->index(i), GameModel::GameIdRole).toString();
        return ids;
    }

    void removeWhateverIsThere()
    {
        const QFileInfo info(path());
        if (info.isDir() && !info.isSymLink())
            QDir(path()).removeRecursively();
        else
            ::unlink(QFile::encodeName(path()).constData());
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        startLoader();
    }

    void cleanup()
    {
        stopLoader();
        removeWhateverIsThere();
    }

    void fileDisappearsBetweenPasses()
    {
        writeFile(path(), entries({"a", "b", "c"}));
        QVERIFY(pass().isEmpty());
        QSignalSpy changes(m_model.get(), &GameModel::rowsInserted);

        QVERIFY(QFile::remove(path()));
        QCOMPARE(pass(), QStringList{invalidFile});
        QCOMPARE(pass(), QStringList{invalidFile}); // reported again at every reload, no more
        QCOMPARE(rowIds(), QStringList({"a", "b", "c"}));
        QCOMPARE(changes.count(), 0);

        // It comes back with one game fewer and one more: only the addition shows.
        writeFile(path(), entries({"a", "d"}));
        QVERIFY(pass().isEmpty());
        QCOMPARE(rowIds(), QStringList({"a", "b", "c", "d"}));
    }

    // Each way of making the path unreadable must fail the pass quickly, keep the model and leave
    // no descriptor open. A FIFO or a device would block the reader or never end.
    void fileBecomesUnreadable_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("replaced by a directory") << "directory";
        QTest::newRow("no read permission") << "mode 000";
        QTest::newRow("dangling symbolic link") << "dangling";
        QTest::newRow("symbolic link loop") << "loop";
        QTest::newRow("named pipe without writer") << "fifo";
        QTest::newRow("link to an endless device") << "device";
    }

    void fileBecomesUnreadable()
    {
        QFETCH(QString, how);
        writeFile(path(), entries({"a", "b"}));
        QVERIFY(pass().isEmpty());

        const QByteArray file = QFile::encodeName(path());
        if (how == "directory") {
            QVERIFY(QFile::remove(path()));
            QVERIFY(QDir().mkdir(path()));
            writeFile(path() + "/inside.json", entries({"x"}));
        } else if (how == "mode 000") {
            QCOMPARE(::chmod(file.constData(), 0), 0);
            QFile probe(path());
            if (probe.open(QIODevice::ReadOnly))
                QSKIP("this user (root) reads files whatever their mode; the directory case covers it");
        } else if (how == "dangling") {
            QVERIFY(QFile::remove(path()));
            QCOMPARE(::symlink("nowhere.json", file.constData()), 0);
        } else if (how == "loop") {
            QVERIFY(QFile::remove(path()));
            QCOMPARE(::symlink("catalogue.json", file.constData()), 0);
        } else if (how == "fifo") {
            QVERIFY(QFile::remove(path()));
            QCOMPARE(::mkfifo(file.constData(), 0600), 0);
        } else if (how == "device") {
            QVERIFY(QFile::remove(path()));
            QCOMPARE(::symlink("/dev/zero", file.constData()), 0);
        }

        const int descriptors = openDescriptors();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(pass(), QStringList{invalidFile});
        QCOMPARE(openDescriptors(), descriptors);
        QCOMPARE(rowIds(), QStringList({"a", "b"}));

        // Readable again: the next pass picks the new games up.
        removeWhateverIsThere();
        writeFile(path(), entries({"b", "c"}));
        QVERIFY(pass().isEmpty());
        QCOMPARE(rowIds(), QStringList({"a", "b", "c"}));
    }

    void fileReplacedWhileRunning()
    {
        writeFile(path(), entries({"a", "b"}));
        QVERIFY(pass().isEmpty());

        // An editor's save: a new file renamed over the old one.
        const QString temporary = m_dir.filePath("catalogue.json.new");
        writeFile(temporary, R"([{"gameId": "a", "gameName": "renamed"}, {"gameId": "c"}])");
        QCOMPARE(::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path()).constData()), 0);
        QVERIFY(pass().isEmpty());
        QCOMPARE(rowIds(), QStringList({"a", "b", "c"}));
        QCOMPARE(m_model->findGame("a")->gameName(), QString()); // entries are never updated

        // Rewritten in place, caught half-written: the pass fails whole and changes nothing.
        const QByteArray full = entries({"c", "d", "e"});
        writeFile(path(), full.left(full.size() / 2));
        QCOMPARE(pass(), QStringList{invalidFile});
        QCOMPARE(rowIds(), QStringList({"a", "b", "c"}));

        // The writer finishes; the next pass sees the whole file.
        writeFile(path(), full);
        QVERIFY(pass().isEmpty());
        QCOMPARE(rowIds(), QStringList({"a", "b", "c", "d", "e"}));

        // Rewritten in place and shorter: no stale tail of the old content is read.
        writeFile(path(), entries({"f"}));
        QVERIFY(pass().isEmpty());
        QCOMPARE(rowIds(), QStringList({"a", "b", "c", "d", "e", "f"}));
    }

    void fiftyMegabyteFiles_data()
    {
        constexpr int size = 50 * 1024 * 1024;
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("one huge name") << QByteArray("[{\"gameId\": \"big\", \"gameName\": \"") + QByteArray(size, 'n')
                                              + "\"}, {\"gameId\": \"after\"}]"
                                       << QStringList({"big", "after"});
        QTest::newRow("white space around one entry")
            << QByteArray(size / 2, ' ') + entries({"spaced"}) + QByteArray(size / 2, '\n') << QStringList{"spaced"};
        QTest::newRow("huge key that is ignored")
            << QByteArray("[{\"gameId\": \"k\", \"") + QByteArray(size, 'k') + "\": 1}]" << QStringList{"k"};
        QTest::newRow("unterminated huge string")
            << QByteArray("[{\"gameId\": \"u\", \"gameName\": \"") + QByteArray(size, 'u') << QStringList();
    }

    void fiftyMegabyteFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, ids);
        writeFile(path(), content);
        const qint64 fileMb = content.size() / (1024 * 1024);
        content.clear();
        content.squeeze();

        resetPeakMemory();
        const qint64 residentBefore = statusValue("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        const QStringList errors = pass();
        const qint64 ms = timer.elapsed();
        const qint64 peakGrowthMb = (statusValue("VmHWM:") - residentBefore) / 1024;
        qInfo("%s: %lld MB file, pass took %lld ms, peak memory grew by %lld MB", QTest::currentDataTag(), fileMb, ms,
              peakGrowthMb);

        QCOMPARE(rowIds(), ids);
        QCOMPARE(errors.isEmpty(), !ids.isEmpty());
        if (ids.contains("big"))
            QCOMPARE(m_model->findGame("big")->gameName().size(), 50 * 1024 * 1024);
        // A handful of copies of the file (bytes, parsed value, UTF-16 text) is expected; growth
        // beyond that would mean something multiplies the content.
        QVERIFY2(peakGrowthMb < 12 * fileMb, qPrintable(QString::number(peakGrowthMb)));
    }

    void hundredThousandEntries()
    {
        constexpr int count = 100000;
        QByteArray json = "[\n";
        for (int i = 0; i < count; ++i) {
            json += (i ? ",\n" : "") + QByteArray("{\"gameId\": \"game-") + QByteArray::number(i)
                    + "\", \"gameName\": \"Game " + QByteArray::number(i)
                    + "\", \"imgPath\": \"../game/images/starfall.png\", \"isNative\": " + (i % 3 ? "false" : "true")
                    + ", \"launcherPath\": \"./game/native/a.sh\", \"steamGameId\": " + QByteArray::number(100000 + i)
                    + ", \"gameMode\": " + QByteArray::number(i % 10) + "}";
        }
        json += "\n]\n";
        writeFile(path(), json);

        QElapsedTimer timer;
        timer.start();
        QVERIFY(pass().isEmpty());
        const qint64 firstMs = timer.restart();
        QVERIFY(pass().isEmpty());
        const qint64 reloadMs = timer.elapsed();
        qInfo("%d entries (%d kB): first pass %lld ms, reload adding nothing %lld ms", count, int(json.size() / 1024),
              firstMs, reloadMs);

        QCOMPARE(m_model->rowCount(), count);
        const GameItem* last = m_model->findGame(QStringLiteral("game-%1").arg(count - 1));
        QVERIFY(last);
        QCOMPARE(last->steamGameId(), 100000 + count - 1);
        QCOMPARE(m_model->data(m_model->index(count - 1), GameModel::GameIdRole).toString(),
                 QStringLiteral("game-%1").arg(count - 1));
    }
};

QTEST_GUILESS_MAIN(TestCatalogueFaults)
#include "tst_cataloguefaults.moc"
