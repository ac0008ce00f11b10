#include "tests/support/Process.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>

namespace {

const QString dumpTool = QUORVEX_DUMP;
const QString generator = QUORVEX_GEN;
const QString sample = QUORVEX_SAMPLES "/sample-call.pcap";
const QString realCall = QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap";

// What the tool prints for arguments that make no sense.
QByteArray dumpUsageText() {
    const QByteArray usage = runProcess(dumpTool, {"--no-such-option"}).err;
    EXPECT_TRUE(usage.startsWith("usage: quorvex-dump [--debug]")) << usage.toStdString();
    EXPECT_TRUE(usage.contains("-Y, --display-filter EXPR")) << usage.toStdString();
    return usage;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(DumpTool, JsonLinesCarryExactlyTheKeysOfEachFrame) {
    const ProcessResult run = runProcess(dumpTool, {sample});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const auto lines = outputLines(run.out);
    ASSERT_EQ(lines.size(), 38);
    for (const QByteArray& line : lines) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        const QJsonObject record = document.object();
        for (const char* key : {"source", "destination", "isretry", "type", "subclass", "timestamp",
                                "scall", "dcall", "time"}) {
            EXPECT_TRUE(record.contains(key)) << key;
        }
        EXPECT_EQ(record.contains("informationElements"), record["type"] == "IAX Control");
    }
    // The keys come in the order the frame's map holds them.
    EXPECT_TRUE(lines[0].startsWith(
        R"({"source":"192.0.2.10","destination":"198.51.100.20","isretry":"No","type":"IAX Control","subclass":"REGREQ","timestamp":"00003","scall":"00001","dcall":"00000","time":")"));
    EXPECT_TRUE(lines[0].endsWith(
        R"(,"informationElements":[{"parameter":"Username","value":"alice"},{"parameter":"Refresh Interval","value":"60"}]})"));

    const QJsonObject call = QJsonDocument::fromJson(lines[5]).object();
    EXPECT_EQ(call["subclass"], "NEW");
    const QJsonArray elements = call["informationElements"].toArray();
    ASSERT_GE(elements.size(), 4);
    EXPECT_EQ(elements[3].toObject()["parameter"], "Calling Name");
    EXPECT_EQ(elements[3].toObject()["value"], QString::fromUtf8("Alice M\xC3\xBCller"));
}

TEST(DumpTool, TsvHasAHeaderAndTwelveColumnsPerFrame) {
    const ProcessResult run = runProcess(dumpTool, {"--format", "tsv", sample});
    ASSERT_EQ(run.exitCode, 0);
    const auto lines = outputLines(run.out);
    ASSERT_EQ(lines.size(), 39);
    EXPECT_EQ(lines[0],
              "source\tdestination\tisretry\ttype\tsubclass\ttimestamp\tscall\tdcall\ttime"
              "\tcaptured\tsourcePort\tdestinationPort");
    for (const QByteArray& line : lines) {
        EXPECT_EQ(line.count('\t'), 11) << line.toStdString();
    }
    EXPECT_TRUE(lines[17].startsWith(
        "192.0.2.10\t198.51.100.20\tN/A\tMini Frame\tN/A\t02100\t00002\tN/A\t"));
    EXPECT_EQ(outputLines(runProcess(dumpTool, {"--format=tsv", sample}).out).size(), 39);
}

TEST(DumpTool, StandardOutputCarriesRecordsOnly) {
    const ProcessResult run = runProcess(dumpTool, {realCall});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(outputLines(run.out).size(), 50);
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    // The elements not decoded are listed on asking.
    const ProcessResult verbose = runProcess(dumpTool, {"--verbose", realCall});
    EXPECT_EQ(verbose.out, run.out);
    EXPECT_TRUE(verbose.err.contains("Unknown IE 255 at position: 38 with length: 4\n0002\n"))
        << verbose.err.toStdString();

    // "-" reads the capture from standard input.
    const ProcessResult piped = runProcess(dumpTool, {"-"}, fileBytes(realCall));
    ASSERT_EQ(piped.exitCode, 0) << piped.err.toStdString();
    EXPECT_EQ(outputLines(piped.out).size(), 50);
}

TEST(DumpTool, ExitStatusTellsWhatWentWrong) {
    const ProcessResult missing = runProcess(dumpTool, {"/nonexistent/capture.pcap"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.isEmpty());
    // Once, as "Capture failed".
    EXPECT_EQ(missing.err,
              "Capture failed: /nonexistent/capture.pcap: No such file or directory\n");

    for (const QStringList& arguments :
         {QStringList{}, QStringList{"--format", "xml", sample}, QStringList{sample, sample},
          QStringList{"--loud", sample}, QStringList{"--format"}, QStringList{"--live", sample},
          QStringList{"--count", "5", sample}, QStringList{"--live", "--count", "0"},
          QStringList{"--live", "--duration", "soon"}, QStringList{"--live", "--filter="},
          // A ring needs a live run, -w, and a size or an age; its options are
          // filesize:KB, duration:S (at least 1) and files:N.
          QStringList{"--live", "-w", "r.pcap", "-b", "files:3"},
          QStringList{"--live", "-b", "filesize:10"},
          QStringList{"-w", "r.pcap", "-b", "filesize:10", sample},
          QStringList{"--live", "-w", "r.pcap", "-b", "filesize:0"},
          QStringList{"--live", "-w", "r.pcap", "-b", "duration:0.5"},
          QStringList{"--live", "-w", "r.pcap", "-b", "size:10"},
          QStringList{"--live", "-w", "r.pcap", "-b", "filesize:10", "-T", "fields", "-e",
                      "ip.src"},
          QStringList{"--timing", "sent", sample}, QStringList{"--audio", "1", sample},
          QStringList{"--audio", "1", "a.wav", "--streams", sample},
          QStringList{"--audio", "1", "a.wav", "--timing", "late", sample}, QStringList{"-Y"},
          QStringList{"--registrations", "-Y", "ip.src", sample},
          QStringList{"--flow", "1", "-Y", "ip.src", sample}}) {
        const ProcessResult bad = runProcess(dumpTool, arguments);
        EXPECT_EQ(bad.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_EQ(QString::fromUtf8(bad.err), QString::fromUtf8(dumpUsageText()))
            << arguments.join(' ').toStdString();
    }
}

TEST(DumpTool, ACaptureCutShortPrintsWhatWasReadAndFails) {
    QTemporaryDir dir;
    QByteArray bytes = fileBytes(realCall);
    bytes.chop(100);
    const QString cut = dir.filePath("cut.pcap");
    QFile file(cut);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    const ProcessResult run = runProcess(dumpTool, {cut});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(outputLines(run.out).size(), 49);
    EXPECT_TRUE(run.err.contains("Capture failed: truncated dump file")) << run.err.toStdString();
}

TEST(SampleCapture, GeneratorReproducesTheBundledFile) {
    QTemporaryDir dir;
    const QString fresh = dir.filePath("sample.pcap");
    ASSERT_EQ(runProcess(generator, {"sample", fresh}).exitCode, 0);
    EXPECT_EQ(fileBytes(fresh), fileBytes(sample))
        << "samples/sample-call.pcap is stale: regenerate it with quorvex-gen sample";
}

// The texts made from the records' facts are byte for byte those the earlier
// records, which kept texts, printed (tests/data/golden). Only the local time
// of decoding differs from run to run.
TEST(DumpTool, OutputEqualsTheGoldenFiles) {
    qputenv("TZ", "UTC"); // capture times are shown in local time
    QTemporaryDir dir;
    const QString allKinds = dir.filePath("all-kinds.pcap");
    ASSERT_EQ(runProcess(generator, {"all-kinds", allKinds}).exitCode, 0);
    const QRegularExpression jsonTime(R"("time":"\d\d:\d\d:\d\d")");
    const QRegularExpression tsvTime(R"(\t\d\d:\d\d:\d\d\t)");
    for (const auto& [file, golden] :
         {std::pair{allKinds, QString("allkinds")}, std::pair{sample, QString("sample-call")},
          std::pair{realCall, QString("public-iax2-call-2005")}}) {
        const QString goldenPath = QUORVEX_TEST_DATA "/golden/" + golden;
        const ProcessResult json = runProcess(dumpTool, {file});
        ASSERT_EQ(json.exitCode, 0) << golden.toStdString();
        EXPECT_EQ(QString::fromUtf8(json.out).replace(jsonTime, R"("time":"T")"),
                  QString::fromUtf8(fileBytes(goldenPath + ".jsonl")))
            << golden.toStdString();
        const ProcessResult tsv = runProcess(dumpTool, {"--format", "tsv", file});
        EXPECT_EQ(QString::fromUtf8(tsv.out).replace(tsvTime, "\tT\t"),
                  QString::fromUtf8(fileBytes(goldenPath + ".tsv")))
            << golden.toStdString();
    }
}

// A pcapng file whose second interface has another link type: the capture
// library refuses it, and the error says what to do.
TEST(DumpTool, APcapngFileMixingLinkTypesSaysHowToSplitIt) {
    QByteArray file;
    auto put32 = [&file](quint32 v) {
        for (int i = 0; i < 4; ++i) {
            file.append(static_cast<char>(v >> (8 * i)));
        }
    };
    for (const quint32 word : {0x0A0D0D0Au, 28u, 0x1A2B3C4Du, 1u, 0xFFFFFFFFu, 0xFFFFFFFFu, 28u}) {
        put32(word); // section header, version 1.0, length unknown
    }
    for (const quint32 linkType : {1u, 101u}) {
        for (const quint32 word : {1u, 20u, linkType, 65535u, 20u}) {
            put32(word); // interface description
        }
    }
    QTemporaryDir dir;
    QFile mixed(dir.filePath("mixed.pcapng"));
    ASSERT_TRUE(mixed.open(QIODevice::WriteOnly));
    mixed.write(file);
    mixed.close();
    const ProcessResult run = runProcess(dumpTool, {mixed.fileName()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("Capture failed: an interface has a type 101 different"))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("frame.interface_id == 0")) << run.err.toStdString();
    EXPECT_EQ(run.err.count('\n'), 1); // printed once
}

// File names are bytes: one that is not valid UTF-8 opens all the same.
TEST(DumpTool, OpensAFileWhoseNameIsNotUtf8) {
    QTemporaryDir dir;
    const std::string name = dir.path().toStdString() + "/caf\xE9-\xFF.pcap";
    std::filesystem::copy_file(sample.toStdString(), name); // a path of bytes
    const std::string out = dir.path().toStdString() + "/out.jsonl";
    const int status = std::system(
        ("'" + dumpTool.toStdString() + "' '" + name + "' > '" + out + "' 2> /dev/null").c_str());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(outputLines(fileBytes(QString::fromStdString(out))).size(), 38);
    std::filesystem::remove(name); // QTemporaryDir cannot name it
}

// At the memory limit a load stops with an error, keeping and printing what
// it has, instead of growing until the system kills it.
TEST(DumpTool, ALoadStopsAtTheMemoryLimitKeepingWhatItHas) {
    QTemporaryDir dir;
    const QString mix = dir.filePath("mix.pcap");
    ASSERT_EQ(runProcess(generator, {"mix", "40000", mix}).exitCode, 0);
    // Printing frames lets each go once printed: 2 MB, half of what this
    // file's records take, is enough for any file.
    const ProcessResult streamed =
        runProcess(dumpTool, {"--memory-limit", "2M", "--format", "tsv", mix});
    EXPECT_EQ(streamed.exitCode, 0) << streamed.err.toStdString();
    EXPECT_EQ(outputLines(streamed.out).size(), 40001);
    // What needs every record stops at the limit, keeping what it has.
    const ProcessResult run = runProcess(dumpTool, {"--memory-limit", "1M", "--stats", mix});
    EXPECT_EQ(run.exitCode, 1);
    const QString errors = QString::fromUtf8(run.err);
    const QRegularExpression limit(
        R"(^Capture failed: memory limit reached after (\d+) frames\n$)");
    const auto match = limit.match(errors);
    ASSERT_TRUE(match.hasMatch()) << errors.toStdString();
    const int kept = match.captured(1).toInt();
    EXPECT_GT(kept, 1000);
    EXPECT_LT(kept, 40000);
    EXPECT_TRUE(run.out.contains(QStringLiteral("\"frames\":%1,").arg(kept).toUtf8()))
        << run.out.left(300).toStdString();

    // The same through the environment; a size that is not one is refused.
    QProcess limited;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUORVEX_MEMORY_LIMIT", "1M");
    limited.setProcessEnvironment(environment);
    limited.start(dumpTool, {"--stats", mix});
    ASSERT_TRUE(limited.waitForFinished());
    EXPECT_EQ(limited.exitCode(), 1);
    environment.insert("QUORVEX_MEMORY_LIMIT", "lots");
    limited.setProcessEnvironment(environment);
    limited.start(dumpTool, {mix});
    ASSERT_TRUE(limited.waitForFinished());
    EXPECT_EQ(limited.exitCode(), 2);
}

// What is made of the frames counts too: the calls a load finds, and a
// call's decoded audio. 200,000 NEWs hold about 70 MB of records, and their
// calls about 90 MB more.
TEST(DumpTool, CallsAndAudioCountAgainstTheMemoryLimit) {
    QTemporaryDir dir;
    const QString news = dir.filePath("news.pcap");
    ASSERT_EQ(runProcess(generator, {"news", "200000", news}).exitCode, 0);
    EXPECT_EQ(runProcess(dumpTool, {"--memory-limit", "100M", "--format", "tsv", news}).exitCode,
              0);
    const ProcessResult calls = runProcess(dumpTool, {"--memory-limit", "100M", "--calls", news});
    EXPECT_EQ(calls.exitCode, 1);
    const auto match =
        QRegularExpression(R"(^Capture failed: memory limit reached after (\d+) frames\n$)")
            .match(QString::fromUtf8(calls.err));
    ASSERT_TRUE(match.hasMatch()) << calls.err.toStdString();
    EXPECT_LT(match.captured(1).toInt(), 170000);
    EXPECT_EQ(outputLines(calls.out).size(), match.captured(1).toInt()); // a call each, printed

    // Three and a half hours of audio, from five voice frames.
    const QString jump = dir.filePath("jump.pcap");
    ASSERT_EQ(runProcess(generator, {"time-jump", jump}).exitCode, 0);
    const QString wav = dir.filePath("jump.wav");
    const ProcessResult audio =
        runProcess(dumpTool, {"--memory-limit", "10M", "--audio", "1", wav, jump});
    EXPECT_EQ(audio.exitCode, 1);
    EXPECT_EQ(audio.err, "quorvex-dump: memory limit reached: the call's audio would need about "
                         "385 MiB\n");
    EXPECT_FALSE(QFile::exists(wav));
}

TEST(DumpTool, CallsAndRegistrations) {
    const ProcessResult calls = runProcess(dumpTool, {"--calls", realCall});
    ASSERT_EQ(calls.exitCode, 0) << calls.err.toStdString();
    const auto lines = outputLines(calls.out);
    ASSERT_EQ(lines.size(), 1); // the public capture holds one call
    const QJsonObject call = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(call["caller"].toString(), "82.110.36.84:4569");
    EXPECT_EQ(call["callee"].toString(), "192.168.2.120:4566");
    EXPECT_EQ(call["callerCall"].toInt(), 4);
    EXPECT_EQ(call["calleeCall"].toInt(), 23);
    EXPECT_EQ(call["from"].toString(), "447782267949");
    EXPECT_EQ(call["to"].toString(), "442088205155");
    EXPECT_EQ(call["codec"].toString(), "GSM Full Rate");
    EXPECT_EQ(call["frames"].toInt(), 50);
    EXPECT_FALSE(call["startedBeforeCapture"].toBool());
    EXPECT_NEAR(call["duration"].toDouble(), 0.526015, 1e-6);

    const ProcessResult sampleCalls = runProcess(dumpTool, {"--calls", "--format", "tsv", sample});
    const auto rows = outputLines(sampleCalls.out);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].startsWith("caller\tcallee\tcallerCall\tcalleeCall\tfrom\t"));
    EXPECT_TRUE(rows[1].contains("\tCompleted\tNormal Clearing\tcaller\t"))
        << rows[1].toStdString();

    const ProcessResult registrations = runProcess(dumpTool, {"--registrations", sample});
    const auto registration =
        QJsonDocument::fromJson(outputLines(registrations.out).value(0)).object();
    EXPECT_EQ(registration["username"].toString(), "alice");
    EXPECT_EQ(registration["result"].toString(), "REGACK");
    EXPECT_EQ(registration["refresh"].toInt(), 60);
    EXPECT_EQ(runProcess(dumpTool, {"--live", "--calls"}).exitCode, 2);

    // The ladder: the two ends, an arrow per full frame, a voice band per direction.
    const auto ladder = outputLines(runProcess(dumpTool, {"--flow", "1", sample}).out);
    ASSERT_EQ(ladder.size(), 14);
    EXPECT_TRUE(ladder[0].contains("192.0.2.10:4569") && ladder[0].contains("198.51.100.20:4569"));
    EXPECT_TRUE(ladder[1].contains("|--------------- NEW ---------------->|"))
        << ladder[1].toStdString();
    EXPECT_TRUE(ladder[2].contains("|<-------------- ACCEPT --------------|"));
    EXPECT_EQ(QString::fromUtf8(runProcess(dumpTool, {"--flow", "1", sample}).out)
                  .count("voice x11 G.711 uLaw"),
              2);
    EXPECT_EQ(runProcess(dumpTool, {"--flow", "2", sample}).exitCode, 1);

    // The sample's two voice streams: 11 G.711 frames each way, none lost.
    const auto streams = outputLines(runProcess(dumpTool, {"--streams", sample}).out);
    ASSERT_EQ(streams.size(), 2);
    for (const auto& [line, direction] :
         {std::pair{streams[0], QString("caller")}, std::pair{streams[1], QString("callee")}}) {
        const QJsonObject stream = QJsonDocument::fromJson(line).object();
        EXPECT_EQ(stream["direction"].toString(), direction);
        EXPECT_EQ(stream["call"].toInt(), 1);
        EXPECT_EQ(stream["codec"].toString(), "G.711 uLaw");
        EXPECT_EQ(stream["packets"].toInt(), 11);
        EXPECT_EQ(stream["expected"].toInt(), 11);
        EXPECT_EQ(stream["lost"].toInt(), 0);
    }
    const auto tsv =
        outputLines(runProcess(dumpTool, {"--streams", "--format", "tsv", sample}).out);
    ASSERT_EQ(tsv.size(), 3);
    EXPECT_TRUE(tsv[0].startsWith("call\tdirection\tsource\tdestination\tcodec\tpackets\t"));
}

// A call's voice as WAV, the same whether read back from pcap or pcapng, and
// never over an existing file.
TEST(DumpTool, WritesOneCallsAudio) {
    QTemporaryDir dir;
    const QString tones = dir.filePath("tones.pcap");
    ASSERT_EQ(runProcess(generator, {"tones", tones}).exitCode, 0);
    const QString wav = dir.filePath("call.wav");
    const ProcessResult run = runProcess(dumpTool, {"--audio", "4", wav, tones}); // GSM
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(
        run.err.contains("caller: GSM Full Rate, 49 payloads decoded, 1 refused by the decoder"))
        << run.err.toStdString();
    const QByteArray audio = fileBytes(wav);
    EXPECT_TRUE(audio.startsWith("RIFF"));
    EXPECT_EQ(audio.size(), 44 + 8000 * 4); // one second of stereo 16-bit at 8 kHz

    const ProcessResult again = runProcess(dumpTool, {"--audio", "4", wav, tones});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains("File exists")) << again.err.toStdString();
    EXPECT_EQ(fileBytes(wav), audio);

    const QString pcapng = dir.filePath("tones.pcapng");
    if (runProcess("editcap", {"-F", "pcapng", tones, pcapng}).exitCode == 0) {
        const QString fromPcapng = dir.filePath("pcapng.wav");
        ASSERT_EQ(runProcess(dumpTool, {"--audio", "4", fromPcapng, pcapng}).exitCode, 0);
        EXPECT_EQ(fileBytes(fromPcapng), audio);
    }
    const ProcessResult noDecoder =
        runProcess(dumpTool, {"--audio", "10", dir.filePath("x.wav"), tones});
    EXPECT_EQ(noDecoder.exitCode, 1);
    EXPECT_TRUE(noDecoder.err.contains("no decoder for G.723.1")) << noDecoder.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("x.wav")));
}

