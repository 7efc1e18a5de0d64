#pragma once
// File > Import Register Map and Export Register Map: a map's values into the
// open definitions (new windows for what none holds) and the definitions out
// as a map. The conversions are slave/core/register_map_definitions.*.
class CMainFrame;
class QString;

namespace vantormapio {

// Asks for the file and the slave id; a bad map changes nothing and shows its fault.
void ImportRegisterMap(CMainFrame* frame);
// The same without dialogs (automation and tests); false with *error.
bool ImportRegisterMapFile(CMainFrame* frame, const QString& path, int slaveId, QString* error);
void ExportRegisterMap(CMainFrame* frame);
bool ExportRegisterMapFile(CMainFrame* frame, const QString& path, QString* error);

}  // namespace vantormapio
