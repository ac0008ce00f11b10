#pragma once

#include <QString>

#include <optional>

// The modal open and save panels. Nothing chosen (the panel was closed with
// anything but its OK button) is an empty result.
class FilePanels {
public:
    virtual ~FilePanels() = default;
    // One file, of any type.
    virtual std::optional<QString> chooseFileToOpen() = 0;
    // A new file of `requiredType`, the panel starting in `folder` with the
    // name `name`. The returned path already carries the type's extension.
    virtual std::optional<QString> chooseSaveDestination(const QString& folder, const QString& name,
                                                         const QString& requiredType) = 0;
};
