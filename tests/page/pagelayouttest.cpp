// The page's layout, tiles, scroll bar and rendering, on the real page files.
#include "pagefixture.h"
#include "testpaths.h"

#include <QFontMetrics>
#include <QImage>
#include <QQuickItem>
#include <QTest>
#include <QtMath>

class PageLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loadsWithoutWarnings_data();
    void loadsWithoutWarnings();
    void mainElementGeometry();
    void artworkLoadsAtItsSizes();
    void gridHasFourColumnsOfFixedCells();
    void badgeOnlyForNativeGamesAndRowCentred();
    void longNameIsNeitherElidedNorWrapped();
    void hoverLayerFollowsPointer();
    void tileClickLaunchesItsGame();
    void thumbFillsBarWithoutScrolling();
    void thumbFollowsGridScroll();
    void draggingThumbScrollsGrid();
    void renderedPageShowsArtwork();
    void chinesePageRendersGlyphs();

private:
    bool open(const QString& language, int games);
    static bool near(qreal a, qreal b, qreal tolerance = 0.5) { return qAbs(a - b) <= tolerance; }

    std::unique_ptr<PageFixture> page;
};

void PageLayoutTest::initTestCase()
{
    PageFixture::installFontSubstitutes();
}

void PageLayoutTest::init()
{
    page = std::make_unique<PageFixture>();
}

void PageLayoutTest::cleanup()
{
    if (page)
        QVERIFY2(page->warnings().isEmpty(), qPrintable(page->warnings().join('\n')));
    page.reset();
}

bool PageLayoutTest::open(const QString& language, int games)
{
    if (!page->load(language, games)) {
        qWarning("page did not load: %s", qPrintable(page->loadError()));
        return false;
    }
    return true;
}

void PageLayoutTest::loadsWithoutWarnings_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("games");
    QTest::newRow("en, empty catalogue") << "en" << 0;
    QTest::newRow("en, twelve games") << "en" << 12;
    QTest::newRow("cn, empty catalogue") << "cn" << 0;
    QTest::newRow("cn, twelve games") << "cn" << 12;
}

void PageLayoutTest::loadsWithoutWarnings()
{
    QFETCH(QString, language);
    QFETCH(int, games);
    QVERIFY(open(language, games));
    QTRY_COMPARE(page->evaluate("gameView.count").toInt(), games);
    // cleanup() fails the test on any QML warning (unresolved names, bad bindings).
}

void PageLayoutTest::mainElementGeometry()
{
    QVERIFY(open("en", 12));
    QQuickItem* root = page->root();
    QCOMPARE(root->size(), QSizeF(1920, 1080));
    QCOMPARE(root->property("color").value<QColor>().alpha(), 0);
    QCOMPARE(root->childItems().size(), 9);

    QQuickItem* background = page->rootChild(0);
    QCOMPARE(QRectF(background->position(), background->size()), QRectF(0, 0, 1920, 1080));

    QQuickItem* logo = page->rootChild(1);
    QCOMPARE(QRectF(logo->position(), logo->size()), QRectF(123, 83, 233, 48));

    QQuickItem* title = page->rootChild(2);
    QCOMPARE(title->position(), QPointF(383, 107));
    QCOMPARE(title->property("text").toString(), QStringLiteral("Installed Game Library"));

    QQuickItem* separator = page->rootChild(3);
    QCOMPARE(QRectF(separator->position(), separator->size()), QRectF(123, 155, 1675, 5));
    QCOMPARE(separator->property("color").value<QColor>(), QColor("#00677e"));

    QQuickItem* grid = page->itemById("gameView");
    QCOMPARE(grid, page->rootChild(4));
    QCOMPARE(QRectF(grid->position(), grid->size()), QRectF(123, 190, 1700, 695));
    QVERIFY(grid->clip());

    QQuickItem* button = page->rootChild(5);
    QCOMPARE(button->size(), QSizeF(287, 65));
    QCOMPARE(button->y(), 946.0);
    // Centred anchors snap to whole pixels: an odd width sits half a pixel left.
    QVERIFY(near(button->x() + button->width() / 2, 960.0));
    QCOMPARE(button->childItems().value(0)->property("text").toString(), QStringLiteral("Calibration"));

    QQuickItem* bar = page->itemById("scrollbar");
    QCOMPARE(bar, page->rootChild(6));
    QCOMPARE(QRectF(bar->position(), bar->size()), QRectF(1840, 190, 12, 695));

    for (const char* id : {"biaoding_message", "biaoding_message2"}) {
        QQuickItem* panel = page->itemById(id);
        QVERIFY(panel);
        QCOMPARE(panel->size(), QSizeF(818, 309));
        QCOMPARE(panel->y(), 440.0);
        QCOMPARE(panel->x() + panel->width() / 2, 960.0);
    }
    QCOMPARE(page->itemById("biaoding_message"), page->rootChild(7));
    QCOMPARE(page->itemById("biaoding_message2"), page->rootChild(8));
}

