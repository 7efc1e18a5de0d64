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
  ID_VIEW_STATISTICS = 32901,  // "Stat&istics": the response-time line of the poll windows
  ID_DISPLAY_TREND = 32902,    // "&Trend...": the trend window of the active poll window
  ID_BUS_SCAN = 32903,         // "Sc&an...": the bus scanner (Connection menu)
  ID_REGISTER_SCAN = 32904,    // "Register Sc&an...": readable blocks of one device (Functions menu)

  ID_FUNCTIONS_DEVICE_ID = 32910,  // "&Device Identification...": 43/14 and 17 of a slave

  ID_DISPLAY_ATTACH_MAP = 32952,  // "Attach Register &Map...": names for the active poll window
  ID_DISPLAY_EXPORT_MAP = 32953,  // "E&xport Register Map...": the window's current values as a map
  ID_DISPLAY_MAP_NAMES = 32954,   // "Register Map &Names": the name column

  ID_SETUP_RECORD_DEVICE = 32960,  // "Record &Device...": every poll window's reads into a recording
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
constexpr const char* kDeviceIdentification = "&Device Identification...";
constexpr const char* kErrorCounters = "&Error Counters\tF11";
constexpr const char* kStatistics = "Stat&istics";
// Register maps (docs/register_map.md).
constexpr const char* kAttachRegisterMap = "Attach Register &Map...";
constexpr const char* kExportRegisterMap = "E&xport Register Map...";
constexpr const char* kRegisterMapNames = "Register Map &Names";
constexpr const char* kRegisterMapFilter = "Register maps (*.csv)";
constexpr const char* kTrend = "&Trend...";
// Recordings (docs/recording.md): Setup > Record Device, checked while recording.
constexpr const char* kRecordDevice = "Record &Device...";
constexpr const char* kWriteSingleCoil = "0&5: Write Single Coil...\tF7";
constexpr const char* kWriteSingleRegister = "0&6: Write Single Register...\tF8";
constexpr const char* kWriteMultipleCoils = "15: Write &Coils...\tF9";
constexpr const char* kWriteMultipleRegisters = "16: Write &Registers...\tF10";
constexpr const char* kMaskWriteRegister = "22: &Mask Write Register...";
constexpr const char* kReadWriteRegisters = "2&3: Read/Write Registers...";
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
constexpr const char* kTcpHostNotFound = "Modbus/TCP Connection Failed. Host not found";
// The names of the network transports: transporttexts::kNames.
constexpr const char* kTransportLabel = "Transport";
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
constexpr const char* kLogDated = "Date, milliseconds and header row";
// Recordings: the save dialog of Setup > Record Device and the status bar while recording.
constexpr const char* kRecordingTitle = "Record device";
constexpr const char* kRecordingFilter = "Recordings (*.csv)";
constexpr const char* kRecordingExtension = "csv";
constexpr const char* kRecordingFileName = "recording.csv";
constexpr const char* kRecordingRows = "Recording: %1 rows";
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
// Write dialogs.
constexpr const char* kWriteSingleCoilTitle = "Write Single Coil";
constexpr const char* kWriteRegisterTitle = "Write Single Register";
constexpr const char* kWriteRegisterBinTitle = "Write Single Register Binary";
constexpr const char* kWriteFloatTitle = "Write Floating Point";
constexpr const char* kWriteDoubleTitle = "Write Double";
constexpr const char* kWriteLongTitle = "Write Long";
constexpr const char* kMaskWriteTitle = "22: Mask Write Register";
constexpr const char* kWriteAddressLabel = "Address:";
constexpr const char* kWriteSlaveLabel = "Slave ID:";
constexpr const char* kWriteValueGroup = "Value";
constexpr const char* kWriteOn = "On";
constexpr const char* kWriteOff = "Off";
constexpr const char* kUseFunctionGroup = "Use Function";
constexpr const char* kUseFunction05 = "05: Write single coil";
constexpr const char* kUseFunction15 = "15: Write multiple coils";
constexpr const char* kUseFunction06 = "06: Write single register";
constexpr const char* kUseFunction16 = "16: Write multiple registers";
constexpr const char* kValueLabel = "Value:";
constexpr const char* kHexValueLabel = "Value (HEX):";
constexpr const char* kAndMaskGroup = "AND Mask";
constexpr const char* kOrMaskGroup = "OR Mask";
constexpr const char* kWriteSend = "&Send";
constexpr const char* kWriteCancel = "Cancel";
constexpr const char* kWriteCancelAccel = "&Cancel";
// Entry checks of the write dialogs and of headless writes.
constexpr const char* kEnterInteger = "Please enter an integer.";
constexpr const char* kEnterIntegerRange = "Please enter an integer between %s and %s.";
constexpr const char* kEnterNumber = "Please enter a number.";
constexpr const char* kEnterNumberRange = "Please enter a number between %s and %s.";
constexpr const char* kEnterMaxChars = "Please enter no more than %d characters.";
constexpr const char* kEnterHexNumber = "Please enter a hex number";
constexpr const char* kEnterBinaryNumber = "Please enter a binary number of 1 to 16 digits";
// Result of a write ("Illigal" as the slaves' manuals spell it).
constexpr const char* kResponseOk = "Response ok";
// Status bar, when Send finds the one-shot slot still taken.
constexpr const char* kWriteStillPending = "Not sent: the previous write is still pending.";
// Multiple writes (15, 16, 23) and their value lists.
constexpr const char* kWriteCoilsTitle = "15: Write Multiple Coils";
constexpr const char* kWriteRegistersTitles[10] = {
    "16: Write multiple registers (signed)",
    "16: Write multiple registers (unsigned)",
    "16: Write multiple registers (HEX)",
    "16: Write multiple registers (binary)",
    "16: Write multiple registers (floating point)",
    "16: Write multiple registers (floating point inv.)",
    "16: Write multiple registers (double floating point)",
    "16: Write multiple registers (double floating point inv.)",
    "16: Write multiple registers (long)",
    "16: Write multiple registers (long inv.)",
};
constexpr const char* kReadWriteRegistersTitles[10] = {
    "23: Read/Write multiple registers (signed)",
    "23: Read/Write multiple registers (unsigned)",
    "23: ReadWrite multiple registers (HEX)",
    "23: Read/Write multiple registers (binary)",
    "23: ReadWrite multiple registers (floating point)",
    "23: Write multiple registers (floating point inv.)",
    "23: Read/Write multiple registers (double floating point)",
    "23: Read/Write multiple registers (double floating point inv.)",
    "23: Read/Write multiple registers (long)",
    "23: Read/Write multiple registers (long inv.)",
};
// The titles of the other byte and word orders (display formats 10..19).
constexpr const char* kWriteRegistersOrderTitles[10] = {
    "16: Write multiple registers (floating point BADC)",    "16: Write multiple registers (floating point DCBA)",
    "16: Write multiple registers (double floating point BADC)",
    "16: Write multiple registers (double floating point DCBA)",
    "16: Write multiple registers (long BADC)",              "16: Write multiple registers (long DCBA)",
    "16: Write multiple registers (unsigned long ABCD)",     "16: Write multiple registers (unsigned long CDAB)",
    "16: Write multiple registers (unsigned long BADC)",     "16: Write multiple registers (unsigned long DCBA)",
};
constexpr const char* kReadWriteRegistersOrderTitles[10] = {
    "23: Read/Write multiple registers (floating point BADC)",
    "23: Read/Write multiple registers (floating point DCBA)",
    "23: Read/Write multiple registers (double floating point BADC)",
    "23: Read/Write multiple registers (double floating point DCBA)",
    "23: Read/Write multiple registers (long BADC)",
    "23: Read/Write multiple registers (long DCBA)",
    "23: Read/Write multiple registers (unsigned long ABCD)",
    "23: Read/Write multiple registers (unsigned long CDAB)",
    "23: Read/Write multiple registers (unsigned long BADC)",
    "23: Read/Write multiple registers (unsigned long DCBA)",
};
constexpr const char* kListSizeLabel = "Size:";
constexpr const char* kReadWriteAddressLabel = "Write Address:";
constexpr const char* kReadWriteSizeLabel = "Write Size:";
constexpr const char* kReadAddressLabel = "Read Address:";
constexpr const char* kReadSizeLabel = "Read Size:";
constexpr const char* kReadResultLabel = "Read Result";
constexpr const char* kCoilLineFormat = "Coil %i";
constexpr const char* kListEdit = "&Edit";
constexpr const char* kListOpen = "&Open";
constexpr const char* kCoilsSave = "&Save";
constexpr const char* kListSave = "S&ave";
constexpr const char* kValueListFilter = "zelmor data (*.mod)|*.mod||";
constexpr const char* kValueListExtension = "mod";
constexpr const char* kValueListFileName = "data";
constexpr const char* kNotCorrectDataType = "Not correct data type";
constexpr const char* kEnterValueTitle = "Enter Value";
constexpr const char* kEnterOk = "OK";
// An inverse format sends whole values only; a size below one value would queue
// a write without data.
constexpr const char* kNoWholeValue =
    "Not sent: in this display format the size must hold at least one whole value (2 registers for float and "
    "long, 4 for double).";