// One call's packets, written unchanged: exactly those packets, byte for byte,
// and never over an existing file.
TEST(DumpTool, WritesOneCallsPackets) {
    QTemporaryDir dir;
    const QString out = dir.filePath("call.pcap");
    ASSERT_EQ(runProcess(dumpTool, {"--call", "1", "--write", out, sample}).exitCode, 0);
    const QByteArray all = fileBytes(sample);
    const QByteArray one = fileBytes(out);
    EXPECT_EQ(one.left(24), all.left(24)); // the same file header
    // The records of a little-endian pcap file: record header and data.
    auto records = [](const QByteArray& file) {
        QList<QByteArray> list;
        for (qsizetype at = 24; at + 16 <= file.size();) {
            const auto* header = reinterpret_cast<const unsigned char*>(file.constData() + at + 8);
            const qsizetype length = header[0] | header[1] << 8 | header[2] << 16 | header[3] << 24;
            list.append(file.mid(at, 16 + length));
            at += 16 + length;
        }
        return list;
    };
    // The sample's call is every packet after the registration's five.
    EXPECT_EQ(records(one), records(all).mid(5));
    const ProcessResult calls = runProcess(dumpTool, {"--calls", sample});
    EXPECT_EQ(runProcess(dumpTool, {"--calls", out}).out, calls.out); // the same call

    EXPECT_EQ(runProcess(dumpTool, {"--call", "1", "--write", out, sample}).exitCode, 1);
    EXPECT_EQ(fileBytes(out), one); // not replaced
    EXPECT_EQ(
        runProcess(dumpTool, {"--call", "9", "--write", dir.filePath("x.pcap"), sample}).exitCode,
        1);
    const ProcessResult piped =
        runProcess(dumpTool, {"--call", "1", "--write", dir.filePath("y.pcap"), "-"}, all);
    EXPECT_EQ(piped.exitCode, 1);
    EXPECT_EQ(piped.err, "quorvex-dump: the packets cannot be read again: the capture came "
                         "from standard input\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("y.pcap")));
}

// -Y prints the frames an expression selects, the calls holding one, and
// their streams; a bad expression is a usage error that says why.
TEST(DumpTool, DisplayFilterSelectsFramesCallsAndStreams) {
    EXPECT_EQ(outputLines(runProcess(dumpTool, {"-Y", "iax2.packet_type == 0", sample}).out).size(),
              20);
    EXPECT_EQ(outputLines(runProcess(dumpTool, {"--display-filter=quorvex.call == 1", sample}).out)
                  .size(),
              33);
    EXPECT_EQ(
        outputLines(runProcess(dumpTool, {"--calls", "-Y", "iax2.iax.subclass == NEW", sample}).out)
            .size(),
        1);
    EXPECT_EQ(
        outputLines(
            runProcess(dumpTool, {"--calls", "-Y", "iax2.iax.subclass == REGACK", sample}).out)
            .size(),
        0);
    EXPECT_EQ(
        outputLines(runProcess(dumpTool, {"--streams", "-Y", "frame.number == 20", sample}).out)
            .size(),
        2);
    const ProcessResult bad = runProcess(dumpTool, {"-Y", "ip.adr == 1.2.3.4", sample});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.err, "quorvex-dump: display filter: unknown field 'ip.adr' at column 1\n");
    EXPECT_TRUE(bad.out.isEmpty());
    // Link-layer fields are read back from the file, which standard input is not.
    const ProcessResult piped = runProcess(dumpTool, {"-Y", "eth.src", "-"}, fileBytes(sample));
    EXPECT_EQ(piped.exitCode, 2);
    EXPECT_TRUE(piped.err.contains("standard input")) << piped.err.toStdString();
    EXPECT_EQ(outputLines(runProcess(dumpTool, {"-Y", "eth.src == 02:00:00:00:00:0a", sample}).out)
                  .size(),
              20);
}