void PageLayoutTest::artworkLoadsAtItsSizes()
{
    QVERIFY(open("en", 1));
    // Every picture of the page must resolve next to the page and keep the size it is laid out at.
    const struct {
        QQuickItem* item;
        QSize size;
    } images[] = {
        {page->rootChild(0), {1920, 1080}},
        {page->rootChild(1), {233, 48}},
        {page->rootChild(5), {287, 65}},
        {page->itemById("biaoding_message"), {818, 309}},
        {page->itemById("biaoding_message2"), {818, 309}},
    };
    for (const auto& image : images) {
        QTRY_COMPARE(image.item->property("status").toInt(), 1); // Image.Ready
        QCOMPARE(image.item->property("sourceSize").toSize(), image.size);
    }
    QQuickItem* eye = page->itemById("biaoding_message")->childItems().value(0);
    QTRY_COMPARE(eye->property("status").toInt(), 1);
    QCOMPARE(eye->size(), QSizeF(eye->property("sourceSize").toSize()));
    QCOMPARE(eye->y(), 62.0);

    QQuickItem* tile = nullptr;
    QTRY_VERIFY((tile = page->tile(0)) != nullptr);
    QTRY_COMPARE(PageFixture::tilePicture(tile)->property("status").toInt(), 1);
    QCOMPARE(PageFixture::tilePicture(tile)->property("sourceSize").toSize(), QSize(400, 188));
    QTRY_COMPARE(PageFixture::tileHoverLayer(tile)->property("status").toInt(), 1);
    QCOMPARE(PageFixture::tileHoverLayer(tile)->property("sourceSize").toSize(), QSize(400, 188));
}

void PageLayoutTest::gridHasFourColumnsOfFixedCells()
{
    QVERIFY(open("en", 12));
    QQuickItem* grid = page->itemById("gameView");
    QCOMPARE(grid->property("cellWidth").toReal(), 425.0);
    QCOMPARE(grid->property("cellHeight").toReal(), 254.0);
    // Two full rows and part of a third are visible: rows 0 to 2 exist, row 2 cut by the clip.
    for (int row = 0; row < 12; ++row) {
        QQuickItem* tile = nullptr;
        QTRY_VERIFY2((tile = page->tile(row)) != nullptr, qPrintable(QString::number(row)));
        QCOMPARE(tile->position(), QPointF(425 * (row % 4), 254 * (row / 4)));
        QCOMPARE(PageFixture::tilePicture(tile)->size(), QSizeF(400, 188));
        // The name row sits 20 px under the picture.
        QCOMPARE(tile->childItems().value(1)->y(), 208.0);
    }
}

void PageLayoutTest::badgeOnlyForNativeGamesAndRowCentred()
{
    QVERIFY(open("en", 6));
    for (int row = 0; row < 6; ++row) {
        QQuickItem* tile = nullptr;
        QTRY_VERIFY((tile = page->tile(row)) != nullptr);
        QQuickItem* badge = PageFixture::tileBadge(tile);
        QQuickItem* name = PageFixture::tileName(tile);
        QQuickItem* nameRow = tile->childItems().value(1);
        QCOMPARE(badge->isVisible(), PageFixture::isNative(row));
        QCOMPARE(name->property("text").toString(),
                 row == 2 ? PageFixture::longName() : QStringLiteral("Demo %1").arg(row));
        if (row == 2)
            continue; // too long to centre inside the picture
        QCOMPARE(badge->size(), QSizeF(130, 24));
        QCOMPARE(badge->childItems().value(0)->property("text").toString(), QStringLiteral("Native Game"));
        // A hidden badge leaves no gap: the name alone is centred under the picture.
        const qreal expected = PageFixture::isNative(row) ? 130 + 11 + name->width() : name->width();
        QVERIFY2(near(nameRow->width(), expected), qPrintable(QString::number(nameRow->width())));
        QVERIFY(near(nameRow->x() + nameRow->width() / 2, 200, 1));
    }
}

