#include "catalogueprobe.h"

#include "gamedetector.h"
#include "logcapture.h"
#include "testpaths.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QtTest>

ToolRun runCatalogueTool(const QStringList& arguments, const QProcessEnvironment& environment,
                         const QString& workingDir)
{
    QProcess process;
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(environment);
    process.start(TestPaths::tool("nerq-catalogue"), arguments);
    ToolRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromUtf8(process.readAll());
    return run;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(), qPrintable(path));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SteamFolder::addApp(int appId, const QString& name, const QString& stateFlags) const
{
    writeFile(QString("%1/steamapps/appmanifest_%2.acf").arg(root).arg(appId),
              QString("\"AppState\"\n{\n\t\"appid\"\t\t\"%1\"\n\t\"name\"\t\t\"%2\"\n\t\"StateFlags\"\t\t\"%3\"\n}\n")
                  .arg(appId)
                  .arg(name, stateFlags)
                  .toUtf8());
}

void SteamFolder::listAsVr(const QList<int>& appIds) const
{
    QStringList applications;
    for (int appId : appIds)
        applications << QString(R"({"app_key": "steam.app.%1", "launch_type": "url"})").arg(appId);
    writeFile(root + "/config/steamapps.vrmanifest",
              ("{\"applications\": [" + applications.join(", ") + "]}").toUtf8());
}

QByteArray pictureBytes(const char* format, int seed)
{
    QImage image(46, 21, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((seed * 47) % 360, 200, 200));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

LoadedCatalogue loadCatalogue(const QString& path)
{
    LoadedCatalogue loaded;
    loaded.model = std::make_shared<GameModel>();
    const std::string file = path.toStdString();
    GameDetector detector(loaded.model, [file] { return file; });
    LogCapture log;
    detector.LoadGameData();
    loaded.errors = log.errors();
    for (int row = 0; row < loaded.model->rowCount(); ++row)
        loaded.ids << loaded.model->data(loaded.model->index(row), GameModel::GameIdRole).toString();
    return loaded;
}
