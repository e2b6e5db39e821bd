// The option parser shared by hvk32-cli's commands and hvk32-sim: what it takes, and which
// of the tool's messages it gives for each kind of wrong argument.

#include "platform/OptionParser.h"

#include <QtTest>

#include <string>
#include <vector>

using hvk32::platform::OptionMessages;
using hvk32::platform::OptionParser;

namespace {

struct Parsed {
    OptionParser::Result result = OptionParser::Result::Run;
    std::string said; // the one message given, "kind:option[:value]"
    bool on = false;
    int port = 0;
    std::string name;
};

Parsed parse(std::vector<std::string> arguments)
{
    Parsed p;
    OptionMessages m;
    m.missingValue = [&p](const std::string& o) { p.said = "missing:" + o; };
    m.badValue = [&p](const std::string& o, const std::string& v) { p.said = "bad:" + o + ":" + v; };
    m.unknown = [&p](const std::string& a) { p.said = "unknown:" + a; };
    m.refused = [&p](const std::string& c) { p.said = "refused:" + c; };
    OptionParser parser(m);
    parser.flag("--on", p.on)
        .integer("--port", 1, 65535, p.port)
        .value(
            "--name", [&p](const std::string& v) { p.name = v; return v != "x"; },
            [](const std::string& v) { return "no " + v; });
    arguments.insert(arguments.begin(), "tool");
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    p.result = parser.parse(static_cast<int>(argv.size()), argv.data());
    return p;
}

} // namespace

class OptionParserTest : public QObject {
    Q_OBJECT

private slots:
    void takesBothValueForms()
    {
        const Parsed p = parse({"--port", "2368", "--on", "--name=a=b"});
        QVERIFY(p.result == OptionParser::Result::Run);
        QCOMPARE(p.port, 2368);
        QVERIFY(p.on);
        QCOMPARE(p.name, std::string("a=b"));
        QVERIFY(p.said.empty());
        // A value may look like an option.
        QCOMPARE(parse({"--name", "--on"}).name, std::string("--on"));
    }

    void reportsEachWrongArgumentOnce_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("no value at the end") << QStringList{"--on", "--port"} << "missing:--port";
        QTest::newRow("out of range") << QStringList{"--port", "0"} << "bad:--port:0";
        QTest::newRow("trailing text") << QStringList{"--port=12x"} << "bad:--port:12x";
        QTest::newRow("empty number") << QStringList{"--port="} << "bad:--port:";
        QTest::newRow("own complaint") << QStringList{"--name", "x"} << "refused:no x";
        QTest::newRow("unknown") << QStringList{"--bogus", "1"} << "unknown:--bogus";
        QTest::newRow("unknown with value") << QStringList{"--bogus=1"} << "unknown:--bogus";
        QTest::newRow("switch with value") << QStringList{"--on=1"} << "unknown:--on";
        QTest::newRow("not an option") << QStringList{"file"} << "unknown:file";
        QTest::newRow("stops at the first") << QStringList{"--port", "0", "--bogus"} << "bad:--port:0";
    }

    void reportsEachWrongArgumentOnce()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        std::vector<std::string> args;
        for (const QString& a : arguments)
            args.push_back(a.toStdString());
        const Parsed p = parse(args);
        QVERIFY(p.result == OptionParser::Result::Error);
        QCOMPARE(QString::fromStdString(p.said), said);
    }

    void helpWinsOverLaterArguments()
    {
        QVERIFY(parse({"--on", "-h", "--bogus"}).result == OptionParser::Result::Help);
        QVERIFY(parse({"--bogus", "--help"}).result == OptionParser::Result::Error);
    }

    void numbersAreWholeAndFinite()
    {
        long n = 7;
        QVERIFY(hvk32::platform::parseInteger("-5", -10, 10, n) && n == -5);
        QVERIFY(!hvk32::platform::parseInteger("99999999999999999999", 0, 1L << 30, n));
        QVERIFY(!hvk32::platform::parseInteger("1e3", 0, 5000, n));
        double d = 0;
        QVERIFY(hvk32::platform::parseFiniteNumber("12.5", d) && d == 12.5);
        for (const char* text : {"nan", "inf", "-inf", "", "1.5s"})
            QVERIFY2(!hvk32::platform::parseFiniteNumber(text, d), text);
    }
};

QTEST_GUILESS_MAIN(OptionParserTest)
#include "OptionParserTest.moc"
