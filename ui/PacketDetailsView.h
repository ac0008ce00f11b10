#pragma once

#include "app/CaptureFieldSource.h"
#include "fields/PacketTree.h"

#include <QPointer>
#include <QSet>
#include <QWidget>

#include <memory>
#include <vector>

class KvIAXCapture;
class PacketTreeModel;
class QPlainTextEdit;
class QTreeView;
class QLabel;

// The packet details of the selected frame, as Wireshark shows them: a tree
// of its protocols and fields (Frame, the link layer, IP, UDP, IAX2 with
// every header field and information element) beside its bytes in
// hexadecimal and as text. Selecting a field highlights its bytes, and a
// click on a byte selects the field it belongs to. Which subtrees are open
// is remembered across frames and runs.
class PacketDetailsView final : public QWidget {
    Q_OBJECT
public:
    explicit PacketDetailsView(QWidget* parent = nullptr);
    ~PacketDetailsView() override;

    // Shows frame `number` (1-based) of the capture; 0 or no capture:
    // nothing. `expert` lines are the frame's problems, shown under its last
    // protocol as Wireshark shows its expert items.
    void showFrame(KvIAXCapture* capture, std::uint32_t number,
                   const std::vector<std::string>& expert = {}, const QString& comment = {});
    [[nodiscard]] QTreeView* tree() const { return tree_; }
    [[nodiscard]] QPlainTextEdit* bytes() const { return bytes_; }
    [[nodiscard]] const PacketTreeModel& model() const { return *model_; }
    // The bytes highlighted now, as [first, end) offsets in the packet.
    [[nodiscard]] std::pair<int, int> highlighted() const { return highlighted_; }
    // The expression that selects the current field; empty for none.
    [[nodiscard]] QString currentExpression() const;

signals:
    // Apply as Filter (`apply`) or Prepare as Filter on a field.
    void filterRequested(const QString& expression, bool apply);
    // Apply as Column on a field: a frame table column of it.
    void columnRequested(const QString& field, const QString& title);

private:
    void fieldSelected(const QModelIndex& index);
    void byteClicked();
    void highlight(int first, int end);
    void restoreExpanded(const QModelIndex& parent);
    void contextMenu(const QPoint& at);

    PacketTreeModel* model_;
    QTreeView* tree_;
    QPlainTextEdit* bytes_;
    QLabel* note_;
    QPointer<KvIAXCapture> capture_;
    std::unique_ptr<CaptureFieldSource> source_;
    std::vector<std::uint8_t> packet_;
    std::pair<int, int> highlighted_{-1, -1};
    QSet<QString> expanded_;
};
