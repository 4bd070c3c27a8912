#include "pagefixture.h"

#include "gameitem.h"
#include "gamemodel.h"
#include "testpaths.h"

#include <QDir>
#include <QFont>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlExpression>
#include <QTest>

#include <algorithm>

namespace {

const char* const pictures[] = {"starfall",      "skyline_runner", "deep_reef",
                                "neon_velocity", "canyon_trek",    "orbital_drift"};

} // namespace

PageFixture::PageFixture() = default;

PageFixture::~PageFixture()
{
    // The page first: its grid still refers to the model.
    delete m_root;
    m_window.reset();
    m_engine.reset();
    m_model.reset();
}

QString PageFixture::longName()
{
    return QStringLiteral("An Exceedingly Long Demo Game Name That Runs Far Past Its Tile");
}

void PageFixture::installFontSubstitutes()
{
    // The page names a Windows family; map it like the program does on Linux.
    const QString cjk = QStringLiteral("WenQuanYi Micro Hei");
    QFont::insertSubstitution(QStringLiteral("Microsoft Yahei"), cjk);
    QFont::insertSubstitution(QString::fromUtf8("微软雅黑"), cjk);
}

bool PageFixture::load(const QString& language, int gameCount)
{
    m_model = std::make_unique<GameModel>();
    for (int i = 0; i < gameCount; ++i) {
        auto* item = new GameItem;
        const QString name = i == 2 ? longName() : QStringLiteral("Demo %1").arg(i);
        const QString picture =
            pictureFor ? pictureFor(i) : QStringLiteral("../game/images/%1.png").arg(pictures[i % 6]);
        item->setGameInfo(gameId(i), name, picture, isNative(i), QString(), 1000 + i, i % 4);
        m_model->addGame(item);
    }

    m_engine = std::make_unique<QQmlEngine>();
    QObject::connect(m_engine.get(), &QQmlEngine::warnings, [this](const QList<QQmlError>& list) {
        for (const QQmlError& e : list)
            m_warnings << e.toString();
    });
    QQmlContext* context = m_engine->rootContext();
    context->setContextProperty(QStringLiteral("launcher"), &launcher);
    context->setContextProperty(QStringLiteral("detector"), &m_detector);
    context->setContextProperty(QStringLiteral("game"), m_model.get());
    context->setContextProperty(QStringLiteral("calibration"), &calibration);

    const QString page = QDir(TestPaths::runtimeDir()).filePath(QStringLiteral("res/main_widget_%1.qml").arg(language));
    QQmlComponent component(m_engine.get(), QUrl::fromLocalFile(page));
    QObject* object = component.create();
    if (!object) {
        m_error = component.errorString();
        return false;
    }
    m_root = qobject_cast<QQuickItem*>(object);
    if (!m_root) {
        m_error = QStringLiteral("root is not an item");
        delete object;
        return false;
    }

    m_window = std::make_unique<QQuickWindow>();
    m_window->setColor(Qt::black);
    m_root->setParentItem(m_window->contentItem());
    m_window->setGeometry(0, 0, 1920, 1080);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get())) {
        m_error = QStringLiteral("window not exposed");
        return false;
    }
    return true;
}

QQuickItem* PageFixture::rootChild(int index) const
{
    const QList<QQuickItem*> children = m_root->childItems();
    return index < children.size() ? children.at(index) : nullptr;
}

QVariant PageFixture::evaluate(const QString& expression) const
{
    QQmlExpression e(qmlContext(m_root), m_root, expression);
    return e.evaluate();
}

QObject* PageFixture::byId(const QString& id) const
{
    return evaluate(id).value<QObject*>();
}

QQuickItem* PageFixture::itemById(const QString& id) const
{
    return qobject_cast<QQuickItem*>(byId(id));
}

QQuickItem* PageFixture::tile(int row) const
{
    auto* view = itemById(QStringLiteral("gameView"));
    if (!view)
        return nullptr;
    auto* content = view->property("contentItem").value<QQuickItem*>();
    const QList<QQuickItem*> delegates = content->childItems();
    auto it = std::find_if(delegates.begin(), delegates.end(), [row](QQuickItem* d) {
        QQmlExpression index(qmlContext(d), d, QStringLiteral("index"));
        return d->isVisible() && index.evaluate().toInt() == row;
    });
    return it == delegates.end() ? nullptr : *it;
}

QQuickItem* PageFixture::tilePicture(QQuickItem* tile)
{
    return tile->childItems().value(0);
}

QQuickItem* PageFixture::tileHoverLayer(QQuickItem* tile)
{
    return tilePicture(tile)->childItems().value(0);
}

QQuickItem* PageFixture::tileBadge(QQuickItem* tile)
{
    return tile->childItems().value(1)->childItems().value(0);
}

QQuickItem* PageFixture::tileName(QQuickItem* tile)
{
    return tile->childItems().value(1)->childItems().value(1)->childItems().value(0);
}

QPoint PageFixture::centreInWindow(QQuickItem* item)
{
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}
