// velmora-cli --json run as a program, on both systems (under Wine on
// Windows): every document parses, is one line on standard output, and keeps
// the exit code. The exchanges are in CliProgramTest.cpp, against the simulator.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct JsonRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject document;
};

class CliJson : public ::testing::Test {
  protected:
    JsonRun Cli(const QStringList& args) const {
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral(VELMORA_CLI_PATH), args);
        EXPECT_TRUE(process.waitForFinished(60000)) << args.join(' ').toStdString();
        JsonRun run{process.exitCode(),
                    process.readAllStandardOutput(),
                    process.readAllStandardError(),
                    {}};
        QJsonParseError error{};
        run.document = QJsonDocument::fromJson(run.out, &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError)
            << args.join(' ').toStdString() << ": " << run.out.toStdString();
        EXPECT_EQ(run.out.count('\n'), 1) << "one line: " << run.out.toStdString();
        const QJsonObject& document = run.document;
        EXPECT_EQ(document.value("command").toString(), args.value(0));
        EXPECT_EQ(document.value("formatVersion").toInt(), 1);
        EXPECT_EQ(document.value("exitCode").toInt(-1), run.exitCode);
        return run;
    }

    QTemporaryDir m_dir;
};

QJsonObject Row(const QJsonObject& document, int index) {
    return document.value("rows").toArray().at(index).toObject();
}

}  // namespace

TEST_F(CliJson, MakeShowAndCheckGiveTheirRowsAndVerdict) {
    const JsonRun made = Cli({"make", "--zone", "Australia/Sydney", "--first-year", "2027",
                              "--output", "Zoë.dst", "--json"});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_EQ(made.document.value("output").toString(), QString("Zoë.dst"));
    EXPECT_EQ(Row(made.document, 0).value("begins").toString(), "2027-10-03");
    EXPECT_EQ(Row(made.document, 0).value("ends").toString(), "2027-04-04");

    const JsonRun shown = Cli({"show", "Zoë.dst", "--month-first", "--json"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.document.value("rows").toArray().size(), 15);
    const QJsonObject first = Row(shown.document, 0);
    EXPECT_EQ(first.value("begins").toString(), "2027-10-03");
    EXPECT_EQ(first.value("beginText").toString(), "10/03/2027");
    EXPECT_EQ(first.value("record").toString(), "030A04041B");
    const QString bytes = shown.document.value("bytes").toString();
    EXPECT_EQ(bytes.size(), 150);
    EXPECT_EQ(made.document.value("bytes").toString(), bytes);

    const JsonRun same = Cli({"check", "Zoë.dst", "--zone", "Australia/Sydney", "--json"});
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_EQ(same.document.value("verdict").toString(), "match");

    QFile file(m_dir.filePath("Zoë.dst"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(3 * 5 + 1);
    file.write("\x0B", 1);  // row 4 (2030) begins in November
    file.close();
    const JsonRun changed = Cli({"check", "Zoë.dst", "--zone=Australia/Sydney", "--json"});
    EXPECT_EQ(changed.exitCode, 5);
    EXPECT_EQ(changed.document.value("verdict").toString(), "differs");
    EXPECT_EQ(changed.document.value("differingRows").toInt(), 1);
    const QJsonObject row4 = Row(changed.document, 3);
    EXPECT_FALSE(row4.value("matches").toBool(true));
    EXPECT_EQ(row4.value("file").toObject().value("begins").toString(), "2030-11-06");
    EXPECT_EQ(row4.value("zone").toObject().value("begins").toString(), "2030-10-06");
}

TEST_F(CliJson, PortsGivesEveryComPortAndWhereItLeads) {
    QFile ini(m_dir.filePath("Velmora.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Ports]\r\nCOM2=" + m_dir.filePath("absent").toUtf8() + "\r\n");
    ini.close();
    const JsonRun run = Cli({"ports", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonArray ports = run.document.value("comPorts").toArray();
    ASSERT_EQ(ports.size(), 8);
    const QJsonObject com2 = ports.at(1).toObject();
    EXPECT_EQ(com2.value("name").toString(), "COM2");
    EXPECT_EQ(com2.value("path").toString(), m_dir.filePath("absent"));
    EXPECT_EQ(com2.value("source").toString(), "ports");
    EXPECT_FALSE(com2.value("present").toBool(true));
    EXPECT_EQ(ports.at(2).toObject().value("source").toString(), "default");
}

// Each error that ends a command is a document with "error" and the exit
// code the command has without --json; the message stays on standard error.
TEST_F(CliJson, ErrorsAreDocumentsWithTheUsualExitCode) {
    const JsonRun missing = Cli({"show", "Fehlt ö.dst", "--json"});
    EXPECT_EQ(missing.exitCode, 1);
    const QString message = missing.document.value("error").toObject().value("message").toString();
    EXPECT_TRUE(message.contains("Fehlt ö.dst")) << message.toStdString();
    EXPECT_TRUE(QString::fromUtf8(missing.err).contains("Fehlt ö.dst"));

    // Usage errors, also where --json comes after the faulty argument.
    for (const QStringList& args :
         {QStringList{"send", "t.dst", "--json", "--port", "12"},
          QStringList{"delete", "--port", "12", "--json"}, QStringList{"check", "--json"}}) {
        const JsonRun usage = Cli(args);
        EXPECT_EQ(usage.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_FALSE(
            usage.document.value("error").toObject().value("message").toString().isEmpty());
    }
}
