#pragma once

#include "recordingcalibration.h"
#include "recordinglauncher.h"

#include <QObject>
#include <QPointF>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>

#include <functional>
#include <memory>

class GameModel;

// The real page file from the runtime directory, shown in a 1920 x 1080 window with a real
// game model and recording stand-ins for the launcher and the calibration link.
class PageFixture
{
public:
    PageFixture();
    ~PageFixture();

    // language is "en" or "cn". Demo game i has the id gameId(i) and is native when i % 3 == 0.
    bool load(const QString& language, int gameCount);
    QString loadError() const { return m_error; }

    static QString gameId(int i) { return QStringLiteral("demo-%1").arg(i); }
    // When set before load, gives demo game i's picture in place of the shipped artwork.
    std::function<QString(int)> pictureFor;
    static bool isNative(int i) { return i % 3 == 0; }
    static QString longName();
    static void installFontSubstitutes();

    QQuickWindow* window() const { return m_window.get(); }
    QQuickItem* root() const { return m_root; }
    // A direct child of the root in document order: 0 background ... 8 confirmation panel.
    QQuickItem* rootChild(int index) const;
    // An object by its id on the page.
    QObject* byId(const QString& id) const;
    QQuickItem* itemById(const QString& id) const;
    QVariant evaluate(const QString& expression) const;

    // The grid's delegate for model row `row`, or nullptr when it is not instantiated.
    QQuickItem* tile(int row) const;
    static QQuickItem* tilePicture(QQuickItem* tile);
    static QQuickItem* tileHoverLayer(QQuickItem* tile);
    static QQuickItem* tileBadge(QQuickItem* tile);
    static QQuickItem* tileName(QQuickItem* tile);
    static QPoint centreInWindow(QQuickItem* item);

    QStringList warnings() const { return m_warnings; }
    RecordingLauncher launcher;
    RecordingCalibration calibration;

private:
    std::unique_ptr<GameModel> m_model;
    QObject m_detector;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
    QQuickItem* m_root = nullptr;
    QStringList m_warnings;
    QString m_error;
};
