#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;
class QListWidget;

// The secrets encrypted calls are opened with, as the window keeps them: in
// the user's settings file, which is then made readable by its owner alone.
namespace decryptionsecrets {
[[nodiscard]] std::vector<std::string> load();
void save(const std::vector<std::string>& secrets);
} // namespace decryptionsecrets

// Edit > Decryption Secrets: the list, each secret shown only as dots once
// entered, with a field to add one (typed hidden) and a button to remove.
class SecretsDialog final : public QDialog {
    Q_OBJECT
public:
    SecretsDialog(std::vector<std::string> secrets, QWidget* parent = nullptr);
    [[nodiscard]] const std::vector<std::string>& secrets() const { return secrets_; }

    // For tests: the field a secret is typed into, and the list.
    [[nodiscard]] QLineEdit* entry() const { return entry_; }
    [[nodiscard]] QListWidget* list() const { return list_; }
    void addEntered();

private:
    void showList();

    std::vector<std::string> secrets_;
    QLineEdit* entry_;
    QListWidget* list_;
};