// Device Identification dialog (43/14 read device identification, 17 report slave id).
constexpr const char* kDeviceIdTitle = "Device Identification";
constexpr const char* kDeviceIdSlave = "Slave ID:";
constexpr const char* kDeviceIdRead = "Read:";
constexpr const char* kDeviceIdReads[4] = {"Basic (VendorName, ProductCode, Revision)", "Regular (named objects)",
                                           "Extended (with private objects)", "One object"};
constexpr const char* kDeviceIdObject = "Object ID:";
constexpr const char* kDeviceIdReadButton = "&Read";
constexpr const char* kDeviceIdReportButton = "Report &Slave ID";
constexpr const char* kDeviceIdClose = "&Close";
constexpr const char* kDeviceIdColumns[3] = {"Object", "Name", "Value"};
constexpr const char* kDeviceIdReading = "Reading... request %1";
constexpr const char* kDeviceIdDone = "%1 objects, conformity level 0x%2, %3 requests";
constexpr const char* kDeviceIdFailed = "Failed: %1";
constexpr const char* kDeviceIdSlaveIdRows[3] = {"Slave ID", "Run Indicator", "Additional Data"};
constexpr const char* kDeviceIdRunStates[2] = {"OFF", "ON"};
constexpr const char* kDeviceIdReported = "Report slave id: %1 data bytes";
}  // namespace text

