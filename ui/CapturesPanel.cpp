#include "ui/CapturesPanel.h"

#include "capture/CaptureKeys.h"
#include "capture/DefaultInterface.h"
#include "ui/CaptureListModel.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QToolBar>

#include <pcap/pcap.h>

CapturesPanel::CapturesPanel(KvController& controller, QTableView* table, KeyColumns columns,
                             QObject* parent)
    : QObject(parent), controller_(controller), table_(table),
      model_(new CaptureListModel(controller, std::move(columns), this)) {
    table_->setModel(model_);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->setColumnWidth(0, 260);
    table_->setColumnWidth(1, 110);
    table_->setColumnWidth(2, 260);
    connect(model_, &QAbstractItemModel::modelReset, this, &CapturesPanel::listReplaced);
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] {
        updateButtons();
        emit rowsChanged();
    });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                emit captureSelected(model_->captureAt(current.row()));
            });
    // The model's first list was made before the reset was listened to: its
    // rows get their buttons here, or a window started without a file could
    // neither start nor stop a capture from its row.
    listReplaced();
}

CapturesPanel::~CapturesPanel() {
    table_->setModel(nullptr);
}

KvIAXCapture* CapturesPanel::selected() const {
    return model_->captureAt(table_->currentIndex().row());
}

void CapturesPanel::listReplaced() {
    const int buttonColumn = model_->columnOf(keyText(capturekeys::button));
    for (int row = 0; row < model_->rowCount(); ++row) {
        auto* button = new QPushButton(table_);
        connect(button, &QPushButton::clicked, this, [this, row] {
            // The row's button names its capture by the row's `reference`.
            const KvIAXCapture* capture = model_->captureAt(row);
            QObject* reference =
                capture != nullptr
                    ? capture->valueForKey(keyText(capturekeys::reference)).value<QObject*>()
                    : nullptr;
            controller_.stopCapture(qobject_cast<KvIAXCapture*>(reference));
        });
        table_->setIndexWidget(model_->index(row, buttonColumn), button);
    }
    updateButtons();
    if (model_->rowCount() > 0) {
        table_->selectRow(0);
        emit captureSelected(model_->captureAt(0));
    } else {
        emit captureSelected(nullptr);
    }
}

void CapturesPanel::updateButtons() {
    const int buttonColumn = model_->columnOf(keyText(capturekeys::button));
    for (int row = 0; row < model_->rowCount(); ++row) {
        const QModelIndex index = model_->index(row, buttonColumn);
        if (auto* button = qobject_cast<QPushButton*>(table_->indexWidget(index))) {
            button->setText(index.data().toString());
        }
    }
}

void CapturesPanel::addInterfaceChooser(QToolBar* toolBar, LiveCaptureSettings* settings) {
    toolBar->addWidget(new QLabel(tr("Interface: "), toolBar));
    interfaceChooser_ = new QComboBox(toolBar);
    interfaceChooser_->setEditable(true);
    interfaceChooser_->setMinimumContentsLength(12);
    interfaceChooser_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    pcap_if_t* devices = nullptr;
    char error[PCAP_ERRBUF_SIZE];
    if (pcap_findalldevs(&devices, error) == 0) {
        for (pcap_if_t* device = devices; device != nullptr; device = device->next) {
            interfaceChooser_->addItem(QString::fromLocal8Bit(device->name));
        }
        pcap_freealldevs(devices);
    }
    // Every interface at once, in Linux cooked headers; libpcap lists it only
    // where it may be opened.
    if (interfaceChooser_->findText(QStringLiteral("any")) < 0) {
        interfaceChooser_->addItem(QStringLiteral("any"));
    }
    // The interface of the settings (named at start, or chosen for this
    // machine) stays chosen, listed or not.
    const QString chosen =
        QString::fromStdString(settings != nullptr ? settings->interfaceName
                                                   : defaultinterface::onThisMachine());
    if (interfaceChooser_->findText(chosen) < 0) {
        interfaceChooser_->insertItem(0, chosen);
    }
    interfaceChooser_->setCurrentText(chosen);
    connect(interfaceChooser_, &QComboBox::currentTextChanged, this,
            [settings](const QString& name) {
                if (settings != nullptr && !name.isEmpty()) {
                    settings->interfaceName = name.toStdString();
                }
            });
    toolBar->addWidget(interfaceChooser_);
}
