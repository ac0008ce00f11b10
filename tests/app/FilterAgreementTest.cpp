// Display filters: on the project's captures, every expression of the table
// selects exactly as many frames in quorvex-dump -Y as in tshark -Y, so that
// an expression typed out of habit means the same in both. The table covers
// every field Quorvex offers under Wireshark's names.
#include "tests/support/Process.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

// clang-format off
const char* const expressions[] = {
    "frame.number <= 10",
    "frame.number in {3, 5, 7..9}",
    "frame.time_relative > 3.5",
    "frame.time_relative >= 0.5 and frame.time_relative < 1.5",
    "frame.len > 100",
    "frame.len == 60",
    "eth.src == 02:00:00:00:00:0a",
    "eth.dst == 02:00:00:00:00:14",
    "eth.addr == 02:00:00:00:00:01",
    "vlan.id == 42",
    "vlan.id",
    "ip.src == 192.0.2.10",
    "ip.dst == 198.51.100.20",
    "ip.addr == 192.0.2.0/24",
    "ip.addr != 192.0.2.10",
    "ip.src == 82.110.36.84 && udp.srcport == 4569",
    "!(ip.src == 192.0.2.10)",
    "ipv6.src == 2001:db8::c000:20a",
    "ipv6.addr == 2001:db8::/32",
    "ipv6.dst",
    "udp.srcport == 4569",
    "udp.dstport == 4566",
    "udp.port in {4566, 4570}",
    "iax2.packet_type == 0",
    "iax2.packet_type == 1",
    "iax2.packet_type == 2",
    "iax2.retransmission == 1",
    "iax2.retransmission",
    "iax2.src_call == 2",
    "iax2.src_call == 0x17",
    "iax2.dst_call == 200",
    "iax2.dst_call > 1000",
    "iax2.timestamp > 2200",
    "iax2.timestamp < 100",
    "iax2.oseqno == 3",
    "iax2.iseqno >= 2",
    "iax2.type == 6",
    "iax2.type == 4 or iax2.type == 2",
    "iax2.iax.subclass == 1",
    "iax2.iax.subclass == NEW",
    "iax2.iax.subclass in {13..17}",
    "iax2.control.subclass == 4",
    "iax2.control.subclass == 3",
    "iax2.voice.codec == 4",
    "iax2.voice.codec == 0x2",
    "iax2.iax.called_number == \"200\"",
    "iax2.iax.called_number contains \"2\"",
    "iax2.iax.calling_number == \"100\"",
    "iax2.iax.calling_name matches \"^alice\"",
    "iax2.iax.calling_name contains \"Tone\"",
    "iax2.iax.username == \"alice\"",
    "iax2.iax.cause contains \"Clearing\"",
    "iax2.iax.causecode == 16",
    "iax2.iax.format == 4",
    "iax2.iax.format == 0x2",
    "iax2.iax.capability",
    "iax2.iax.refresh == 60",
    "iax2.iax.version == 2",
    "iax2.iax.datetime.raw",
    "iax2.iax.app_addr.sinfamily == 512",
    "iax2.trunk.call.scallno == 5",
    "iax2.src_call == 4 && ip.addr == 82.110.36.84",
    "not iax2.packet_type == 0 and udp.port == 4569",
    "iax2.src_call == 1 || iax2.dst_call == 1",
    "iax2.src_call eq 2 and iax2.timestamp gt 2000",
    // Protocols alone, functions, bit tests, one field against another.
    "iax2",
    "udp && !ipv6",
    "vlan || sll",
    "ieee8021ad",
    "len(iax2.iax.username) == 5",
    "len(iax2.payload_data) > 100",
    "len(ip.src) == 4",
    "upper(iax2.iax.username) == \"ALICE\"",
    "lower(iax2.iax.calling_name) contains \"tone\"",
    "count(iax2.ie_id) >= 4",
    "count(iax2.trunk.call.scallno) == 2",
    "iax2.src_call & 0x2",
    "iax2.iax.capability & 0x4",
    "iax2.src_call & 0x3 == 2",
    "iax2.src_call == iax2.dst_call",
    "iax2.src_call > iax2.dst_call",
    "iax2.oseqno == iax2.iseqno",
    "udp.srcport != udp.dstport",
    // Fields of every layer.
    "frame.time_delta > 0.5",
    "frame.time_epoch >= 1767261601.5",
    "frame.cap_len < frame.len",
    "frame.time >= \"2026-01-01 10:00:01\"",
    "eth.type == 0x86dd",
    "ip.len > 100",
    "ip.ttl == 64 && ip.flags.df == 1",
    "ip.proto == 17",
    "ipv6.nxt == 60",
    "udp.length == 20",
    "udp.checksum == 0",
    "iax2.ie_id == 9",
    "iax2.length > 10",
    "iax2.dtmf.subclass",
    "iax2.subclass",
    "iax2.voice.subclass == 4",
    "iax2.video.codec",
    "iax2.trunk.cmddata.ts == 1",
    "iax2.trunk.call.len == 4",
    "iax2.trunk.call.payload contains 61:62",
    "iax2.cap.gsm == 1",
    "iax2.iax.datetime > \"2007-01-01 00:00:00\"",
    "iax2.iax.auth.methods == 2",
    "iax2.iax.autoanswer",
};
// clang-format on