// ---- Bus scan and frame decoder ----------------------------------------------
namespace scan {
constexpr const char* kMenuScan = "Sc&an...";
constexpr const char* kScanTitle = "Scan";
constexpr const char* kIds = "Slave ids";
constexpr const char* kBauds = "Baud rates";
constexpr const char* kParities = "Parities";
constexpr const char* kFraming = "Framing";
constexpr const char* kProbe = "Probe: read 1 holding register at";
constexpr const char* kProbeKind = "Probe";
// In the order of busscan::Probe.
constexpr const char* kProbeKinds[] = {"Read 1 holding register", "Device identification (43/14, basic)",
                                       "Report slave id (17)"};
constexpr const char* kTimeout = "Time-out at 9600 baud (ms)";
constexpr const char* kStart = "&Start";
constexpr const char* kStop = "S&top";
constexpr const char* kExport = "&Export CSV...";
constexpr const char* kUseSettings = "&Use these settings";
constexpr const char* kClose = "&Close";
constexpr const char* kTrying = "Trying slave %1, %2 (%3 of %4), %5 s left";
constexpr const char* kDone = "Done: %1 found in %2 probes";
constexpr const char* kStopped = "Stopped: %1 found in %2 of %3 probes";
constexpr const char* kFailed = "The scan ended: %1";
constexpr const char* kNeedTcp = "Connect to the Modbus/TCP server first: the scan uses the current connection.";
constexpr const char* kCsvFilter = "CSV files (*.csv)";
constexpr const char* kCannotWrite = "Cannot write %1";
constexpr const char* kColumns[] = {"Id", "Line", "Response ms", "Answer", "Identification"};
constexpr const char* kDecodeAction = "&Decode Frame...";
constexpr const char* kDecoderTitle = "Decode Frame";
constexpr const char* kDecoderInput = "Frame (hex bytes, or an ASCII frame starting with ':')";
constexpr const char* kFramings[] = {"Any framing", "RTU", "ASCII", "Modbus/TCP"};
constexpr const char* kDirections[] = {"Request or reply", "Request", "Reply"};
constexpr const char* kMenuRegisterScan = "Register Sc&an...";
constexpr const char* kRegisterScanTitle = "Register Scan";
constexpr const char* kSlave = "Slave id";
constexpr const char* kFunction = "Function";
constexpr const char* kAddresses = "Addresses (protocol)";
constexpr const char* kBlock = "Items per read";
constexpr const char* kOpenPoll = "&Open poll window";
constexpr const char* kReading = "Reading %2 from address %1";
constexpr const char* kBlocksFound = "Done: %1 readable blocks in %2 reads";
constexpr const char* kBlockColumns[] = {"Address", "Count", "Values"};
}  // namespace scan

}  // namespace zelmor::res
