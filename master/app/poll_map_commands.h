#pragma once
// Display > Attach Register Map and Export Register Map of a poll window.
#include <QString>

class CZelmorDoc;
class QWidget;

namespace pollmap {

// Asks for a map file; a bad map shows its fault (line and column) and the
// window keeps the map it had.
void AttachRegisterMap(CZelmorDoc* document, QWidget* parent);
bool AttachRegisterMapFile(CZelmorDoc* document, const QString& path, QString* error);
// Asks for a file and writes the window's current values as a register map.
void ExportPollValues(CZelmorDoc* document, QWidget* parent);
bool ExportPollValuesFile(const CZelmorDoc* document, const QString& path, QString* error);

}  // namespace pollmap