// Where the two differ on purpose, and why.
const std::map<std::pair<std::string, std::string>, const char*> differences = {
    {{"iax2.timestamp > 2200", "all-kinds"},
     "tshark reads a meta frame of an unknown command as a trunk frame and takes a timestamp "
     "from it; RFC 5456 gives such a frame none"},
    {{"iax2.trunk.cmddata.ts == 1", "all-kinds"}, "the same frame"},
    {{"count(iax2.trunk.call.scallno) == 2", "all-kinds"}, "the same frame"},
    {{"iax2.trunk.call.len == 4", "all-kinds"},
     "tshark reads a trunk entry without timestamps length first, RFC 5456 call number first"},
};

// How many frames tshark selects with each expression, in one pass where it
// can (io,stat), alone where the expression holds a comma io,stat would
// split or a bar its table would cut.
std::vector<int> tsharkCounts(const QString& tshark, const QString& file) {
    std::vector<int> counts(std::size(expressions), -1);
    QStringList arguments{"-r", file, "-q"};
    std::vector<std::size_t> batched;
    for (std::size_t i = 0; i < std::size(expressions); ++i) {
        const QString expression = expressions[i];
        if (expression.contains(',') || expression.contains('|')) {
            counts[i] = static_cast<int>(
                outputLines(runProcess(tshark, {"-r", file, "-Y", expression}).out).size());
        } else {
            arguments << "-z"
                      << "io,stat,0," + expression;
            batched.push_back(i);
        }
    }
    const ProcessResult run = runProcess(tshark, arguments);
    // A table per expression, not in the order given: "| Col 1: EXPR |", then
    // the one interval's row "| 0.000 <> 3.831 |     20 |  4120 |".
    const QRegularExpression table(R"(Col 1: (.*?)\s*\|[\s\S]*?<>[^|]*\|\s*(\d+)\s*\|)");
    std::map<QString, int> byExpression;
    for (auto match = table.globalMatch(QString::fromUtf8(run.out)); match.hasNext();) {
        const auto found = match.next();
        byExpression[found.captured(1)] = found.captured(2).toInt();
    }
    for (const std::size_t i : batched) {
        const auto found = byExpression.find(expressions[i]);
        counts[i] = found != byExpression.end() ? found->second : -1;
    }
    return counts;
}

} // namespace

TEST(FilterAgreement, EveryExpressionSelectsAsManyFramesAsInTshark) {
    const QString tshark = QStandardPaths::findExecutable("tshark");
    if (tshark.isEmpty()) {
        GTEST_SKIP() << "tshark is not installed (apt-get install tshark)";
    }
    QTemporaryDir dir;
    std::vector<std::pair<std::string, QString>> files = {
        {"sample", QUORVEX_SAMPLES "/sample-call.pcap"},
        {"public call", QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap"},
    };
    for (const char* kind : {"all-kinds", "tones"}) {
        files.emplace_back(kind, dir.filePath(QString(kind) + ".pcap"));
        ASSERT_EQ(runProcess(QUORVEX_GEN, {kind, files.back().second}).exitCode, 0);
    }
    for (const char* variant : {"vlan", "qinq", "ipv6", "cooked"}) {
        files.emplace_back(variant, dir.filePath(QString(variant) + ".pcap"));
        ASSERT_EQ(runProcess(QUORVEX_GEN, {"sample-as", variant, files.back().second}).exitCode, 0);
    }
    int selectedSomewhere = 0;
    for (const auto& [name, file] : files) {
        const std::vector<int> theirs = tsharkCounts(tshark, file);
        for (std::size_t i = 0; i < std::size(expressions); ++i) {
            const ProcessResult ours = runProcess(QUORVEX_DUMP, {"-Y", expressions[i], file});
            ASSERT_EQ(ours.exitCode, 0) << expressions[i] << ": " << ours.err.toStdString();
            const int count = static_cast<int>(outputLines(ours.out).size());
            selectedSomewhere += count > 0 ? 1 : 0;
            if (differences.contains({expressions[i], name})) {
                continue;
            }
            EXPECT_EQ(count, theirs[i]) << expressions[i] << " on " << name;
        }
    }
    // Every expression is worth its place: most select something somewhere.
    EXPECT_GT(selectedSomewhere, static_cast<int>(std::size(expressions)));
}
