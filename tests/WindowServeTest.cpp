// The Lidar tab's "Serve" switch as a user drives it: turned on, a Foxglove client that
// connects and subscribes to /hvk32/points gets the frame the window shows, encoded as the
// command line's serve encodes it; turned off, the connection is closed. A port already taken
// is said so, and the switch stays off.

#include "app/ServeSession.h"
#include "app/manwindow.h"
#include "foxglove/PointsMessage.h"
#include "records/AngleValues.h"
#include "support/SimulatorFrames.h"
#include "support/WindowFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolButton>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

using namespace hvk32;

namespace {

// A minimal client of the Foxglove WebSocket protocol on its own thread (the server's stop
// waits for the close to be answered): handshake, subscribe to /hvk32/points, keep the first
// message, answer the server's close.
class FoxgloveClient {
public:
    explicit FoxgloveClient(quint16 port) : thread_([this, port] { run(port); }) {}
    ~FoxgloveClient()
    {
        quit_ = true;
        thread_.join();
    }

    std::atomic<bool> subscribed{false};
    std::atomic<bool> closed{false}; // the server closed the connection
    QByteArray message()             // the first messageData frame, empty before
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return message_;
    }

private:
    void run(quint16 port)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(10000))
            return;
        socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
                     "Sec-WebSocket-Protocol: foxglove.websocket.v1\r\n\r\n");
        QByteArray in;
        while (!in.contains("\r\n\r\n")) {
            if (quit_ || !wait(socket))
                return;
            in += socket.readAll();
        }
        if (!in.startsWith("HTTP/1.1 101"))
            return;
        in.remove(0, in.indexOf("\r\n\r\n") + 4);
        for (;;) {
            int opcode = 0;
            QByteArray payload;
            while (!frame(in, opcode, payload)) {
                if (quit_ || !wait(socket))
                    return;
                in += socket.readAll();
            }
            if (opcode == 0x8) { // close: answered, as a client does
                send(socket, 0x8, payload.left(2));
                socket.waitForBytesWritten(5000);
                closed = true;
                return;
            }
            if (opcode == 0x1) {
                const QJsonObject o = QJsonDocument::fromJson(payload).object();
                if (o.value("op") != "advertise")
                    continue;
                for (const QJsonValue c : o.value("channels").toArray())
                    if (c.toObject().value("topic") == "/hvk32/points")
                        send(socket, 0x1,
                             QJsonDocument(QJsonObject{{"op", "subscribe"},
                                                       {"subscriptions", QJsonArray{QJsonObject{
                                                                             {"id", 7}, {"channelId", c.toObject().value("id")}}}}})
                                 .toJson(QJsonDocument::Compact));
                subscribed = true;
            } else if (opcode == 0x2) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (message_.isEmpty())
                    message_ = payload;
            }
        }
    }

    bool wait(QTcpSocket& socket)
    {
        while (!quit_) {
            if (socket.waitForReadyRead(100))
                return true;
            if (socket.state() != QAbstractSocket::ConnectedState)
                return false;
        }
        return false;
    }

    // Takes one whole unmasked frame from the front of `in`.
    static bool frame(QByteArray& in, int& opcode, QByteArray& payload)
    {
        if (in.size() < 2)
            return false;
        const auto* b = reinterpret_cast<const uchar*>(in.constData());
        quint64 length = b[1] & 0x7f;
        int header = 2;
        if (length == 126) {
            if (in.size() < 4)
                return false;
            length = quint64(b[2]) << 8 | b[3];
            header = 4;
        } else if (length == 127) {
            if (in.size() < 10)
                return false;
            length = 0;
            for (int i = 0; i < 8; ++i)
                length = length << 8 | b[2 + i];
            header = 10;
        }
        if (quint64(in.size()) < header + length)
            return false;
        opcode = b[0] & 0x0f;
        payload = in.mid(header, int(length));
        in.remove(0, header + int(length));
        return true;
    }

    // One masked frame, as a client must send.
    static void send(QTcpSocket& socket, int opcode, const QByteArray& payload)
    {
        QByteArray f;
        f.append(char(0x80 | opcode));
        if (payload.size() < 126) {
            f.append(char(0x80 | payload.size()));
        } else {
            f.append(char(0x80 | 126));
            f.append(char(payload.size() >> 8));
            f.append(char(payload.size() & 0xff));
        }
        const char mask[4] = {0x12, 0x34, 0x56, 0x78};
        f.append(mask, 4);
        for (int i = 0; i < payload.size(); ++i)
            f.append(char(payload[i] ^ mask[i % 4]));
        socket.write(f);
        socket.flush();
    }

    std::atomic<bool> quit_{false};
    std::mutex mutex_;
    QByteArray message_;
    std::thread thread_;
};

} // namespace

