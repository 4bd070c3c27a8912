#include "catalogueprobe.h"

#include "gamedetector.h"
#include "logcapture.h"
#include "testpaths.h"

#include <QBuffer>
#include <QImage>
#include <QProcess>

ToolRun runCatalogueTool(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
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
