// The texts a recording shows while it runs, for both recorders, before and after the two
// seconds in which nothing arrived.

#include "view/RecordingStatusText.h"

#include <QtTest>

using namespace hvk32;

class RecordingStatusTextTest : public QObject {
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<bool>("adapter");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<quint64>("packets");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("warning");
        const QString socketWarning = "Nothing recorded for 2 s on UDP ports 2368 and 2369: the window records what "
                                      "it receives, so press Connect, and check that the device sends to those ports";
        QTest::newRow("sockets, packets") << false << qint64(61999) << quint64(1234)
                                          << "REC 01:01 | own sockets | 1234 packets | 2.5 MB | 7 lost in the receive "
                                             "buffer"
                                          << QString();
        QTest::newRow("sockets, nothing yet") << false << qint64(1999) << quint64(0)
                                              << "REC 00:01 | own sockets | 0 packets | 2.5 MB | 7 lost in the "
                                                 "receive buffer"
                                              << QString();
        QTest::newRow("sockets, nothing for 2 s") << false << qint64(2000) << quint64(0)
                                                  << "REC 00:02 | nothing on UDP ports 2368, 2369" << socketWarning;
        QTest::newRow("adapter, packets") << true << qint64(3600000) << quint64(5)
                                          << "REC 60:00 | adapter lo | 5 packets | 2.5 MB | 7 lost in the receive "
                                             "buffer"
                                          << QString();
        QTest::newRow("adapter, nothing for 2 s")
            << true << qint64(2500) << quint64(0) << "REC 00:02 | nothing from adapter lo, filter \"udp port 2368\""
            << "Nothing recorded for 2 s on adapter lo with filter \"udp port 2368\": check that the device sends "
               "to this computer through that adapter and to that port";
    }

    void texts()
    {
        QFETCH(bool, adapter);
        QFETCH(qint64, elapsedMs);
        QFETCH(quint64, packets);
        QFETCH(QString, field);
        QFETCH(QString, warning);
        RecordingProgress p;
        p.adapter = adapter;
        p.adapterName = "lo";
        p.filter = "udp port 2368";
        p.dataPort = "2368";
        p.telemetryPort = "2369";
        p.elapsedMs = elapsedMs;
        p.packets = packets;
        p.bytes = 2'450'000;
        p.receiveBufferDrops = 7;
        const RecordingStatusText text = recordingStatusText(p);
        QCOMPARE(text.field, field);
        QCOMPARE(text.nothingYet, !warning.isEmpty());
        QCOMPARE(text.warning, warning);
    }
};

QTEST_GUILESS_MAIN(RecordingStatusTextTest)

#include "RecordingStatusTextTest.moc"
