#pragma once

#include <QString>

// Moves a file without ever replacing one at the destination. Within one file
// system the move is one step (placeWithoutReplacing); across file systems
// the data is copied to a hidden file beside the destination first, which is
// then put in place the same way (so the destination appears whole or not
// at all), and the source is removed last. False, with the source left where
// it was, when anything fails.
bool moveFileWithoutReplacing(const QString& source, const QString& destination);

// The extension a save panel adds to a name entered without it.
QString withRequiredType(const QString& path, const QString& requiredType);