// tshark's own options for what is printed: -T fields with -e and -E, -V, -x,
// -T json and -G fields; what makes no sense is refused.
TEST(DumpTool, PrintsFieldsDetailsAndBytesAsTsharkDoes) {
    const auto fields = [](const QStringList& options) {
        return runProcess(dumpTool, QStringList{"-T", "fields"} + options + QStringList{sample});
    };
    const ProcessResult plain = fields({"-e", "frame.number", "-e", "iax2.ie_id"});
    ASSERT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_EQ(outputLines(plain.out).value(0), "1\t6,19");
    const std::pair<QStringList, QByteArray> cases[] = {
        {{"-E", "header=y", "-e", "iax2.src_call"}, "iax2.src_call"},
        {{"-E", "separator=/s", "-e", "frame.number", "-e", "iax2.ie_id"}, "1 6,19"},
        {{"-E", "separator=;", "-E", "occurrence=f", "-e", "frame.number", "-e", "iax2.ie_id"},
         "1;6"},
        {{"-E", "occurrence=l", "-e", "iax2.ie_id"}, "19"},
        {{"-E", "aggregator=/s", "-e", "iax2.ie_id"}, "6 19"},
        {{"-E", "quote=d", "-e", "iax2.iax.username"}, "\"alice\""},
        {{"-E", "quote=s", "-e", "iax2.iax.username", "-e", "iax2.dst_call"}, "'alice'\t'0'"},
    };
    for (const auto& [options, first] : cases) {
        EXPECT_EQ(outputLines(fields(options).out).value(0), first)
            << options.join(' ').toStdString();
    }

    // -V: the details of each frame, a blank line after; -x: its bytes.
    const ProcessResult details =
        runProcess(dumpTool, {"-V", "-x", "-Y", "frame.number == 6", sample});
    ASSERT_EQ(details.exitCode, 0) << details.err.toStdString();
    const QString text = QString::fromUtf8(details.out);
    EXPECT_TRUE(text.startsWith("Frame 6: 132 bytes on wire (1056 bits)")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nInter-Asterisk eXchange v2\n    Packet type: Full packet (1)\n"));
    EXPECT_TRUE(text.contains("    Information Element: Name of caller: Alice M\u00fcller\n"
                              "        IE id: Name of caller (4)\n        Length: 12\n"));
    EXPECT_TRUE(text.contains(
        "0000  02 00 00 00 00 14 02 00 00 00 00 0a 08 00 45 00   ..............E.\n"));

    // -T json: valid JSON, a packet per frame, its layers by protocol.
    const ProcessResult json = runProcess(dumpTool, {"-T", "json", sample});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    QJsonParseError error{};
    const QJsonArray packets = QJsonDocument::fromJson(json.out, &error).array();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    ASSERT_EQ(packets.size(), 38);
    const QJsonObject layers = packets[5].toObject()["_source"].toObject()["layers"].toObject();
    EXPECT_EQ(layers.keys(), (QStringList{"eth", "frame", "iax2", "ip", "udp"}));
    EXPECT_EQ(layers["iax2"].toObject()["iax2.iax.subclass"].toString(), "1");

    // -G fields: the registry, one line each.
    const auto glossary = outputLines(runProcess(dumpTool, {"-G", "fields"}).out);
    EXPECT_GT(glossary.size(), 190);
    EXPECT_TRUE(
        glossary.contains("F\tSource call\tiax2.src_call\tFT_UINT16\tiax2\tBASE_DEC\t0x7fff\t"));
    EXPECT_TRUE(glossary.contains("P\tInter-Asterisk eXchange v2\tiax2"));

    for (const QStringList& arguments :
         {QStringList{"-T", "fields", sample}, QStringList{"-e", "frame.number", sample},
          QStringList{"-T", "pdml", sample}, QStringList{"-E", "header=maybe", sample},
          QStringList{"-T", "fields", "-e", "ip.src", "--calls", sample},
          QStringList{"-G", "fields", sample}}) {
        EXPECT_EQ(runProcess(dumpTool, arguments).exitCode, 2) << arguments.join(' ').toStdString();
    }
    const ProcessResult unknown = fields({"-e", "iax2.nonsense"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err, "quorvex-dump: -e: 'iax2.nonsense' is not a field (quorvex-dump -G "
                           "fields lists them)\n");
    // Fields read back from the file cannot be read from standard input.
    const ProcessResult piped =
        runProcess(dumpTool, {"-T", "fields", "-e", "ip.ttl", "-"}, fileBytes(sample));
    EXPECT_EQ(piped.exitCode, 2);
    EXPECT_TRUE(piped.err.contains("standard input")) << piped.err.toStdString();
}

// tshark's -r, -c and -w, and the capture's statistics.
TEST(DumpTool, ReadsCountsWritesAndSumsUpAsTsharkUsersExpect) {
    QTemporaryDir dir;
    const ProcessResult stats = runProcess(dumpTool, {"--stats", "-r", sample});
    ASSERT_EQ(stats.exitCode, 0) << stats.err.toStdString();
    const auto lines = outputLines(stats.out);
    const QJsonObject properties = QJsonDocument::fromJson(lines.at(0)).object();
    EXPECT_EQ(properties["frames"].toInt(), 38);
    EXPECT_EQ(properties["link"].toString(), "Ethernet");
    EXPECT_EQ(properties["format"].toString(), "pcap (microseconds)");
    EXPECT_NEAR(properties["duration"].toDouble(), 3.831, 0.001);
    int counted = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        counted += QJsonDocument::fromJson(lines[i]).object()["frames"].toInt();
    }
    EXPECT_EQ(counted, 38);

    // The real call's two ends, as tshark -z conv,udp counts them.
    const auto conversations = outputLines(runProcess(dumpTool, {"--conversations", realCall}).out);
    ASSERT_EQ(conversations.size(), 1);
    const QJsonObject conversation = QJsonDocument::fromJson(conversations[0]).object();
    EXPECT_EQ(conversation["a"].toString(), "82.110.36.84:4569"); // sent first
    EXPECT_EQ(conversation["framesAtoB"].toInt(), 28);
    EXPECT_EQ(conversation["framesBtoA"].toInt(), 22);
    EXPECT_EQ(conversation["bytes"].toInt(), 9172);
    EXPECT_NEAR(conversation["duration"].toDouble(), 0.526, 0.001);

    EXPECT_EQ(outputLines(runProcess(dumpTool, {"-c", "5", sample}).out).size(), 5);

    // The registration's frames to a pcapng file, read back; never over a file.
    const QString written = dir.filePath("registration.pcapng");
    ASSERT_EQ(runProcess(dumpTool, {"-Y", "iax2.iax.username", "-w", written, sample}).exitCode, 0);
    const ProcessResult back = runProcess(dumpTool, {"--format", "tsv", written});
    EXPECT_EQ(outputLines(back.out).size(), 1 + 5) << back.err.toStdString(); // header, frames
    const ProcessResult again = runProcess(dumpTool, {"-w", written, sample});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.endsWith("File exists\n")) << again.err.toStdString();
    // To standard output, by either name, the same bytes as to a file.
    const QString file = dir.filePath("registration.pcap");
    ASSERT_EQ(runProcess(dumpTool, {"-Y", "iax2.iax.username", "-w", file, sample}).exitCode, 0);
    for (const char* output : {"-", "/dev/stdout"}) {
        const ProcessResult piped =
            runProcess(dumpTool, {"-Y", "iax2.iax.username", "-w", output, sample});
        EXPECT_EQ(piped.exitCode, 0) << output << piped.err.toStdString();
        EXPECT_EQ(piped.out, fileBytes(file)) << output;
    }

    for (const QStringList& nonsense :
         {QStringList{"--stats", "-Y", "iax2", sample},
          QStringList{"--conversations", "--stats", sample}, QStringList{"--live", "-w", written},
          QStringList{"-r", sample, sample}, QStringList{"-w", written, "--calls", sample}}) {
        EXPECT_EQ(runProcess(dumpTool, nonsense).exitCode, 2) << nonsense.join(' ').toStdString();
    }
}

