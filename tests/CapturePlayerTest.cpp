#include <QtTest>
class CapturePlayerTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(CapturePlayerTest)
#include "CapturePlayerTest.moc"
