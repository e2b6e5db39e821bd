#include <QtTest>
class CaptureRecorderTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(CaptureRecorderTest)
#include "CaptureRecorderTest.moc"
