// The Foxglove server's plain parts: clients' requests as the protocol writes them, and what a
// malformed one is refused for; the messageData header's byte order; a server core that
// reports a taken port and serves again after a stop (the window's switch turned off and on).

#include "foxglove/FoxgloveProtocol.h"
#include "foxglove/FoxgloveServer.h"

#include <QtTest>

using namespace hvk32::foxglove;

class FoxgloveServerTest : public QObject {
    Q_OBJECT

private slots:
    void readsClientRequests_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("op"); // ClientRequest::Op
        QTest::addColumn<QString>("ids"); // subscription:channel pairs, or unsubscribed ids

        const int sub = int(ClientRequest::Op::Subscribe), unsub = int(ClientRequest::Op::Unsubscribe),
                  bad = int(ClientRequest::Op::Invalid);
        QTest::newRow("subscribe") << R"({"op":"subscribe","subscriptions":[{"id":0,"channelId":1},{"id":4294967295,"channelId":3}]})"
                                   << sub << "0:1 4294967295:3";
        QTest::newRow("unsubscribe") << R"({"op":"unsubscribe","subscriptionIds":[7,8]})" << unsub << "7 8";
        QTest::newRow("empty list") << R"({"op":"subscribe","subscriptions":[]})" << sub << "";
        QTest::newRow("not JSON") << "subscribe me" << bad << "";
        QTest::newRow("array") << "[]" << bad << "";
        QTest::newRow("no op") << R"({"subscriptions":[]})" << bad << "";
        QTest::newRow("unknown op") << R"({"op":"getParameters","parameterNames":[]})" << bad << "";
        QTest::newRow("negative id") << R"({"op":"subscribe","subscriptions":[{"id":-1,"channelId":1}]})" << bad << "";
        QTest::newRow("fractional id") << R"({"op":"unsubscribe","subscriptionIds":[1.5]})" << bad << "";
        QTest::newRow("id past uint32") << R"({"op":"unsubscribe","subscriptionIds":[4294967296]})" << bad << "";
        QTest::newRow("id as text") << R"({"op":"subscribe","subscriptions":[{"id":"1","channelId":1}]})" << bad << "";
        QTest::newRow("no channel") << R"({"op":"subscribe","subscriptions":[{"id":1}]})" << bad << "";
    }

    void readsClientRequests()
    {
        QFETCH(QString, text);
        QFETCH(int, op);
        QFETCH(QString, ids);
        const ClientRequest request = parseClientRequest(text.toStdString());
        QCOMPARE(int(request.op), op);
        QStringList got;
        for (const auto& s : request.subscriptions)
            got << QStringLiteral("%1:%2").arg(s.id).arg(s.channelId);
        for (const auto id : request.subscriptionIds)
            got << QString::number(id);
        QCOMPARE(got.join(' '), ids);
        QCOMPARE(request.error.empty(), op != int(ClientRequest::Op::Invalid));
    }

    void choosesTheSubprotocol()
    {
        QCOMPARE(chooseSubprotocol({"chat", "foxglove.sdk.v1"}), std::string("foxglove.sdk.v1"));
        QCOMPARE(chooseSubprotocol({"foxglove.websocket.v1"}), std::string("foxglove.websocket.v1"));
        QCOMPARE(chooseSubprotocol({"foxglove.websocket.v2", "chat"}), std::string());
        QCOMPARE(chooseSubprotocol({}), std::string());
    }

    void writesTheMessageDataHeaderLittleEndian()
    {
        char h[kMessageDataHeaderSize];
        writeMessageDataHeader(0x04030201u, 0x0C0B0A0908070605ull, h);
        QCOMPARE(QByteArray(h, sizeof h), QByteArray::fromHex("0101020304" "05060708090a0b0c"));
    }

    void reportsATakenPortAndServesAgainAfterAStop()
    {
        Server first;
        std::string error;
        ServerOptions options;
        options.port = 0;
        QVERIFY2(first.start(options, nullptr, &error), error.c_str());
        const std::uint16_t port = first.port();
        QVERIFY(port != 0);

        Server second;
        ServerOptions same = options;
        same.port = port;
        QVERIFY(!second.start(same, nullptr, &error));
        QVERIFY2(error.find(std::to_string(port)) != std::string::npos, error.c_str());

        first.publishPoints(std::string(64, 'x'), 1);
        first.stop();
        QCOMPARE(first.summary().framesPublished, std::uint64_t(1));
        // Off and on again: the same object listens again, with counts afresh.
        QVERIFY2(first.start(same, nullptr, &error), error.c_str());
        QCOMPARE(first.port(), port);
        QCOMPARE(first.summary().framesPublished, std::uint64_t(0));
        first.stop();
        first.stop(); // a second stop does nothing
    }
};

QTEST_GUILESS_MAIN(FoxgloveServerTest)
#include "FoxgloveServerTest.moc"
