// Catalogue pictures that are missing or are not pictures at all: the grid must still show
// every game with its name, keep its layout, and start the game on a click.

#include "pagefixture.h"

#include <QDir>
#include <QFile>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum class Picture { Good, Missing, Text, Empty, Directory, NoPath, Truncated };

struct Case {
    Picture kind;
    const char* label;
};

const Case cases[] = {
    {Picture::Good, "shipped artwork"},
    {Picture::Missing, "missing file"},
    {Picture::Text, "text file named .png"},
    {Picture::Empty, "zero-byte file"},
    {Picture::Directory, "directory named .png"},
    {Picture::NoPath, "empty path"},
    {Picture::Truncated, "PNG cut after its header"},
    {Picture::Good, "shipped artwork after the bad ones"},
};
constexpr int caseCount = int(sizeof cases / sizeof cases[0]);

} // namespace

class PagePicturesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void badPicturesKeepEveryTileWorking();

private:
    QString pictureFor(int i) const;

    QTemporaryDir m_dir;
};

void PagePicturesTest::initTestCase()
{
    PageFixture::installFontSubstitutes();
    QVERIFY(m_dir.isValid());
    QFile text(m_dir.filePath("text.png"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("this is not a picture\n");
    text.close();
    QFile empty(m_dir.filePath("empty.png"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QVERIFY(QDir(m_dir.path()).mkdir("folder.png"));
    QFile truncated(m_dir.filePath("truncated.png"));
    QVERIFY(truncated.open(QIODevice::WriteOnly));
    truncated.write(QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000001900000"));
}

QString PagePicturesTest::pictureFor(int i) const
{
    switch (cases[i].kind) {
    case Picture::Good:
        return QStringLiteral("../game/images/starfall.png");
    case Picture::Missing:
        return m_dir.filePath("missing.png");
    case Picture::Text:
        return m_dir.filePath("text.png");
    case Picture::Empty:
        return m_dir.filePath("empty.png");
    case Picture::Directory:
        return m_dir.filePath("folder.png");
    case Picture::NoPath:
        return QString();
    case Picture::Truncated:
        return m_dir.filePath("truncated.png");
    }
    return QString();
}

void PagePicturesTest::badPicturesKeepEveryTileWorking()
{
    PageFixture page;
    page.pictureFor = [this](int i) { return pictureFor(i); };
    QVERIFY2(page.load("en", caseCount), qPrintable(page.loadError()));
    QQuickItem* view = page.itemById("gameView");
    QVERIFY(view);

    int badPictures = 0;
    for (int row = 0; row < caseCount; ++row) {
        const char* label = cases[row].label;
        // Later rows sit below the fold: scroll each into view, as a user would.
        QMetaObject::invokeMethod(view, "positionViewAtIndex", Q_ARG(int, row), Q_ARG(int, 0));
        QQuickItem* tile = nullptr;
        QTRY_VERIFY2((tile = page.tile(row)) != nullptr, label);

        // The tile keeps its size and shows its name whatever the picture did.
        QQuickItem* picture = PageFixture::tilePicture(tile);
        QCOMPARE(picture->width(), 400.0);
        QCOMPARE(picture->height(), 188.0);
        const QString expectedName = row == 2 ? PageFixture::longName() : QStringLiteral("Demo %1").arg(row);
        QCOMPARE(PageFixture::tileName(tile)->property("text").toString(), expectedName);
        const int status = picture->property("status").toInt();
        enum { Null = 0, Ready = 1, Error = 3 };
        if (cases[row].kind == Picture::Good) {
            QTRY_COMPARE(picture->property("status").toInt(), int(Ready));
        } else {
            QVERIFY2(status == Error || status == Null, label);
            ++badPictures;
        }

        // A click on the picture still starts the game.
        const QPoint at = PageFixture::centreInWindow(picture);
        QTest::mouseMove(page.window(), at);
        QTest::mouseClick(page.window(), Qt::LeftButton, Qt::NoModifier, at);
        QTRY_COMPARE(page.launcher.requested.size(), row + 1);
        QCOMPARE(page.launcher.requested.last(), PageFixture::gameId(row));
    }

    // At most one warning per bad picture, and nothing but picture warnings.
    const QStringList warnings = page.warnings();
    QVERIFY2(warnings.size() <= badPictures, qPrintable(warnings.join('\n')));
    for (const QString& w : warnings)
        QVERIFY2(w.contains("Image"), qPrintable(w));
    qInfo("%d bad pictures gave %d warnings", badPictures, int(warnings.size()));
}

QTEST_MAIN(PagePicturesTest)
#include "pagepicturestest.moc"
