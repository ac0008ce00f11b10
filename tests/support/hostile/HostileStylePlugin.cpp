// A style plugin such as a local user could make Qt load into the window
// through QT_PLUGIN_PATH and QT_STYLE_OVERRIDE. Loaded, it writes the
// capability sets of the process it runs in to $QUORVEX_HOSTILE_REPORT: the
// test asserts that they are empty, so that such code could do nothing with
// capture rights.
#include <QStyleFactory>
#include <QStylePlugin>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const bool reported = [] {
    const char* report = std::getenv("QUORVEX_HOSTILE_REPORT");
    if (report == nullptr) {
        return false;
    }
    std::ifstream status("/proc/self/status");
    std::ofstream out(report);
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Cap", 0) == 0) {
            out << line << '\n';
        }
    }
    return true;
}();

} // namespace

class HostileStylePlugin final : public QStylePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "hostile.json")
public:
    QStyle* create(const QString&) override { return QStyleFactory::create("Fusion"); }
};

#include "HostileStylePlugin.moc"
