#include "ui/CaptureListModel.h"

#include "app/KvController.h"
#include "capture/CaptureKeys.h"

CaptureListModel::CaptureListModel(KvController& controller, KeyColumns columns, QObject* parent)
    : QAbstractTableModel(parent), controller_(controller), columns_(std::move(columns)) {
    connect(&controller_, &KvController::iaxCapturesChanged, this, &CaptureListModel::listReplaced);
    listReplaced();
}

void CaptureListModel::listReplaced() {
    for (const auto& connection : connections_) {
        disconnect(connection);
    }
    connections_.clear();
    beginResetModel();
    endResetModel();
    const CaptureList& captures = controller_.iaxCaptures();
    for (int row = 0; row < captures.size(); ++row) {
        KvIAXCapture* capture = captures[row].get();
        auto rowChanged = [this, capture] {
            const int at = static_cast<int>(
                std::find_if(controller_.iaxCaptures().begin(), controller_.iaxCaptures().end(),
                             [capture](const auto& c) { return c.get() == capture; }) -
                controller_.iaxCaptures().begin());
            if (at < rowCount()) {
                emit dataChanged(index(at, 0), index(at, columnCount() - 1));
            }
        };
        connections_.append(connect(capture, &KvIAXCapture::propertyChanged, this, rowChanged));
        connections_.append(connect(capture, &KvIAXCapture::propertiesReplaced, this, rowChanged));
    }
}

int CaptureListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(controller_.iaxCaptures().size());
}

int CaptureListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_.count() + 1;
}

QString CaptureListModel::keyOf(int column) const {
    return column == sourceColumn ? QString()
                                  : columns_.key(column < sourceColumn ? column : column - 1);
}

int CaptureListModel::columnOf(const QString& key) const {
    const int at = columns_.indexOf(key);
    return at < sourceColumn ? at : at + 1;
}

KvIAXCapture* CaptureListModel::captureAt(int row) const {
    const CaptureList& captures = controller_.iaxCaptures();
    return row >= 0 && row < captures.size() ? captures[row].get() : nullptr;
}

QVariant CaptureListModel::data(const QModelIndex& index, int role) const {
    const KvIAXCapture* capture = captureAt(index.row());
    if (capture == nullptr || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    if (index.column() == sourceColumn) {
        return QString::fromStdString(capture->sourceName());
    }
    return capture->valueForKey(keyOf(index.column())).toString();
}

QVariant CaptureListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section == sourceColumn && orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return tr("Source");
    }
    const QVariant title =
        columns_.header(section < sourceColumn ? section : section - 1, orientation, role);
    return title.isValid() ? title : QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags CaptureListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (keyOf(index.column()) == keyText(capturekeys::captureFilter)) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

bool CaptureListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    KvIAXCapture* capture = captureAt(index.row());
    if (capture == nullptr || role != Qt::EditRole ||
        keyOf(index.column()) != keyText(capturekeys::captureFilter)) {
        return false;
    }
    capture->setValueForKey(keyText(capturekeys::captureFilter),
                            value.toString()); // the next live start uses it
    return true;
}
