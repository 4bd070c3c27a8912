#include "blockfixture.h"
#include "logcapture.h"

#include <calibrationmanager.h>

#include <QSignalSpy>
#include <QtTest>

namespace {

const char* const blockName = DeviceBlocks::calibrationName;
const QByteArray request = QByteArray("Calibration").leftJustified(100, '\0');

// What the page does: call the invokable by name through the meta-object system.
int pressCalibration(CalibrationManager& manager)
{
    int result = -1;
    const bool invoked =
        QMetaObject::invokeMethod(&manager, "Calibration", Qt::DirectConnection, Q_RETURN_ARG(int, result));
    return invoked ? result : -100;
}

QStringList tenTimes(const QString& text)
{
    QStringList list;
    for (int i = 0; i < 10; ++i)
        list << text;
    return list;
}

} // namespace

class TestCalibrationManager : public QObject
{
    Q_OBJECT

private slots:
    void init() { BlockFixture::remove(blockName); }
    void cleanupTestCase() { BlockFixture::remove(blockName); }

    void requestOverwritesWhateverWasThere()
    {
        QByteArray garbage(100, char(0xFF));
        garbage.replace(0, 14, "CalibrationXYZ");
        QVERIFY(BlockFixture::writeRaw(blockName, garbage));

        CalibrationManager manager;
        QCOMPARE(manager.initialize(), 0);
        QCOMPARE(BlockFixture::rawBytes(blockName), garbage);

        LogCapture log;
        QSignalSpy emitted(&manager, &CalibrationManager::_calibration);
        QCOMPARE(pressCalibration(manager), 0);
        QCOMPARE(emitted.count(), 1);
        QCOMPARE(BlockFixture::rawBytes(blockName), request);
        QVERIFY(log.errors().isEmpty());
        QCOMPARE(log.infos().size(), 1);
        QCOMPARE(log.records().front().file, std::string("calibrationmanager"));

        // A second request writes the very same bytes: no counter, nothing appended.
        QCOMPARE(pressCalibration(manager), 0);
        QCOMPARE(BlockFixture::rawBytes(blockName), request);
        QCOMPARE(log.infos().size(), 2);
    }

    void unavailableBlockIsRetriedOnTheNextRequest()
    {
        QVERIFY(BlockFixture::blockWithDirectory(blockName));
        const QString failure = QStringLiteral("Open Shared Memory Failed, error is %1").arg(EINVAL);
        const BlockFixture::OpenResources before = BlockFixture::openResources();
        CalibrationManager manager;
        {
            LogCapture log;
            QCOMPARE(manager.initialize(), 1);
            QCOMPARE(log.errors(), tenTimes(failure));
        }
        {
            LogCapture log;
            QCOMPARE(pressCalibration(manager), 0);
            QCOMPARE(log.errors(), QStringList("Shared Memory has not been initialized") + tenTimes(failure));
            QVERIFY(log.infos().isEmpty());
            for (const LogCapture::Record& r : log.records())
                QCOMPARE(r.file, std::string("calibrationmanager"));
        }
        // Twenty failed attempts and nothing left open.
        QVERIFY(BlockFixture::openResources() == before);

        // The block becomes available: this press only opens it, the next one writes.
        BlockFixture::remove(blockName);
        {
            LogCapture log;
            QCOMPARE(pressCalibration(manager), 0);
            QCOMPARE(log.errors(), QStringList("Shared Memory has not been initialized"));
            QCOMPARE(BlockFixture::rawBytes(blockName), QByteArray(100, '\0'));
        }
        QCOMPARE(pressCalibration(manager), 0);
        QCOMPARE(BlockFixture::rawBytes(blockName), request);
    }
};

QTEST_GUILESS_MAIN(TestCalibrationManager)
#include "tst_calibrationmanager.moc"
