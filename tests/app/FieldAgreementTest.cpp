// quorvex-dump -T fields prints what tshark -T fields prints, cell for cell,
// for every field of the registry, on the project's captures: one run of
// each tool per file, every field at once. The registry's kinds, bases and
// masks are tshark's too (-G fields).
#include "common/SafeText.h"
#include "tests/support/Process.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// Fields whose cells differ on purpose.
const std::map<std::string, const char*> differentFields = {
    {"eth", "tshark names the makers of Ethernet addresses it knows; Quorvex has no such list"},
    {"frame.protocols", "tshark lists the dissectors it ran, which are not all Quorvex's"},
    {"iax2.call", "Quorvex numbers calls as its Calls list does; tshark has its own numbering"},
};

// Quorvex's own fields, which tshark has no counterpart of: the decryption
// of encrypted calls (quorvex.*), the frame table's columns (protocol
// quorvex), and HEP, which tshark 4.0 does not read.
bool isOwn(const QList<QByteArray>& listed) {
    return listed.at(2).startsWith("quorvex") || listed.value(4) == "quorvex" ||
           listed.at(2) == "hep" || listed.at(2).startsWith("hep.");
}

// Frames whose cells differ on purpose, by file: "FILE:FRAME".
const std::map<std::string, const char*> differentFrames = {
    {"all-kinds:86", "tshark reads a meta frame of an unknown command as a trunk frame"},
    {"all-kinds:94",
     "tshark reads a trunk entry without timestamps length first, RFC 5456 call number first"},
    {"all-kinds:95", "the same, on an entry cut short: tshark stops, Quorvex counts no entry"},
};

std::vector<std::vector<std::string>> table(const QByteArray& text) {
    std::vector<std::vector<std::string>> rows;
    for (const QByteArray& line : outputLines(text)) {
        std::vector<std::string> cells;
        for (const QByteArray& cell : line.split('\t')) {
            cells.emplace_back(cell.toStdString());
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

} // namespace

TEST(FieldAgreement, EveryFieldPrintsAsTsharkPrintsIt) {
    const QString tshark = QStandardPaths::findExecutable("tshark");
    if (tshark.isEmpty()) {
        GTEST_SKIP() << "tshark is not installed (apt-get install tshark)";
    }
    // The registry, as quorvex-dump lists it.
    QStringList fieldArguments;
    std::size_t fieldCount = 0;
    for (const QByteArray& line : outputLines(runProcess(QUORVEX_DUMP, {"-G", "fields"}).out)) {
        const QList<QByteArray> columns = line.split('\t');
        if (isOwn(columns)) {
            continue;
        }
        fieldArguments << "-e" << QString::fromUtf8(columns.at(2));
        ++fieldCount;
    }
    ASSERT_GT(fieldCount, 190u);

    QTemporaryDir dir;
    std::vector<std::pair<std::string, QString>> files = {
        {"sample", QUORVEX_SAMPLES "/sample-call.pcap"},
        {"public call", QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap"},
    };
    for (const char* kind : {"all-kinds", "tones", "malformed"}) {
        files.emplace_back(kind, dir.filePath(QString(kind) + ".pcap"));
        ASSERT_EQ(runProcess(QUORVEX_GEN, {kind, files.back().second}).exitCode, 0);
    }
    for (const char* variant : {"vlan", "qinq", "ipv6", "cooked", "cooked2", "loopback", "raw",
                                "ipv4-options", "ipv6-cooked"}) {
        files.emplace_back(variant, dir.filePath(QString(variant) + ".pcap"));
        ASSERT_EQ(runProcess(QUORVEX_GEN, {"sample-as", variant, files.back().second}).exitCode, 0);
    }
    std::size_t cellsCompared = 0;
    std::set<std::string> fieldsSeen;
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(name);
        const QStringList common = QStringList{"-T", "fields", "-E", "header=y"} + fieldArguments;
        const auto theirs = table(runProcess(tshark, QStringList{"-r", file} + common).out);
        const ProcessResult run = runProcess(QUORVEX_DUMP, common + QStringList{file});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const auto ours = table(run.out);
        ASSERT_EQ(ours.size(), theirs.size());
        ASSERT_FALSE(ours.empty());
        const std::vector<std::string>& header = ours.front();
        for (std::size_t row = 1; row < ours.size(); ++row) {
            if (differentFrames.contains(name + ":" + std::to_string(row))) {
                continue;
            }
            for (std::size_t column = 0; column < header.size(); ++column) {
                const std::string& field = header[column];
                if (differentFields.contains(field)) {
                    continue;
                }
                const auto cell = [&](const std::vector<std::string>& cells) {
                    return column < cells.size() ? cells[column] : std::string();
                };
                // tshark prints most control characters as they are; Quorvex
                // escapes them, as both show them in the packet details.
                EXPECT_EQ(cell(ours[row]), safetext::escaped(cell(theirs[row])))
                    << field << " of frame " << row << " in " << name;
                ++cellsCompared;
                if (!cell(ours[row]).empty()) {
                    fieldsSeen.insert(field);
                }
            }
        }
    }
    EXPECT_GT(cellsCompared, 200'000u);
    // Most fields have a value somewhere in these captures.
    EXPECT_GT(fieldsSeen.size(), fieldCount * 3 / 4) << fieldsSeen.size() << " of " << fieldCount;
}

// -G fields lists the registry as tshark lists its fields: each field that
// tshark has too has its kind, base and mask.
TEST(FieldAgreement, TheFieldListAgreesWithTsharks) {
    const QString tshark = QStandardPaths::findExecutable("tshark");
    if (tshark.isEmpty()) {
        GTEST_SKIP() << "tshark is not installed (apt-get install tshark)";
    }
    std::map<QByteArray, QList<QByteArray>> theirs;
    for (const QByteArray& line : outputLines(runProcess(tshark, {"-G", "fields"}).out)) {
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() > 2) {
            theirs[columns[2]] = columns;
        }
    }
    for (const QByteArray& line : outputLines(runProcess(QUORVEX_DUMP, {"-G", "fields"}).out)) {
        const QList<QByteArray> ours = line.split('\t');
        ASSERT_GE(ours.size(), 3) << line.toStdString();
        if (isOwn(ours)) {
            continue;
        }
        const auto found = theirs.find(ours[2]);
        ASSERT_NE(found, theirs.end()) << ours[2].toStdString() << " is not a field of tshark's";
        const QList<QByteArray>& their = found->second;
        EXPECT_EQ(ours[0], their[0]) << ours[2].toStdString();
        if (ours[0] == "F" && ours[2] != "iax2.dtmf.subclass") { // FT_STRINGZ there
            EXPECT_EQ(ours.mid(3, 2), their.mid(3, 2)) << ours[2].toStdString(); // kind, protocol
            EXPECT_EQ(ours.mid(5, 2), their.mid(5, 2)) << ours[2].toStdString(); // base, mask
        }
    }
}