void PageLayoutTest::longNameIsNeitherElidedNorWrapped()
{
    QVERIFY(open("en", 4));
    QQuickItem* tile = nullptr;
    QTRY_VERIFY((tile = page->tile(2)) != nullptr);
    QQuickItem* name = PageFixture::tileName(tile);
    QCOMPARE(name->property("elide").toInt(), int(Qt::ElideNone));
    QCOMPARE(name->property("wrapMode").toInt(), 0); // Text.NoWrap
    QCOMPARE(name->property("lineCount").toInt(), 1);
    QVERIFY(!name->property("truncated").toBool());
    QVERIFY2(name->width() > 425, qPrintable(QString::number(name->width())));
    QCOMPARE(name->parentItem()->width(), name->width());
}

void PageLayoutTest::hoverLayerFollowsPointer()
{
    QVERIFY(open("en", 8));
    QQuickItem *first = nullptr, *second = nullptr;
    QTRY_VERIFY((first = page->tile(0)) && (second = page->tile(5)));
    QQuickItem* layer0 = PageFixture::tileHoverLayer(first);
    QQuickItem* layer5 = PageFixture::tileHoverLayer(second);
    QCOMPARE(layer0->opacity(), 0.0);

    QTest::mouseMove(page->window(), QPoint(20, 20));
    QTest::mouseMove(page->window(), PageFixture::centreInWindow(layer0));
    QTRY_COMPARE(layer0->opacity(), 1.0);
    QCOMPARE(layer5->opacity(), 0.0);

    QTest::mouseMove(page->window(), PageFixture::centreInWindow(layer5));
    QTRY_COMPARE(layer5->opacity(), 1.0);
    QCOMPARE(layer0->opacity(), 0.0);

    // Into the gap between two cells: no tile is hovered.
    const QPointF gap = first->mapToScene(QPointF(412, 94));
    QTest::mouseMove(page->window(), gap.toPoint());
    QTRY_COMPARE(layer5->opacity(), 0.0);
    QCOMPARE(layer0->opacity(), 0.0);
}

void PageLayoutTest::tileClickLaunchesItsGame()
{
    QVERIFY(open("en", 8));
    QQuickItem* tile = nullptr;
    QTRY_VERIFY((tile = page->tile(6)) != nullptr);
    const QPoint at = PageFixture::centreInWindow(PageFixture::tilePicture(tile));
    QTest::mouseMove(page->window(), at);
    QTest::mouseClick(page->window(), Qt::LeftButton, Qt::NoModifier, at);
    QTRY_COMPARE(page->launcher.requested, QStringList{PageFixture::gameId(6)});

    // Clicking the name under the picture starts nothing.
    const QPoint onName = PageFixture::centreInWindow(PageFixture::tileName(tile));
    QTest::mouseClick(page->window(), Qt::LeftButton, Qt::NoModifier, onName);
    QTest::qWait(50);
    QCOMPARE(page->launcher.requested.size(), 1);
    QCOMPARE(page->calibration.calls, 0);
    QVERIFY(!page->itemById("biaoding_message")->isVisible());
    QCOMPARE(page->itemById("biaoding_message2")->opacity(), 0.0);
}

void PageLayoutTest::thumbFillsBarWithoutScrolling()
{
    for (int games : {0, 1, 8}) {
        page = std::make_unique<PageFixture>();
        QVERIFY(open("en", games));
        QQuickItem* thumb = page->itemById("button");
        QTRY_COMPARE(page->evaluate("gameView.count").toInt(), games);
        QCOMPARE(page->evaluate("gameView.visibleArea.heightRatio").toReal(), 1.0);
        QCOMPARE(thumb->height(), 695.0);
        QCOMPARE(thumb->y(), 0.0);
        QCOMPARE(thumb->size(), QSizeF(12, 695));
        QCOMPARE(thumb->opacity(), 0.3);
    }
}

void PageLayoutTest::thumbFollowsGridScroll()
{
    QVERIFY(open("en", 12));
    QQuickItem* grid = page->itemById("gameView");
    QQuickItem* thumb = page->itemById("button");
    // Three rows of 254 px in a 695 px window.
    QTRY_COMPARE(grid->property("contentHeight").toReal(), 762.0);
    QVERIFY(near(thumb->height(), 695.0 * 695 / 762));
    QCOMPARE(thumb->y(), 0.0);

    grid->setProperty("contentY", 67);
    QVERIFY(near(thumb->y(), 67.0 / 762 * 695));
    QVERIFY(near(thumb->y() + thumb->height(), 695));

    page = std::make_unique<PageFixture>();
    QVERIFY(open("en", 40));
    grid = page->itemById("gameView");
    thumb = page->itemById("button");
    QTRY_COMPARE(grid->property("contentHeight").toReal(), 2540.0);
    QVERIFY(near(thumb->height(), 695.0 * 695 / 2540));
    grid->setProperty("contentY", 1000);
    QVERIFY(near(thumb->y(), 1000.0 / 2540 * 695));
}

