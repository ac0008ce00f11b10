#include "ui/SecretsDialog.h"

#include "app/Secrets.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {
constexpr const char* secretsKey = "decryption/secrets";
}

namespace decryptionsecrets {

std::vector<std::string> load() {
    std::vector<std::string> secrets;
    for (const QString& secret : QSettings().value(secretsKey).toStringList()) {
        secrets.push_back(secret.toStdString());
    }
    return secrets;
}

void save(const std::vector<std::string>& secrets) {
    QStringList list;
    for (const std::string& secret : secrets) {
        list << QString::fromStdString(secret);
    }
    QSettings settings;
    if (list.isEmpty()) {
        settings.remove(secretsKey);
    } else {
        settings.setValue(secretsKey, list);
    }
    settings.sync();
    // The file holds secrets: its owner's alone, as ssh keeps keys.
    QFile::setPermissions(settings.fileName(), QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace decryptionsecrets

SecretsDialog::SecretsDialog(std::vector<std::string> secrets, QWidget* parent)
    : QDialog(parent), secrets_(std::move(secrets)), entry_(new QLineEdit(this)),
      list_(new QListWidget(this)) {
    setWindowTitle(tr("Decryption Secrets"));
    auto* layout = new QVBoxLayout(this);
    auto* about = new QLabel(
        tr("Encrypted IAX2 calls are read with the secrets of their peers, tried in order. "
           "Several secrets of one peer may be given as one, separated by ';'. "
           "They are kept in your settings file, readable by you alone."),
        this);
    about->setWordWrap(true);
    layout->addWidget(about);
    layout->addWidget(list_);

    auto* adding = new QHBoxLayout;
    entry_->setEchoMode(QLineEdit::Password);
    entry_->setPlaceholderText(tr("New secret"));
    auto* add = new QPushButton(tr("&Add"), this);
    auto* remove = new QPushButton(tr("&Remove"), this);
    adding->addWidget(entry_, 1);
    adding->addWidget(add);
    adding->addWidget(remove);
    layout->addLayout(adding);
    connect(add, &QPushButton::clicked, this, &SecretsDialog::addEntered);
    connect(remove, &QPushButton::clicked, this, [this] {
        const int row = list_->currentRow();
        if (row >= 0 && static_cast<std::size_t>(row) < secrets_.size()) {
            secrets_.erase(secrets_.begin() + row);
            showList();
        }
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // Return adds what was typed, and the dialog stays: Add is the one
    // default button, and only a click on OK accepts.
    for (QPushButton* button : buttons->findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    remove->setAutoDefault(false);
    add->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        addEntered();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    showList();
    resize(420, 320);
}

void SecretsDialog::addEntered() {
    const std::string typed = entry_->text().toStdString();
    entry_->clear();
    secrets::addSecrets(typed, secrets_);
    showList();
}

void SecretsDialog::showList() {
    list_->clear();
    for (std::size_t i = 0; i < secrets_.size(); ++i) {
        // Never the secret, nor its length: only that it is there.
        list_->addItem(tr("Secret %1: %2").arg(i + 1).arg(QString(8, QChar(0x2022))));
    }
}