class WindowServeTest : public QObject, test::WindowFixture {
    Q_OBJECT

private slots:
    void init() { QVERIFY(openWindow()); }
    void cleanup() { window_.reset(); }

    void servesTheFrameShownAndClosesWhenTurnedOff()
    {
        QToolButton& serve = window_->serveButton();
        window_->servePortBox().setValue(0); // any free port
        serve.click();
        QVERIFY(serve.isChecked());
        QVERIFY(window_->serveSession().isServing());
        QVERIFY(!window_->servePortBox().isEnabled());
        const quint16 port = window_->serveSession().port();
        QVERIFY(port != 0);
        QTRY_VERIFY(window_->findChild<QLabel*>("label_serving")->text().contains(QString("ws://127.0.0.1:%1").arg(port)));

        FoxgloveClient client(port);
        QTRY_VERIFY_WITH_TIMEOUT(client.subscribed, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(window_->serveSession().connectedClients(), 1u, 20000);
        QTRY_VERIFY(window_->findChild<QLabel*>("label_serving")->text().contains("(clients: 1)"));
        // The subscription reaches the server after the client sent it: frames are shown
        // until one arrives.
        const LidarData frame = test::simulatorFrames(1).front();
        for (int i = 0; i < 200 && client.message().isEmpty(); ++i) {
            showFrame(frame);
            QTest::qWait(100);
        }
        const QByteArray message = client.message();
        // opcode 0x01, subscription id, receive time (ns), then the PointCloud2.
        QVERIFY(message.size() > 13);
        QCOMPARE(int(message[0]), 1);
        quint32 subscription = 0;
        quint64 time = 0;
        std::memcpy(&subscription, message.constData() + 1, 4);
        std::memcpy(&time, message.constData() + 5, 8);
        QCOMPARE(subscription, 7u);
        foxglove::PointsMessage points;
        const std::string expected =
            points.encode(frame, ConversionSnapshot::ofDevice(0, 0, publishedOffsetAngles()), time);
        QVERIFY(message.mid(13) == QByteArray::fromStdString(expected));

        serve.click();
        QVERIFY(!window_->serveSession().isServing());
        QTRY_VERIFY_WITH_TIMEOUT(client.closed, 20000);
        QVERIFY(window_->servePortBox().isEnabled());
        QVERIFY(window_->findChild<QLabel*>("label_serving")->isHidden());
        QVERIFY(prompts_.shown.isEmpty());
    }

    void saysWhenThePortIsTaken()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        window_->servePortBox().setValue(taken.serverPort());
        window_->serveButton().click();
        QVERIFY(!window_->serveButton().isChecked());
        QVERIFY(!window_->serveSession().isServing());
        QCOMPARE(prompts_.shown.size(), 1);
        QCOMPARE(prompts_.shown[0].kind, QString("warning"));
        QVERIFY2(prompts_.shown[0].text.contains(QString::number(taken.serverPort())),
                 qPrintable(prompts_.shown[0].text));
        // Another port serves.
        window_->servePortBox().setValue(0);
        window_->serveButton().click();
        QVERIFY(window_->serveSession().isServing());
        window_->close(); // closing the window stops the server
        QVERIFY(!window_->serveSession().isServing());
    }
};

int main(int argc, char** argv) { return test::runWindowSuite<WindowServeTest>(argc, argv); }

#include "WindowServeTest.moc"
