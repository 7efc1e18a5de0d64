#pragma once
// zelmor's command ids, menu texts and string table: the one place for every
// fixed text the master program shows. Qt-free, so the headless runner and the
// file codecs use the same texts as the windows.

namespace zelmor::res {

// ---- Command ids ---------------------------------------------------------------
enum CommandId : int {
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_FILE_CLOSE = 57602,
  ID_FILE_SAVE = 57603,
  ID_FILE_SAVE_AS = 57604,
  ID_FILE_PRINT_SETUP = 57606,
  ID_FILE_PRINT = 57607,
  ID_FILE_PRINT_PREVIEW = 57609,
  ID_FILE_MRU_FIRST = 57616,
  ID_APP_ABOUT = 57664,
  ID_APP_EXIT = 57665,
  ID_HELP_FINDER = 57667,
  ID_WINDOW_ARRANGE = 57649,
  ID_WINDOW_CASCADE = 57650,
  ID_WINDOW_TILE = 57651,
  ID_VIEW_TOOLBAR = 59392,
  ID_VIEW_STATUS_BAR = 59393,
  ID_SETUP_POLL_DEFINITION = 32771,
  ID_CONNECT = 32772,
  ID_DISCONNECT = 32773,
  ID_SETUP_FONT = 32774,
  ID_DISPLAY_SIGNED = 32775,
  ID_DISPLAY_UNSIGNED = 32776,
  ID_DISPLAY_HEX = 32777,
  ID_DISPLAY_PLC_ADDRESSES = 32778,
  ID_DISPLAY_PROTOCOL_ADDRESSES = 32779,
  ID_DISPLAY_BINARY = 32780,
  ID_DISPLAY_FLOAT_INVERSE = 32782,
  ID_DISPLAY_DOUBLE = 32783,
  ID_DISPLAY_DOUBLE_INVERSE = 32784,
  ID_SETUP_RESET_COUNTERS = 32801,
  ID_SETUP_USE_AS_DEFAULT = 32815,
  ID_DISPLAY_COMMUNICATION = 32825,
  ID_DISPLAY_FLOAT = 32827,
  ID_SETUP_COLOR = 32829,
  ID_HELP_WEB = 32831,
  ID_DISPLAY_LONG = 32832,
  ID_DISPLAY_LONG_INVERSE = 32833,
  ID_AUTO_CONNECT_ENABLE = 32835,
  ID_AUTO_CONNECT_DISABLE = 32836,
  ID_QUICK_CONNECT = 32838,
  ID_SETUP_READ_ONCE = 32854,
  ID_FILE_SAVE_WORKSPACE = 32858,
  ID_FILE_OPEN_WORKSPACE = 32859,
  ID_VIEW_ALWAYS_ON_TOP = 32861,
  ID_SETUP_LOG = 32808,
  ID_SETUP_LOGGING_OFF = 32809,
  ID_FUNCTIONS_TEST_CENTER = 32826,
  ID_READ_WRITE_REGISTERS = 32839,
  ID_WRITE_SINGLE_COIL = 32842,
  ID_WRITE_SINGLE_REGISTER = 32844,
  ID_WRITE_MULTIPLE_COILS = 32846,
  ID_WRITE_MULTIPLE_REGISTERS = 32848,
  ID_MASK_WRITE_REGISTER = 32849,
  ID_DISPLAY_ERROR_COUNTERS = 32862,
  ID_SERIAL_PORTS = 32900,  // "Serial &Ports..." (device paths behind "Port n")
  ID_VIEW_STATISTICS = 32901,  // "S&tatistics": the response-time line of the poll windows
  ID_DISPLAY_TREND = 32902,    // "T&rend...": the trend window of the active poll window
};

// Display format 0..9 -> its menu command id (and text) in that order.
constexpr int kDisplayFormatCommands[10] = {
    ID_DISPLAY_SIGNED, ID_DISPLAY_UNSIGNED,      ID_DISPLAY_HEX,  ID_DISPLAY_BINARY,
    ID_DISPLAY_FLOAT,  ID_DISPLAY_FLOAT_INVERSE, ID_DISPLAY_DOUBLE, ID_DISPLAY_DOUBLE_INVERSE,
    ID_DISPLAY_LONG,   ID_DISPLAY_LONG_INVERSE,
};
constexpr const char* kDisplayFormatMenuTexts[10] = {
    "&Signed", "&Unsigned", "&Hex", "&Binary", "&Float", "F&loat Inverse", "&Double", "D&ouble Inverse", "Long",
    "Long Inverse",
};

// ---- Menu texts (a tab separates the shortcut shown at the right) ---------------
namespace menu {
constexpr const char* kFile = "&File";
constexpr const char* kConnection = "&Connection";
constexpr const char* kSetup = "&Setup";
constexpr const char* kFunctions = "F&unctions";
constexpr const char* kDisplay = "&Display";
constexpr const char* kView = "&View";
constexpr const char* kWindow = "&Window";
constexpr const char* kHelp = "&Help";
constexpr const char* kNew = "&New\tCtrl+N";
constexpr const char* kOpen = "&Open...\tCtrl+O";
constexpr const char* kClose = "&Close";
constexpr const char* kSave = "&Save\tCtrl+S";
constexpr const char* kSaveAs = "Save &As...";
constexpr const char* kOpenWorkspace = "Open &Workspace...";
constexpr const char* kSaveWorkspace = "Sa&ve Workspace...";
constexpr const char* kPrint = "&Print...\tCtrl+P";
constexpr const char* kPrintPreview = "Print Pre&view";
constexpr const char* kPrintSetup = "P&rint Setup...";
constexpr const char* kRecentFile = "Recent File";
constexpr const char* kExit = "E&xit";
constexpr const char* kConnect = "&Connect...\tF3";
constexpr const char* kDisconnect = "&Disconnect\tF4";
constexpr const char* kAutoConnect = "Auto Connect";
constexpr const char* kAutoEnable = "&Enable";
constexpr const char* kAutoDisable = "D&isable";
constexpr const char* kQuickConnect = "&Quick Connect\tF5";
constexpr const char* kSerialPorts = "Serial &Ports...";
constexpr const char* kPollDefinition = "&Poll Definition...\tF2";
constexpr const char* kOptions = "&Options";
constexpr const char* kFont = "&Font...";
constexpr const char* kColor = "C&olor...";
constexpr const char* kResetCounters = "&Reset Counters\tF12";
constexpr const char* kUseAsDefault = "&Use as Default";
constexpr const char* kReadOnce = "Read &Once\tF6";
constexpr const char* kPlcAddresses = "&PLC Addresses (Base 1)";
constexpr const char* kProtocolAddresses = "P&rotocol Addresses (Base 0)";
constexpr const char* kCommunication = "&Communication...";
constexpr const char* kToolbar = "&Toolbar";
constexpr const char* kStatusBar = "&Status Bar";
constexpr const char* kAlwaysOnTop = "&Always On Top";
constexpr const char* kCascade = "&Cascade";
constexpr const char* kTile = "&Tile";
constexpr const char* kArrangeIcons = "&Arrange Icons";
constexpr const char* kHelpTopics = "&Help Topics";
constexpr const char* kOnTheWeb = "&Zelmor on the Web";
constexpr const char* kAbout = "&About Zelmor...";
constexpr const char* kLog = "&Log...";
constexpr const char* kLoggingOff = "Logging Off";
constexpr const char* kTestCenter = "&Test Center...";
constexpr const char* kErrorCounters = "&Error Counters\tF11";
constexpr const char* kStatistics = "S&tatistics";
constexpr const char* kTrend = "T&rend...";
}  // namespace menu

// ---- String table -------------------------------------------------------------
namespace text {
constexpr const char* kAppTitle = "zelmor";                       // 57344
constexpr const char* kDocumentName = "Zelmor";                   // template string 129
constexpr const char* kFileFilter = "Zelmor Files (*.zmd)";
constexpr const char* kDocumentExtension = ".zmd";
constexpr const char* kWorkspaceExtension = ".zmw";
constexpr const char* kProductName = "Zelmor";
constexpr const char* kWebAddress = "https://orvane.example/zelmor";
constexpr const char* kNoResources = "No more data resources. Close a window to release a resource.";  // 32800
constexpr const char* kDisablePollingFirst = "Disable \"Enable Polling\" before poll once";
constexpr const char* kFileFormatError = "File format error";
constexpr const char* kUnexpectedFileFormat = "Unexpected file format.";
constexpr const char* kWasNotFound = " was not found";
constexpr const char* kFileOpenError = "File open error";
constexpr const char* kDiskError = "Disk full or disk error";
constexpr const char* kWorkspaceNotSaved =
    "The workspace was not saved: a workspace file name must end in \".zmw\".";
constexpr const char* kOpenWorkspaceTitle = "Open workspace";
constexpr const char* kSaveWorkspaceTitle = "Save workspace";
constexpr const char* kWorkspaceFilter = "zelmor workspace (*.zmw)";
constexpr const char* kDefaultWorkspaceName = "resume";
constexpr const char* kCommPaneDefault = "Comm:";
constexpr const char* kTcpStatusFormat = "%s: %d";
constexpr const char* kConnectionCaption = "Connection";
constexpr const char* kTcpWsaStartupError = "Modbus/TCP Connection Failed. WSA Startup Error";
constexpr const char* kTcpInvalidAddress = "Modbus/TCP Connection Failed. Invalid IP Address";
constexpr const char* kTcpConnectFailed = "Modbus/TCP Connection Failed";
constexpr const char* kPortNotAvailable = "Port not available";
constexpr const char* kHeaderEnabled = "Tx = %i: Err = %i: ID = %i: F = %02i: SR = %ims";
constexpr const char* kHeaderDisabled = "Tx = %i: Err = %i: ID = %i: F = %02i: SR = %ims  (DISABLED)";
constexpr int kHeaderEnabledBlanks = 26;
constexpr int kHeaderDisabledBlanks = 24;
constexpr int kErrorLineBlanks = 58;
// Error texts of the poll view, by result.
constexpr const char* kTimeoutError = "Timeout Error";            // 32786
constexpr const char* kCrcError = "CRC Error";                    // 32787
constexpr const char* kResponseError = "Response Error";          // 32788
constexpr const char* kWriteError = "Write Error";                // 32789
constexpr const char* kReadError = "Read Error";                  // 32790
constexpr const char* kNoConnection = "No Connection";            // 32791
constexpr const char* kThreadError = "Not possible to start communication thread";  // 32792
constexpr const char* kBytesMissing = "Bytes Missing Error";      // 103
constexpr const char* kIllegalFunction = "Illigal Function";      // 32793
constexpr const char* kIllegalAddress = "Illigal Data Address";   // 32794
constexpr const char* kIllegalValue = "Illegal Data Value";       // 32795
constexpr const char* kDeviceFailure = "Slave Device Failure";    // 32796
constexpr const char* kAcknowledge = "ACKNOWLEDGE";               // 32797
constexpr const char* kDeviceBusy = "SLAVE DEVICE BUSY";          // 32798
constexpr const char* kNak = "NAK-NEGATIVE ACKNOWLEDGMENT";       // 32799
constexpr const char* kExceptionFormat = "Exception Error %i";
constexpr const char* kUnknownError = "Unknown Error";            // 32855
// Poll Definition dialog.
constexpr const char* kPollDefinitionTitle = "Poll Definition";
constexpr const char* kFunctionEntries[4] = {"01 Read Coils", "02 Read Discrete Inputs", "03 Read Holding Registers",
                                             "04 Read Input Registers"};
// Error counters window: the line of counter k (17 shown, 20 kept).
constexpr const char* kErrorCountersTitle = "Error Counters";
constexpr const char* kErrorCounterFormats[20] = {
    "%d\tTimeout Error",        "%d\tCRC Error",
    "%d\tResponse Error",       "%d\tWrite Error",
    "%d\tRead Error",           "%d\tNo connection",
    "%d\tThread Error",         "%d\tBytes Missing Error",
    "%d\tILLEGAL FUNCTION",     "%d\tILLEGAL DATA ADDRESS",
    "%d\tILLEGAL DATA VALUE",   "%d\tSLAVE DEVICE FAILURE",
    "%d\tACKNOWLEDGE",          "%d\tSLAVE DEVICE BUSY",
    "%d\tNAK-NEGATIVE ACKNOWLEDGMENT", "%d\tUnknown Exception Error",
    "%d\tUnknown Error",        "%d\t",
    "%d\t",                     "%d\t",
};
constexpr int kShownErrorCounters = 17;
constexpr const char* kNoErrors = "NO ERRORS!";
// Data log: the file dialog and "Set Log Rate" (dialog 110).
constexpr const char* kLogFilter = "modbus log data (*.txt)|*.txt||";
constexpr const char* kLogExtension = "txt";
constexpr const char* kLogFileName = "logfile.txt";
constexpr const char* kLogRateTitle = "Set Log Rate";
constexpr const char* kLogRateGroup = "Log Rate";
constexpr const char* kLogEachPoll = "Each poll";
constexpr const char* kLogSelect = "Select";
constexpr const char* kLogRateLabel = "Rate:";
constexpr const char* kLogRateUnit = "s";
constexpr const char* kLogDelimitersGroup = "Delimiters";
constexpr const char* kLogFixedWidth = "Fixed width";
constexpr const char* kLogComma = "Comma";
constexpr const char* kLogTab = "Tab";
constexpr const char* kLogErrors = "Log errors";
// Test center.
constexpr const char* kTestCenterTitle = "Test Center";
constexpr const char* kTestCenterEntryGroup = "Enter hex number separated by \",\"  \".\" or space";
constexpr const char* kTestCenterOpenList = "&Open list";
constexpr const char* kTestCenterSaveList = "S&ave list";
constexpr const char* kTestCenterAddToList = "&Add to list";
constexpr const char* kTestCenterSend = "&Send";
constexpr const char* kTestCenterExit = "&Exit";
constexpr const char* kTestCenterAddCheck = "Add Check";
constexpr const char* kTestCenterCrc = "CRC";
constexpr const char* kTestCenterLrc = "LRC";
constexpr const char* kTestCenterCopy = "&Copy";
constexpr const char* kTestCenterFilter = "modbus test. data (*.txt)|*.txt||";
constexpr const char* kTestCenterExtension = "txt";
constexpr const char* kTestCenterFileName = "testdata";
constexpr const char* kErrorInString = "Error in string";
constexpr const char* kNotTestCenterFile = "This file is not a test center file";
constexpr const char* kNoStringSelected = "No string selected";
// Why a Send went nowhere (shown in the dialog, below the buttons).
constexpr const char* kTestCenterBusy = "Not sent: another request is still waiting to be sent.";
constexpr const char* kTestCenterNoLink = "Not sent: no connection.";
// Response times: the poll window's "Statistics" line, the section of the error
// counters window and the fields of the headless output (--timing).
constexpr const char* kStatisticsFormat = "Last = %.1f ms: Min = %.1f ms: Mean = %.1f ms: Max = %.1f ms: Replies = %u";
constexpr const char* kStatisticsNone = "Last = -: Min = -: Mean = -: Max = -: Replies = 0";
constexpr const char* kResponseTimesGroup = "Response times";
constexpr const char* kResponseTimeLabels[5] = {"Last", "Minimum", "Mean", "Maximum", "Replies timed"};
constexpr const char* kMillisecondsFormat = "%.1f ms";
constexpr const char* kTimingFieldFormats[4] = {"last %.1f ms", "min %.1f ms", "mean %.1f ms", "max %.1f ms"};
// Trend window.
constexpr const char* kTrendTitleFormat = "Trend - %1";
constexpr const char* kTrendCells = "Cells";
constexpr const char* kTrendSpan = "Time span:";
constexpr const char* kTrendSpans[4] = {"1 min", "10 min", "1 h", "All"};
constexpr const char* kTrendAutoscale = "Autoscale";
constexpr const char* kTrendMinimum = "Min:";
constexpr const char* kTrendMaximum = "Max:";
constexpr const char* kTrendPause = "&Pause";
constexpr const char* kTrendClear = "C&lear";
constexpr const char* kTrendExport = "&Export CSV...";
constexpr const char* kTrendClose = "&Close";
constexpr const char* kTrendExportTitle = "Export trend";
constexpr const char* kTrendFilter = "CSV files (*.csv)";
constexpr const char* kTrendExtension = "csv";
constexpr const char* kTrendFileName = "trend.csv";
constexpr const char* kTrendTimeColumn = "Time";
constexpr const char* kTrendTooManyCells = "At most %1 cells can be plotted at once.";
constexpr const char* kTrendExportFailed = "The trend could not be written to %1.";
constexpr const char* kTrendSamples = "%1 samples";
constexpr const char* kTestCenterLinkClosed = "Not sent: the connection was closed before the frame went out.";
}  // namespace text

}  // namespace zelmor::res
