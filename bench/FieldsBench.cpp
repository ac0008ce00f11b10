// The packet details of one frame, built as a selection in the window builds
// them: the largest frames of the project's captures, each many times.
#include "dissect/IaxDissector.h"
#include "fields/PacketTree.h"
#include "samples/Scenarios.h"

#include <chrono>
#include <cstdio>
#include <sstream>

int main() {
    std::ostringstream dump;
    const IaxDissector dissector(dump);
    struct Largest {
        iaxgen::Bytes packet;
        KvIAXFrame frame;
        const char* from;
    };
    std::vector<std::unique_ptr<Largest>> frames;
    auto keepLargest = [&](const char* from, auto scenario) {
        auto largest = std::make_unique<Largest>();
        largest->from = from;
        scenario([&](const iaxgen::Bytes& packet, std::int64_t) {
            if (packet.size() > largest->packet.size()) {
                largest->packet = packet;
            }
        });
        dissector.decodeInto({.bytes = largest->packet}, largest->frame);
        frames.push_back(std::move(largest));
    };
    keepLargest("the sample's NEW", scenarios::sampleCall);
    keepLargest("every frame kind", scenarios::allKinds);
    const fields::FieldContext context;
    for (const auto& largest : frames) {
        constexpr int rounds = 10000;
        std::size_t lines = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i) {
            const fields::TreeItem tree =
                fields::packetTree(largest->frame, 1, context, largest->packet);
            lines += tree.children.size();
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("packet details of the largest frame of %s (%zu bytes): %.1f us each (%zu "
                    "protocols)\n",
                    largest->from, largest->packet.size(), seconds / rounds * 1e6, lines / rounds);
    }
    return 0;
}
