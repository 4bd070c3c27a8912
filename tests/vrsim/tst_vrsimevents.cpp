// The scripted event source: the line format, bad lines, lines appended while running, timing,
// and scripted visibility.
#include <QFile>
#include <QThread>
#include <QtTest>
#include <openvr.h>
#include <vrsim/control.h>

#include "vrsimtestsupport.h"

class TestVrsimEvents : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_script;
    vr::VROverlayHandle_t m_main = 0;
    vr::VROverlayHandle_t m_thumb = 0;

    void append(const QByteArray& text)
    {
        QFile file(m_script);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
        file.write(text);
    }

    // Connects with the script (as written so far) and opens the overlay.
    void start()
    {
        QCOMPARE(VrsimTest::connect(*m_dir, {{"VRSIM_EVENTS", m_script.toLocal8Bit()}}), vr::VRInitError_None);
        QCOMPARE(vr::VROverlay()->CreateDashboardOverlay("test.events", "Events", &m_main, &m_thumb),
                 vr::VROverlayError_None);
    }

    QList<vr::VREvent_t> pollOverlay()
    {
        QList<vr::VREvent_t> events;
        vr::VREvent_t event = {};
        while (vr::VROverlay()->PollNextOverlayEvent(m_main, &event, sizeof event))
            events.append(event);
        return events;
    }

    static QList<uint32_t> types(const QList<vr::VREvent_t>& events)
    {
        QList<uint32_t> result;
        for (const vr::VREvent_t& event : events)
            result.append(event.eventType);
        return result;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_script = m_dir->path() + QStringLiteral("/events.txt");
    }
    void cleanup() { vr::VR_Shutdown(); }

    void everyKindOfLine()
    {
        append("# a comment, then a blank line\n\n"
               "overlay move 100.5 200\n"
               "overlay down 10 20 right\n"
               "overlay up 10 20\n"
               "overlay down 1 2 middle\n"
               "overlay scroll 0 -0.5\n"
               "overlay shown\n"
               "overlay keyboard \"say \\\"hi\\\" # now\" 42\n"
               "overlay event 9999\n"
               "system quit\n"
               "overlay quit\r\n");
        start();
        const QList<vr::VREvent_t> events = pollOverlay();
        QCOMPARE(types(events),
                 (QList<uint32_t>{vr::VREvent_MouseMove, vr::VREvent_MouseButtonDown, vr::VREvent_MouseButtonUp,
                                  vr::VREvent_MouseButtonDown, vr::VREvent_Scroll, vr::VREvent_OverlayShown,
                                  vr::VREvent_KeyboardDone, 9999, vr::VREvent_Quit}));
        QCOMPARE(events[0].data.mouse.x, 100.5f);
        QCOMPARE(events[0].data.mouse.y, 200.0f);
        QCOMPARE(events[1].data.mouse.button, uint32_t(vr::VRMouseButton_Right));
        QCOMPARE(events[2].data.mouse.button, uint32_t(vr::VRMouseButton_Left));
        QCOMPARE(events[3].data.mouse.button, uint32_t(vr::VRMouseButton_Middle));
        QCOMPARE(events[4].data.scroll.xdelta, 0.0f);
        QCOMPARE(events[4].data.scroll.ydelta, -0.5f);
        QCOMPARE(uint64_t{events[6].data.keyboard.uUserValue}, uint64_t(42)); // packed member: compare a copy
        char text[64];
        vr::VROverlay()->GetKeyboardText(text, sizeof text);
        QCOMPARE(QByteArray(text), QByteArray("say \"hi\" # now"));

        vr::VREvent_t event = {};
        QVERIFY(vr::VRSystem()->PollNextEvent(&event, sizeof event));
        QCOMPARE(event.eventType, uint32_t(vr::VREvent_Quit));
        QVERIFY(!vr::VRSystem()->PollNextEvent(&event, sizeof event));
    }

    void badLinesAreReportedAndSkipped()
    {
        append("overlay jump 1 2\n"
               "overlay move 1\n"
               "overlay move a b\n"
               "@soon overlay shown\n"
               "visible overlay 2\n"
               "overlay keyboard \"never closed\n"
               "overlay keyboard unquoted\n"
               "overlay down 1 2 thumb\n"
               "+100\n"
               "elsewhere shown\n"
               "overlay move 1 2 3\n"
               "overlay move nan 2\n"
               "overlay shown\n");
        VrsimTest::StderrCapture stderrCapture;
        start();
        QCOMPARE(types(pollOverlay()), QList<uint32_t>{vr::VREvent_OverlayShown});
        const QString report = stderrCapture.text();
        for (int line = 1; line <= 12; ++line)
            QVERIFY2(report.contains(QStringLiteral("events.txt:%1:").arg(line)), qPrintable(report));
        QVERIFY(!report.contains(QLatin1String("events.txt:13:")));
    }

    // A number must be the whole token: a quoted word or one cut short by a zero byte once
    // passed as 0 or as its digits before the zero. A zero byte starting a word once passed
    // for quoted text.
    void zeroBytesAndQuotedNumbersAreBadLines()
    {
        QByteArray script("overlay move \"1\" \"2\"\n"
                          "overlay keyboard \"text\" \"\"\n"
                          "system event \"7\"\n"
                          "overlay down 1 2 \"3\"\n"
                          "overlay move 5");
        script.append('\0');
        script.append("junk 6\noverlay keyboard ");
        script.append('\0');
        script.append("text\noverlay shown\n");
        append(script);
        VrsimTest::StderrCapture stderrCapture;
        start();
        QCOMPARE(types(pollOverlay()), QList<uint32_t>{vr::VREvent_OverlayShown});
        vr::VREvent_t event = {};
        QVERIFY(!vr::VRSystem()->PollNextEvent(&event, sizeof event));
        const QString report = stderrCapture.text();
        for (int line = 1; line <= 6; ++line)
            QVERIFY2(report.contains(QStringLiteral("events.txt:%1:").arg(line)), qPrintable(report));
    }

    void linesAppendedLaterArePickedUp()
    {
        append("overlay move 1 1\n");
        start();
        QCOMPARE(pollOverlay().size(), 1);
        append("overlay move 2 2\noverlay move 3");
        const QList<vr::VREvent_t> second = pollOverlay();
        QCOMPARE(second.size(), 1);
        QCOMPARE(second[0].data.mouse.x, 2.0f);
        // The unfinished line waits for its end.
        append(" 3\n");
        const QList<vr::VREvent_t> third = pollOverlay();
        QCOMPARE(third.size(), 1);
        QCOMPARE(third[0].data.mouse.x, 3.0f);
        QCOMPARE(third[0].data.mouse.y, 3.0f);

        // A last line that never gets its end is taken once the file stops growing.
        append("overlay shown");
        QVERIFY(pollOverlay().isEmpty());
        QThread::msleep(700);
        QCOMPARE(types(pollOverlay()), QList<uint32_t>{vr::VREvent_OverlayShown});
    }

    void scriptCreatedAfterConnecting()
    {
        VrsimTest::StderrCapture stderrCapture;
        start();
        QVERIFY(pollOverlay().isEmpty());
        append("overlay shown\n");
        QCOMPARE(pollOverlay().size(), 1);
    }

    void timedEvents()
    {
        append("+300 overlay move 3 3\n"
               "+300 overlay move 6 6\n"
               "@0 overlay move 1 1\n"
               "overlay move 2 2\n");
        start();
        // Untimed and past lines are due at once, in file order.
        QList<vr::VREvent_t> events = pollOverlay();
        QCOMPARE(events.size(), 2);
        QCOMPARE(events[0].data.mouse.x, 1.0f);
        QCOMPARE(events[1].data.mouse.x, 2.0f);

        QThread::msleep(400);
        events = pollOverlay();
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].data.mouse.x, 3.0f);
        QVERIFY(events[0].eventAgeSeconds >= 0.05f);

        QThread::msleep(300);
        events = pollOverlay();
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].data.mouse.x, 6.0f);
    }

    void scriptedVisibility()
    {
        append("visible overlay 0\n"
               "visible thumbnail 1\n"
               "+300 visible overlay 1\n");
        start();
        vr::IVROverlay* overlay = vr::VROverlay();
        QVERIFY(!overlay->IsOverlayVisible(m_main));
        QVERIFY(overlay->IsOverlayVisible(m_thumb));
        QThread::msleep(400);
        QVERIFY(overlay->IsOverlayVisible(m_main));
    }
};

QTEST_GUILESS_MAIN(TestVrsimEvents)
#include "tst_vrsimevents.moc"
