#pragma once
// Status-bar prompts of zelmor's commands: "text shown while the command is
// hovered\ntool tip". One entry per command id; a prompt without a line break
// shows the same text in both places.
#include "resources/value_order_texts.h"
#include "resources/zelmor_resources.h"

namespace zelmor::res {

struct CommandPrompt {
  int id;
  const char* text;
};

inline constexpr CommandPrompt kCommandPrompts[] = {
    {ID_FILE_NEW, "Create a new poll window\nNew (Ctrl+N)"},
    {ID_FILE_OPEN, "Open an existing poll document\nOpen (Ctrl+O)"},
    {ID_FILE_CLOSE, "Close the active poll window\nClose"},
    {ID_FILE_SAVE, "Save the active poll document\nSave (Ctrl+S)"},
    {ID_FILE_SAVE_AS, "Save the active poll document with a new name\nSave As"},
    {ID_FILE_OPEN_WORKSPACE, "Open a workspace: connection settings and poll windows\nOpen Workspace"},
    {ID_FILE_SAVE_WORKSPACE, "Save the connection settings and all poll windows as a workspace\nSave Workspace"},
    {ID_FILE_PRINT, "Print the active poll window\nPrint (Ctrl+P)"},
    {ID_FILE_PRINT_PREVIEW, "Display the printed page\nPrint Preview"},
    {ID_FILE_PRINT_SETUP, "Change the printer and printing options\nPrint Setup"},
    {ID_APP_EXIT, "Quit the program; prompts to save documents\nExit"},
    {ID_CONNECT, "Choose the connection settings and connect\nConnect (F3)"},
    {ID_DISCONNECT, "Close the connection\nDisconnect (F4)"},
    {ID_AUTO_CONNECT_ENABLE, "Connect with the last settings when the program starts\nAuto Connect on"},
    {ID_AUTO_CONNECT_DISABLE, "Do not connect when the program starts\nAuto Connect off"},
    {ID_QUICK_CONNECT, "Connect with the last settings, without the dialog\nQuick Connect (F5)"},
    {ID_SERIAL_PORTS, "Choose the device behind each serial port number\nSerial Ports"},
    {ID_SETUP_POLL_DEFINITION, "Define the poll of the active window\nPoll Definition (F2)"},
    {ID_SETUP_FONT, "Change the font of the active window\nFont"},
    {ID_SETUP_COLOR, "Change the text colour of the active window\nColor"},
    {ID_SETUP_LOG, "Log the values of the active window to a text file\nLog"},
    {ID_SETUP_LOGGING_OFF, "Stop logging the active window\nLogging Off"},
    {ID_SETUP_RECORD_DEVICE,
     "Record the reads of every poll window into one file that vantor replays; again to stop\nRecord Device"},
    {ID_SETUP_RESET_COUNTERS, "Reset the counters of the active window\nReset Counters (F12)"},
    {ID_SETUP_USE_AS_DEFAULT, "Use the settings of the active window for new windows\nUse as Default"},
    {ID_SETUP_READ_ONCE, "Read the poll of the active window once\nRead Once (F6)"},
    {ID_WRITE_SINGLE_COIL, "05: Write single coil\n05: Write single coil (F7)"},
    {ID_WRITE_SINGLE_REGISTER, "06: Write single register\n06: Write single register (F8)"},
    {ID_WRITE_MULTIPLE_COILS, "15: Write multiple coils\n15: Write multiple coils (F9)"},
    {ID_WRITE_MULTIPLE_REGISTERS, "16: Write multiple registers\n16: Write multiple registers (F10)"},
    {ID_MASK_WRITE_REGISTER, "22: Mask write register\n22: Mask write register"},
    {ID_READ_WRITE_REGISTERS, "23: Read/Write multiple registers\n23: Read/Write multiple registers"},
    {ID_FUNCTIONS_TEST_CENTER, "Test center"},
    {ID_FUNCTIONS_DEVICE_ID, "Read a slave's device identification (43/14) or report slave id (17)\nDevice identification"},
    {ID_DISPLAY_SIGNED, "Show the values as signed 16-bit integers\nSigned"},
    {ID_DISPLAY_UNSIGNED, "Show the values as unsigned 16-bit integers\nUnsigned"},
    {ID_DISPLAY_HEX, "Show the values in hexadecimal\nHex"},
    {ID_DISPLAY_BINARY, "Show the values as 16 bits\nBinary"},
    {ID_DISPLAY_FLOAT, "Show register pairs as 32-bit floats, low word first\nFloat"},
    {ID_DISPLAY_FLOAT_INVERSE, "Show register pairs as 32-bit floats, high word first\nFloat Inverse"},
    {ID_DISPLAY_DOUBLE, "Show groups of four registers as 64-bit floats, lowest word first\nDouble"},
    {ID_DISPLAY_DOUBLE_INVERSE, "Show groups of four registers as 64-bit floats, highest word first\nDouble Inverse"},
    {ID_DISPLAY_LONG, "Show register pairs as signed 32-bit integers, low word first\nLong"},
    {ID_DISPLAY_LONG_INVERSE, "Show register pairs as signed 32-bit integers, high word first\nLong Inverse"},
    {ID_DISPLAY_PLC_ADDRESSES, "Show PLC addresses, counting from 1\nPLC Addresses"},
    {ID_DISPLAY_PROTOCOL_ADDRESSES, "Show protocol addresses, counting from 0\nProtocol Addresses"},
    {ID_DISPLAY_ERROR_COUNTERS, "Display errors\nDisplay errors"},
    {ID_DISPLAY_TREND, "Plot chosen values of the active window over time\nTrend"},
    {ID_BUS_SCAN, "Find the slave ids and line settings devices answer on\nScan"},
    {ID_REGISTER_SCAN, "Find the readable address blocks of one device\nRegister Scan"},
    {ID_DISPLAY_COMMUNICATION, "Display communication traffic\nDisplay traffic"},
    {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToolbar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nStatus Bar"},
    {ID_VIEW_STATISTICS, "Show the response times in every poll window\nStatistics"},
    {ID_VIEW_ALWAYS_ON_TOP, "Keep the main window above other windows\nAlways On Top"},
    {ID_WINDOW_CASCADE, "Arrange the windows so that they overlap\nCascade"},
    {ID_WINDOW_TILE, "Arrange the windows side by side\nTile"},
    {ID_WINDOW_ARRANGE, "Arrange the icons of minimised windows\nArrange Icons"},
    {ID_HELP_FINDER, "Show the help topics\nHelp Topics (F1)"},
    {ID_HELP_WEB, "Open the Zelmor web page in the browser\nZelmor on the Web"},
    {ID_DISPLAY_ATTACH_MAP, "Attach a register map: names beside the values of the active window\nAttach Register Map"},
    {ID_DISPLAY_EXPORT_MAP, "Save the active window's current values as a register map\nExport Register Map"},
    {ID_DISPLAY_MAP_NAMES, "Show or hide the column of register map names\nRegister Map Names"},
    {ID_APP_ABOUT, "Show the program name and version\nAbout"},
};

// The prompt of a command, or nullptr when it has none.
constexpr const char* PromptForCommand(int id) {
  for (const CommandPrompt& p : kCommandPrompts)
    if (p.id == id) return p.text;
  return ordertexts::FormatCommandPrompt(id);
}

}  // namespace zelmor::res
