#pragma once

#include "app/CaptureFieldSource.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class KvIAXCapture;
class KvIAXFrame;

// A column of the frame table that shows a field of the registry, as packet
// analyzers' custom columns do: its title, and the field (or several,
// "iax2.src_call or iax2.trunk.call.scallno": the first one a frame has).
struct FieldColumn {
    QString title;
    QString fields;
    friend bool operator==(const FieldColumn&, const FieldColumn&) = default;
};

// The field columns of the frame table and how their cells are read: each
// cell the text `quorvex-dump -T fields` prints for the field, and, for a
// sort, its first value as a number where the field is one. Main thread
// only, as the capture is.
class FieldColumnSet final {
public:
    // Nothing, with `error` naming what is not a field, where a column's
    // fields are not all fields.
    static std::optional<FieldColumnSet> make(QList<FieldColumn> columns, QString& error);
    FieldColumnSet() = default;

    [[nodiscard]] const QList<FieldColumn>& columns() const { return columns_; }
    [[nodiscard]] int count() const { return static_cast<int>(columns_.size()); }
    // Reads the fields of this capture's frames from now on.
    void setCapture(const KvIAXCapture* capture);
    // Column `column`'s text for frame `number` (1-based), shown after the
    // frame `previousShown` (or first).
    [[nodiscard]] QString text(int column, std::uint32_t number,
                               const FrameFacts* previousShown) const;
    // Its first value as a number, where its field is one.
    [[nodiscard]] std::optional<std::int64_t> number(int column, std::uint32_t number,
                                                     const FrameFacts* previousShown) const;
    // Whether the column's field is a number (sorted as one).
    [[nodiscard]] bool isNumeric(int column) const;

private:
    [[nodiscard]] std::optional<fields::FieldFrame> frameOf(std::uint32_t number,
                                                            const FrameFacts* previousShown,
                                                            fields::FieldContext& context) const;

    QList<FieldColumn> columns_;
    std::vector<std::vector<const fields::Field*>> fields_; // by column, in the order named
    std::uint8_t needs_ = 0;
    const KvIAXCapture* capture_ = nullptr;
    // Made when first read: reading the file back costs nothing until then.
    mutable std::unique_ptr<CaptureFieldSource> source_;
    mutable bool sourceFailed_ = false;
};
