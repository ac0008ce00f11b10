#include "ui/FieldColumnSet.h"

#include "app/FieldOutput.h"
#include "app/KvIAXCapture.h"

std::optional<FieldColumnSet> FieldColumnSet::make(QList<FieldColumn> columns, QString& error) {
    FieldColumnSet set;
    for (FieldColumn& column : columns) {
        std::vector<const fields::Field*> named;
        for (const QString& name : column.fields.split(QStringLiteral(" or "), Qt::SkipEmptyParts)) {
            const fields::Field* field = fields::findField(name.trimmed().toStdString());
            if (field == nullptr) {
                error = QObject::tr("'%1' is not a field").arg(name.trimmed());
                return std::nullopt;
            }
            named.push_back(field);
            set.needs_ |= field->needs;
        }
        if (named.empty()) {
            error = QObject::tr("a column needs a field");
            return std::nullopt;
        }
        if (column.title.trimmed().isEmpty()) {
            column.title = QString::fromStdString(named.front()->label);
        }
        set.fields_.push_back(std::move(named));
    }
    set.columns_ = std::move(columns);
    return set;
}

void FieldColumnSet::setCapture(const KvIAXCapture* capture) {
    capture_ = capture;
    source_.reset();
    sourceFailed_ = false;
}

std::optional<fields::FieldFrame> FieldColumnSet::frameOf(std::uint32_t number,
                                                          const FrameFacts* previousShown,
                                                          fields::FieldContext& context) const {
    if (capture_ == nullptr || number == 0 || number > capture_->iaxFrames().size() ||
        number <= capture_->iaxFrames().released()) {
        return std::nullopt;
    }
    if (!source_) {
        source_ = std::make_unique<CaptureFieldSource>(*capture_, needs_);
        std::string error;
        sourceFailed_ = !source_->open(error); // fields of the file stay empty
    }
    source_->refresh();
    context = source_->contextOf(number, previousShown);
    return fields::FieldFrame(*capture_->iaxFrames()[number - 1], number, context);
}

QString FieldColumnSet::text(int column, std::uint32_t number,
                             const FrameFacts* previousShown) const {
    fields::FieldContext context;
    const auto frame = frameOf(number, previousShown, context);
    if (!frame || column < 0 || column >= count()) {
        return {};
    }
    for (const fields::Field* field : fields_[static_cast<std::size_t>(column)]) {
        if (std::string text = fieldoutput::fieldText(*field, *frame); !text.empty()) {
            return QString::fromStdString(text);
        }
    }
    return {};
}

std::optional<std::int64_t> FieldColumnSet::number(int column, std::uint32_t number,
                                                   const FrameFacts* previousShown) const {
    fields::FieldContext context;
    const auto frame = frameOf(number, previousShown, context);
    if (!frame || column < 0 || column >= count()) {
        return std::nullopt;
    }
    for (const fields::Field* field : fields_[static_cast<std::size_t>(column)]) {
        if (const auto value = fieldoutput::fieldNumber(*field, *frame)) {
            return value;
        }
    }
    return std::nullopt;
}

bool FieldColumnSet::isNumeric(int column) const {
    if (column < 0 || column >= count()) {
        return false;
    }
    const auto& named = fields_[static_cast<std::size_t>(column)];
    return std::all_of(named.begin(), named.end(),
                       [](const fields::Field* field) { return fieldoutput::sortsAsNumber(field->kind); });
}
