#pragma once

#include "ui/FramesInSlices.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

class CaptureFilter;
class KvIAXCapture;
class QChart;
class QChartView;
class QComboBox;
class ElidedLabel;
class QLabel;
class QLineEdit;

// Statistics > Properties, Frame Counts and Conversations: a read-only
// table of what app/CaptureStatistics works out, with Copy. It shows once
// the frames are summed, a slice at a time (see FramesInSlices); `parent`
// going first calls it off.
void showProperties(QWidget* parent, const KvIAXCapture& capture);
// `callFrames`: the frames of the calls selected (null: none selected).
void showFrameCounts(QWidget* parent, const KvIAXCapture& capture,
                     FramesInSlices::FrameNumbers callFrames);
void showConversations(QWidget* parent, const KvIAXCapture& capture);

// Statistics > IO Graph: frames per interval over the capture's time, all
// of them and those of up to three display filters, a line each (Qt
// Charts), exported as PNG or SVG. The filters are tested a slice at a time,
// as the filter bar tests them, so that a million frames never hold the
// window.
class IoGraphDialog final : public QDialog {
    Q_OBJECT
public:
    IoGraphDialog(KvIAXCapture& capture, QWidget* parent = nullptr);
    ~IoGraphDialog() override;

    void setInterval(double seconds);
    void setFilter(int line, const QString& expression);
    // Works the lines out again (as the Apply button does).
    void apply();
    [[nodiscard]] bool isCounting() const { return slices_.isActive(); }
    [[nodiscard]] QChart* chart() const { return chart_; }
    bool exportTo(const QString& path); // PNG, or SVG for a name ending ".svg"

private:
    void countSlice();
    void plot();

    QPointer<KvIAXCapture> capture_;
    QComboBox* interval_;
    QLineEdit* filters_[3];
    ElidedLabel* status_;
    QChart* chart_;
    QChartView* view_;
    QTimer slices_;
    double seconds_ = 1;
    std::size_t next_ = 0;
    std::vector<std::unique_ptr<CaptureFilter>> running_; // by line; none: every frame
    std::vector<std::vector<std::uint64_t>> counts_;      // by line, by interval
    std::vector<QString> names_;
};
