#pragma once
// Status-bar prompts of vantor's commands: "text shown while the command is
// hovered\ntool tip". One entry per command id.
#include "resources/value_order_texts.h"
#include "resources/vantor_resources.h"

namespace vantorres {

struct CommandPrompt {
  int id;
  const char* text;
};

inline constexpr CommandPrompt kCommandPrompts[] = {
    {ID_FILE_NEW, "Create a new slave definition window\nNew (Ctrl+N)"},
    {ID_FILE_OPEN, "Open an existing slave definition\nOpen (Ctrl+O)"},
    {ID_FILE_CLOSE, "Close the active slave window\nClose"},
    {ID_FILE_SAVE, "Save the active slave definition\nSave (Ctrl+S)"},
    {ID_FILE_SAVE_AS, "Save the active slave definition with a new name\nSave As"},
    {ID_OPEN_WORKSPACE, "Open a workspace: connection settings and slave windows\nOpen Workspace"},
    {ID_SAVE_WORKSPACE, "Save the connection settings and all slave windows as a workspace\nSave Workspace"},
    {ID_FILE_PRINT, "Print the active slave window\nPrint (Ctrl+P)"},
    {ID_FILE_PRINT_PREVIEW, "Display the printed page\nPrint Preview"},
    {ID_FILE_PRINT_SETUP, "Change the printer and printing options\nPrint Setup"},
    {ID_APP_EXIT, "Quit the program; prompts to save documents\nExit"},
    {ID_CONNECT, "Choose the connection settings and start serving\nConnect (F3)"},
    {ID_DISCONNECT, "Stop serving and close the connection\nDisconnect (F4)"},
    {ID_QUICK_CONNECT, "Start serving with the last settings, without the dialog\nQuick Connect (F5)"},
    {ID_AUTO_ENABLE, "Connect with the last settings when the program starts\nAuto Connect on"},
    {ID_AUTO_DISABLE, "Do not connect when the program starts\nAuto Connect off"},
    {ID_PORT_PATHS, "Choose the device behind each serial port number\nSerial Ports"},
    {ID_SLAVE_DEFINITION, "Define the slave of the active window\nSlave Definition (F2)"},
    {ID_FONT, "Change the font of the active window\nFont"},
    {ID_COLOR, "Change the text colour of the active window\nColor"},
    {ID_USE_AS_DEFAULT, "Use the settings of the active window for new windows\nUse as Default"},
    {ID_FAULTS, "Delay, refuse, drop or spoil the answers of the active slave definition\nFaults"},
    {ID_IDENTITY, "Edit the device identification objects a slave id serves\nIdentity"},
    {ID_SIMULATION, "Simulate random, ramp, sine or toggling values in the active slave definition\nSimulation"},
    {kFormatCommandIds[0], "Show the values as signed 16-bit integers\nSigned"},
    {kFormatCommandIds[1], "Show the values as unsigned 16-bit integers\nUnsigned"},
    {kFormatCommandIds[2], "Show the values in hexadecimal\nHex"},
    {kFormatCommandIds[3], "Show the values as 16 bits\nBinary"},
    {kFormatCommandIds[4], "Show register pairs as 32-bit floats, low word first\nFloat"},
    {kFormatCommandIds[5], "Show register pairs as 32-bit floats, high word first\nFloat Inverse"},
    {kFormatCommandIds[6], "Show groups of four registers as 64-bit floats, lowest word first\nDouble"},
    {kFormatCommandIds[7], "Show groups of four registers as 64-bit floats, highest word first\nDouble Inverse"},
    {kFormatCommandIds[8], "Show register pairs as signed 32-bit integers, low word first\nLong"},
    {kFormatCommandIds[9], "Show register pairs as signed 32-bit integers, high word first\nLong Inverse"},
    {ID_PLC_ADDRESSES, "Show PLC addresses, counting from 1\nPLC Addresses"},
    {ID_PROTOCOL_ADDRESSES, "Show protocol addresses, counting from 0\nProtocol Addresses"},
    {ID_COMMUNICATION, "Display communication traffic\nDisplay traffic"},
    {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToolbar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nStatus Bar"},
    {ID_ALWAYS_ON_TOP, "Keep the main window above other windows\nAlways On Top"},
    {ID_WINDOW_CASCADE, "Arrange the windows so that they overlap\nCascade"},
    {ID_WINDOW_TILE, "Arrange the windows side by side\nTile"},
    {ID_WINDOW_ARRANGE, "Arrange the icons of minimised windows\nArrange Icons"},
    {ID_ON_THE_WEB, "Open the Vantor web page in the browser\nVantor on the web"},
    {ID_IMPORT_REGISTER_MAP, "Create or fill definitions from a register map\nImport Register Map"},
    {ID_EXPORT_REGISTER_MAP, "Save the definitions as a register map\nExport Register Map"},
    {ID_REPLAY_RECORDING, "Play the values of a device recording into the definitions\nReplay Recording"},
    {ID_STOP_REPLAY, "Stop playing the recording; the values stay\nStop Replay"},
    {ID_APP_ABOUT, "Show the program name and version\nAbout"},
};

// The prompt of a command, or nullptr when it has none.
constexpr const char* PromptForCommand(int id) {
  for (const CommandPrompt& p : kCommandPrompts)
    if (p.id == id) return p.text;
  return ordertexts::FormatCommandPrompt(id);
}

}  // namespace vantorres