void PageLayoutTest::draggingThumbScrollsGrid()
{
    QVERIFY(open("en", 40));
    QQuickItem* grid = page->itemById("gameView");
    QQuickItem* thumb = page->itemById("button");
    QTRY_COMPARE(grid->property("contentHeight").toReal(), 2540.0);

    QPoint at = PageFixture::centreInWindow(thumb);
    QTest::mouseMove(page->window(), at);
    QTest::mousePress(page->window(), Qt::LeftButton, Qt::NoModifier, at);
    for (int step = 0; step < 20; ++step) {
        at += QPoint(0, 10);
        QTest::mouseMove(page->window(), at);
    }
    QTest::mouseRelease(page->window(), Qt::LeftButton, Qt::NoModifier, at);

    QVERIFY2(thumb->y() > 100, qPrintable(QString::number(thumb->y())));
    const qreal expected = thumb->y() / 695 * 2540;
    QVERIFY2(near(grid->property("contentY").toReal(), expected, 1),
             qPrintable(QStringLiteral("%1 vs %2").arg(grid->property("contentY").toReal()).arg(expected)));

    // The drag stops at the bottom of the bar.
    QTest::mousePress(page->window(), Qt::LeftButton, Qt::NoModifier, at);
    for (int step = 0; step < 80; ++step) {
        at += QPoint(0, 10);
        QTest::mouseMove(page->window(), at);
    }
    QTest::mouseRelease(page->window(), Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(near(thumb->y(), 695 - thumb->height()));
}

void PageLayoutTest::renderedPageShowsArtwork()
{
    QVERIFY(open("en", 12));
    QTRY_COMPARE(page->rootChild(0)->property("status").toInt(), 1);
    QTRY_VERIFY(page->tile(0));
    QTRY_COMPARE(PageFixture::tilePicture(page->tile(0))->property("status").toInt(), 1);
    const QImage frame = page->window()->grabWindow();
    QCOMPARE(frame.size(), QSize(1920, 1080));

    const auto close = [](QRgb a, QRgb b) {
        return qAbs(qRed(a) - qRed(b)) <= 3 && qAbs(qGreen(a) - qGreen(b)) <= 3 && qAbs(qBlue(a) - qBlue(b)) <= 3;
    };
    QVERIFY(close(frame.pixel(130, 157), qRgb(0x00, 0x67, 0x7e)));
    QVERIFY(close(frame.pixel(1700, 157), qRgb(0x00, 0x67, 0x7e)));

    // Outside every element the background picture shows, pixel for pixel.
    const QImage background(TestPaths::runtimeDir() + "/res/res/background.png");
    QVERIFY(!background.isNull());
    for (const QPoint p : {QPoint(40, 40), QPoint(1880, 600), QPoint(600, 1060)})
        QVERIFY2(close(frame.pixel(p), background.pixel(p)), qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));

    // The first tile shows its picture, scaled 1:1 into its cell.
    const QImage picture(TestPaths::runtimeDir() + "/game/images/starfall.png");
    QVERIFY(!picture.isNull());
    QVERIFY(close(frame.pixel(123 + 300, 190 + 40), picture.pixel(300, 40)));
}

void PageLayoutTest::chinesePageRendersGlyphs()
{
    QVERIFY(open("cn", 3));
    QQuickItem* title = page->rootChild(2);
    QCOMPARE(title->property("text").toString(), QString::fromUtf8("已安装"));
    const QFont font = title->property("font").value<QFont>();
    QCOMPARE(font.family(), QString::fromUtf8("微软雅黑"));
    // Every character has a glyph in the font the family resolves to (no empty boxes).
    const QFontMetrics metrics(font);
    for (const QChar c : QString::fromUtf8("已安装原生游戏标定重新标定时，请目视前方，并按下此按键。标定成功！"))
        QVERIFY2(metrics.inFont(c), qPrintable(QString(c)));

    // The title draws: white pixels appear where its text is.
    const QImage frame = page->window()->grabWindow();
    int bright = 0;
    for (int y = 107; y < 107 + int(title->height()); ++y)
        for (int x = 383; x < 383 + int(title->width()); ++x)
            bright += qGray(frame.pixel(x, y)) > 200;
    QVERIFY2(bright > 40, qPrintable(QString::number(bright)));
}

QTEST_MAIN(PageLayoutTest)
#include "pagelayouttest.moc"