// Texts from the wire (names, numbers, usernames, causes) that hold terminal
// controls reach no printer raw: every output form escapes them.
TEST(DumpTool, NoPrinterLetsTheWireDriveTheTerminal) {
    QTemporaryDir dir;
    const QString file = dir.filePath("hostile.pcap");
    ASSERT_EQ(runProcess(generator, {"hostile-texts", file}).exitCode, 0);
    // Nothing a terminal acts on: C0 but for tab and line end, DEL, C1 as
    // UTF-8 or as a byte alone, a right-to-left override.
    const auto actsOnTerminal = [](const QByteArray& out) -> std::string {
        for (qsizetype i = 0; i < out.size(); ++i) {
            const auto byte = static_cast<unsigned char>(out[i]);
            const bool c1 = byte == 0xC2 && i + 1 < out.size() &&
                            static_cast<unsigned char>(out[i + 1]) >= 0x80 &&
                            static_cast<unsigned char>(out[i + 1]) <= 0x9F;
            const bool alone = byte >= 0x80 && byte <= 0x9F &&
                               (i == 0 || static_cast<unsigned char>(out[i - 1]) < 0x80);
            if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F || c1 || alone ||
                out.mid(i, 3) == "\xE2\x80\xAE") {
                return "byte " + std::to_string(byte) + " at " + std::to_string(i);
            }
        }
        return "";
    };
    const struct {
        QStringList arguments;
        const char* shown; // the escaped form of one of the texts
    } printers[] = {
        {{}, "\\u001b]0;owned\\u0007"},
        {{"--format", "tsv"}, nullptr},
        {{"-T", "fields", "-e", "iax2.iax.calling_name", "-e", "iax2.iax.calling_number", "-e",
          "iax2.iax.username", "-e", "iax2.iax.cause"},
         "\\033]0;owned\\a"},
        {{"-V"}, "Calling number: 200\\r\\n300"},
        {{"-T", "json"}, "\\u001b]0;owned\\u0007"},
        {{"--calls", "--format", "tsv"}, "Gone\\a\\033c"},
        {{"--calls"}, "Gone\\u0007\\u001bc"},
        {{"--registrations", "--format", "tsv"}, "al\\033cice"},
        {{"--registrations"}, "al\\u001bcice"},
        {{"--problems", "--format", "tsv"}, "No \\033]0;owned\\asuch\\033[2J peer"},
        {{"--problems"}, "No \\u001b]0;owned\\u0007such"},
        {{"--flow", "1"}, nullptr},
        {{"--dtmf", "--format", "tsv"}, nullptr},
        {{"--streams", "--format", "tsv"}, nullptr},
    };
    for (const auto& printer : printers) {
        const QStringList& arguments = printer.arguments;
        const ProcessResult run = runProcess(dumpTool, arguments + QStringList{file});
        ASSERT_EQ(run.exitCode, 0) << arguments.join(' ').toStdString() << run.err.toStdString();
        EXPECT_EQ(actsOnTerminal(run.out), "") << arguments.join(' ').toStdString();
        EXPECT_EQ(actsOnTerminal(run.err), "") << arguments.join(' ').toStdString();
        if (printer.shown != nullptr) {
            EXPECT_TRUE(run.out.contains(printer.shown))
                << arguments.join(' ').toStdString() << "\n"
                << run.out.toStdString();
        }
    }
}

