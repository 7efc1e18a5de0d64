#pragma once
// Display > Attach Register Map and Export Register Map of a poll window.
#include <QList>
#include <QString>
#include <QStringList>

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

// Beside a recording: the current values of the windows with a register map
// attached, as one map per unit ("<recording>.map.csv"; with maps of several
// units "<recording>.map.unit<N>.csv" each). The paths written; *error names
// the first that failed ("" when none did).
QStringList ExportRecordingMaps(const QString& recordingPath, const QList<CZelmorDoc*>& documents, QString* error);

}  // namespace pollmap