// A named pipe as the capture is read once: what needs the packets again
// (the voice, the details' headers, an export) says so instead of waiting
// for a writer that never comes back.
TEST(DumpTool, APipeIsReadOnceAndWhatNeedsItAgainSaysSo) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("capture.fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        QStringList arguments;
        int exitCode;
        const char* said; // on standard error
        int lines;        // on standard output
    } cases[] = {
        {{"--calls"},
         0,
         "activity and in-band DTMF are unknown: the voice cannot be read again: "
         "the capture came from a pipe, which is read once",
         1},
        {{"--streams"}, 0, "the capture came from a pipe", 2},
        {{"--problems"}, 0, "the capture came from a pipe", 0},
        {{"--dtmf"}, 0, "the capture came from a pipe", 0},
        {{"--audio", "1", dir.filePath("call.wav")},
         1,
         "the call's voice cannot be read again: the capture came from a pipe",
         0},
        {{"-w", dir.filePath("copy.pcap")}, 1, "the packets cannot be read again", 0},
        {{"--format", "tsv"}, 0, "", 51},
    };
    for (const auto& one : cases) {
        QProcess writer;
        writer.start("sh", {"-c", "cat \"$0\" > \"$1\"", realCall, fifo});
        QProcess dump;
        dump.start(dumpTool, one.arguments + QStringList{fifo});
        ASSERT_TRUE(dump.waitForFinished(30000)) << one.arguments.join(' ').toStdString();
        writer.waitForFinished(5000);
        const QByteArray err = dump.readAllStandardError();
        EXPECT_EQ(dump.exitCode(), one.exitCode)
            << one.arguments.join(' ').toStdString() << err.toStdString();
        EXPECT_TRUE(err.contains(one.said))
            << one.arguments.join(' ').toStdString() << err.toStdString();
        EXPECT_EQ(outputLines(dump.readAllStandardOutput()).size(), one.lines)
            << one.arguments.join(' ').toStdString();
    }
}

// Frames wrong on the wire are read as tshark reads them (the field
// agreement test holds every cell to tshark's), and each is flagged in its
// details and listed as a problem, saying what is wrong.
TEST(DumpTool, MalformedFramesAreFlaggedAndListed) {
    QTemporaryDir dir;
    const QString file = dir.filePath("malformed.pcap");
    ASSERT_EQ(runProcess(generator, {"malformed", file}).exitCode, 0);
    const QStringList wrong = {
        "the datagram ends within the IAX2 header: 4 bytes of 12",
        "the datagram ends within the IAX2 header: 8 bytes of 12",
        "the datagram ends within the IAX2 header: 11 bytes of 12",
        "element 4 (Calling Name) declares 40 bytes, and the datagram holds 1",
        "element 11 (Version) is 1 byte, where its kind takes 2",
        "element 6 (Username) holds a NUL: its text ends there",
        "the UDP length (27) is shorter than the IP payload: what follows it is not read",
    };
    const ProcessResult fields =
        runProcess(dumpTool, {"-T", "fields", "-e", "quorvex.malformed", file});
    EXPECT_EQ(QString::fromUtf8(fields.out).split('\n', Qt::SkipEmptyParts), wrong);
    QStringList listed;
    for (const QByteArray& line :
         outputLines(runProcess(dumpTool, {"--problems", "--format", "tsv", file}).out)) {
        const QList<QByteArray> cells = line.split('\t');
        if (cells.at(1) == "malformed") {
            EXPECT_EQ(cells.at(0), "error");
            listed << QString::fromUtf8(cells.at(4)).section(": ", 1);
        }
    }
    EXPECT_EQ(listed, wrong);
    EXPECT_TRUE(runProcess(dumpTool, {"-V", file})
                    .out.contains("    [Malformed: " + wrong[3].toUtf8() + "]"));
}
