#pragma once
// vantor's command ids, menu texts and string table: the one place for every
// text the slave program shows.
namespace vantorres {

// Command ids.
enum Command : int {
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_FILE_CLOSE = 57602,
  ID_FILE_SAVE = 57603,
  ID_FILE_SAVE_AS = 57604,
  ID_FILE_PRINT_SETUP = 57606,
  ID_FILE_PRINT = 57607,
  ID_FILE_PRINT_PREVIEW = 57609,
  ID_IMPORT_REGISTER_MAP = 32950,
  ID_EXPORT_REGISTER_MAP = 32951,
  ID_APP_EXIT = 57665,
  ID_APP_ABOUT = 57664,
  ID_OPEN_WORKSPACE = 32840,
  ID_SAVE_WORKSPACE = 32839,
  ID_CONNECT = 32772,
  ID_DISCONNECT = 32773,
  ID_QUICK_CONNECT = 32838,
  ID_AUTO_ENABLE = 32835,
  ID_AUTO_DISABLE = 32836,
  ID_SLAVE_DEFINITION = 32785,
  ID_FONT = 32774,
  ID_COLOR = 32829,
  ID_USE_AS_DEFAULT = 32815,
  ID_PLC_ADDRESSES = 32778,
  ID_PROTOCOL_ADDRESSES = 32779,
  ID_COMMUNICATION = 32796,
  ID_ALWAYS_ON_TOP = 32798,
  ID_ON_THE_WEB = 32789,
  ID_PORT_PATHS = 32900,  // "Serial &Ports..." (device paths behind "Port n")
  ID_FAULTS = 32901,      // "&Faults..." (fault injection of the active definition)
  ID_IDENTITY = 32902,    // "&Identity..." (device identification objects of a slave id)
  ID_SIMULATION = 32903,  // "Si&mulation..." (simulated values of the active definition)
  ID_REPLAY_RECORDING = 32904,  // "Repla&y Recording..." (a recording's values played into the definitions)
  ID_STOP_REPLAY = 32905,       // "Stop R&eplay"
  ID_VIEW_TOOLBAR = 59392,
  ID_VIEW_STATUS_BAR = 59393,
  ID_WINDOW_ARRANGE = 57649,
  ID_WINDOW_CASCADE = 57650,
  ID_WINDOW_TILE = 57651,
};

// Menus.
constexpr const char* kMenuFile = "&File";
constexpr const char* kMenuConnection = "&Connection";
constexpr const char* kMenuSetup = "&Setup";
constexpr const char* kMenuDisplay = "&Display";
constexpr const char* kMenuView = "&View";
constexpr const char* kMenuWindow = "&Window";
constexpr const char* kMenuHelp = "&Help";
constexpr const char* kMenuOptions = "&Options";
constexpr const char* kMenuAutoConnect = "Auto Connect";

constexpr const char* kFileNew = "&New\tCtrl+N";
constexpr const char* kFileOpen = "&Open...\tCtrl+O";
constexpr const char* kFileClose = "&Close";
constexpr const char* kFileSave = "&Save\tCtrl+S";
constexpr const char* kFileSaveAs = "Save &As...";
constexpr const char* kOpenWorkspace = "Open &Workspace...";
constexpr const char* kSaveWorkspace = "Sa&ve Workspace...";
// Register maps (docs/register_map.md).
constexpr const char* kImportRegisterMap = "Import Register &Map...";
constexpr const char* kExportRegisterMap = "Expor&t Register Map...";
constexpr const char* kRegisterMapFilter = "Register maps (*.csv)";
constexpr const char* kRegisterMapSlaveTitle = "Import Register Map";
constexpr const char* kRegisterMapSlaveLabel = "Slave ID of the map's values:";
constexpr const char* kRegisterMapNothing = "There are no slave definitions to export.";
// Recordings (docs/recording.md) replayed into the definitions.
constexpr const char* kReplayRecording = "Repla&y Recording...";
constexpr const char* kStopReplay = "Stop R&eplay";
constexpr const char* kRecordingFilter = "Recordings (*.csv)";
constexpr const char* kReplayTitle = "Replay Recording";
constexpr const char* kReplaySpeedLabel = "Speed (times real time):";
constexpr const char* kReplayLoop = "Start again after the last row";
constexpr const char* kReplayStatus = "Replaying %1, %2 s of %3 s";
constexpr const char* kReplayReading = "Reading %1...";
constexpr const char* kFilePrint = "&Print...\tCtrl+P";
constexpr const char* kFilePrintPreview = "Print Pre&view";
constexpr const char* kFilePrintSetup = "P&rint Setup...";
constexpr const char* kFileExit = "E&xit";
constexpr const char* kConnect = "&Connect...\tF3";
constexpr const char* kDisconnect = "&Disconnect\tF4";
constexpr const char* kQuickConnect = "&Quick Connect\tF5";
constexpr const char* kAutoEnable = "&Enable";
constexpr const char* kAutoDisable = "D&isable";
constexpr const char* kPortPaths = "Serial &Ports...";
constexpr const char* kSlaveDefinition = "&Slave Definition...\tF2";
constexpr const char* kFont = "&Font...";
constexpr const char* kColor = "C&olor...";
constexpr const char* kUseAsDefault = "&Use as Default";
constexpr const char* kFaults = "&Faults...";
constexpr const char* kIdentity = "&Identity...";
constexpr const char* kSimulation = "Si&mulation...";
constexpr const char* kFormatMenuTexts[10] = {"&Signed", "&Unsigned", "&Hex", "&Binary", "&Float",
                                              "F&loat Inverse", "&Double", "D&ouble Inverse", "Long",
                                              "Long Inverse"};
constexpr int kFormatCommandIds[10] = {32775, 32776, 32777, 32780, 32781, 32782, 32783, 32784, 32794, 32795};
constexpr const char* kPlcAddresses = "&PLC Addresses (Base 1)";
constexpr const char* kProtocolAddresses = "P&rotocol Addresses (Base 0)";
constexpr const char* kCommunication = "&Communication...";
constexpr const char* kToolbar = "&Toolbar";
constexpr const char* kStatusBar = "&Status Bar";
constexpr const char* kAlwaysOnTop = "&Always On Top";
constexpr const char* kCascade = "&Cascade";
constexpr const char* kTile = "&Tile";
constexpr const char* kArrangeIcons = "&Arrange Icons";
constexpr const char* kOnTheWeb = "&Vantor on the web";
constexpr const char* kAbout = "&About Vantor...";

// Strings.
constexpr const char* kApplicationName = "vantor";  // string 57344: the profile's application name
constexpr const char* kApplicationTitle = "Vantor"; // string 130
constexpr const char* kProductName = "Vantor";
constexpr const char* kNewFileName = "Vantor";
constexpr const char* kDocumentFilter = "Vantor Files (*.vnd)";
constexpr const char* kDocumentExtension = ".vnd";
constexpr const char* kDocumentTypeName = "Vantor Document";
constexpr const char* kWebAddress = "https://orvane.example/vantor";
constexpr const char* kCommPaneDefault = "Comm:";
constexpr const char* kTcpStatus = "TCP/IP Connection";
constexpr const char* kNoConnection = "No connection";  // string 32791
constexpr const char* kNoResources = "No more data resources. Close a window to release a resource.";
constexpr const char* kPlcAddressTooHigh = "The address value must be below 10000 when PLC mode is selected";
constexpr const char* kFileFormatError = "File format error";
constexpr const char* kFileOpenError = "File open error";
constexpr const char* kDiskError = "Disk full or disk error";
constexpr const char* kWasNotFound = " was not found";
constexpr const char* kWrongWorkspaceExtension =
    "The workspace was not saved: a workspace file name must end with .vnw.";
constexpr const char* kConnectionCaption = "Connection";
constexpr const char* kTcpFailed = "Modbus/TCP Connection Failed.";
constexpr const char* kPortNotAvailable = "Port not available";
constexpr const char* kThreadFailed = "Not possible to start communication thread";
constexpr const char* kSocketsFailed = "Windows sockets initialization failed.";  // string 104
constexpr const char* kHexNumber = "Please enter a hex number";

// Workspace dialogs.
constexpr const char* kOpenWorkspaceTitle = "Open workspace";
constexpr const char* kSaveWorkspaceTitle = "Save workspace";
constexpr const char* kWorkspaceFilter = "vantor workspace (*.vnw)|*.vnw||";
constexpr const char* kWorkspaceExtension = "vnw";
constexpr const char* kWorkspaceInitialName = "resume";

// Slave Definition dialog.
constexpr const char* kDefinitionTitle = "Slave Definition";
constexpr const char* kSlaveIdLabel = "Slave ID:";
constexpr const char* kFunctionLabel = "Function:";
constexpr const char* kAddressLabel = "Address:";
constexpr const char* kLengthLabel = "Length:";
constexpr const char* kFunctionTexts[4] = {"01 COIL STATUS", "02 INPUT STATUS", "03 HOLDING REGISTER",
                                           "04 INPUT REGISTER"};

// Edit dialogs.
constexpr const char* kEditCoilTitle = "Edit Coil";
constexpr const char* kEditRegisterTitle = "Edit Register";
constexpr const char* kEditBinaryTitle = "Edit Register Binary";
constexpr const char* kEditFloatTitle = "Edit Floating Point";
constexpr const char* kEditLongTitle = "Edit Long Integer";
constexpr const char* kValueGroup = "Value";
constexpr const char* kOn = "On";
constexpr const char* kOff = "Off";
constexpr const char* kAutoChange = "&Auto change";
constexpr const char* kAutoIncrement = "&Auto increment";
constexpr const char* kValueLabel = "Value:";
constexpr const char* kHexValueLabel = "Value (HEX):";

// Connection dialog.
constexpr const char* kConnectionTitle = "Connection";
constexpr const char* kPortTexts[9] = {"Port 1", "Port 2", "Port 3", "Port 4", "Port 5",
                                       "Port 6", "Port 7", "Port 8", "TCP/IP"};
constexpr const char* kDataBitsTexts[2] = {"7 Data bits", "8 Data bits"};
constexpr const char* kParityTexts[3] = {"None Parity", "Odd Parity", "Even Parity"};
constexpr const char* kStopBitsTexts[2] = {"1 Stop Bit", "2 Stop Bits"};
constexpr const char* kModeGroup = "Mode";
constexpr const char* kRtu = "RTU";
constexpr const char* kAscii = "ASCII";
constexpr const char* kFlowControlGroup = "Flow Control";
constexpr const char* kDsr = "DSR";
constexpr const char* kCts = "CTS";
constexpr const char* kRtsToggle = "RTS Toggle";
constexpr const char* kRtsDelay = "[ms] RTS disable delay";
constexpr const char* kIgnoreUnitId = "Ignore Unit ID";
constexpr const char* kListenGroup = "TCP Server";
constexpr const char* kListenAddress = "Listen on address:";
constexpr const char* kListenPort = "Port:";
constexpr const char* kDevicePath = "Device:";
constexpr const char* kBadListenAddress = "Please enter an IPv4 address such as 127.0.0.1, or nothing for every address.";

// Faults dialog and the status-bar pane that shows faults are on.
constexpr const char* kFaultsTitle = "Faults";
constexpr const char* kFaultsNote = "Injected into the answers of this slave definition. Empty fields are off.";
constexpr const char* kFaultDelayLabel = "Delay [ms] (MS or MIN:MAX):";
constexpr const char* kFaultExceptionLabel = "Exception (CODE or CODE@FIRST-LAST):";
constexpr const char* kFaultDropLabel = "Drop [%]:";
constexpr const char* kFaultCorruptLabel = "Corrupt [%]:";
constexpr const char* kFaultBusyLabel = "Busy [s] (N:M, N of every M):";
constexpr const char* kFaultSeedLabel = "Seed:";
constexpr const char* kFaultSeedError = "Please enter a decimal number as the seed.";
constexpr const char* kFaultsPane = "Faults on";

// Simulation dialog: the simulated values of a slave definition, kept beside its file.
constexpr const char* kSimulationTitle = "Simulation";
constexpr const char* kSimulationNote =
    "One rule a line: ID:TABLE:ADDRESS[-LAST]:KIND[:FORMAT] with KIND random:MIN:MAX, "
    "ramp:MIN:MAX:PERIOD_MS, sine:CENTRE:AMPLITUDE:PERIOD_MS, toggle:PERIOD_MS or recording:FILE (the values "
    "a recording holds for the same addresses, looped; no FORMAT) (addresses are protocol addresses). Saved "
    "beside the file as FILE.vnd.sim.";
constexpr const char* kSimulationFromRecording = "From &Recording...";
constexpr const char* kSimulationReadError = "Cannot read the simulation rules %1.\n%2";
constexpr const char* kSimulationSaveError = "Cannot save %1.\n%2";

// Identity dialog: the objects of read device identification (43/14) and
// report slave id (17) per slave id.
constexpr const char* kIdentityTitle = "Identity";
constexpr const char* kIdentityNote =
    "Served to read device identification (43/14) and report slave id (17). Empty values are not served; "
    "VendorName, ProductCode and MajorMinorRevision then take vantor's defaults.";
constexpr const char* kIdentitySlave = "Slave ID:";
constexpr const char* kIdentityColumns[3] = {"Object", "Name", "Value"};
constexpr const char* kIdentityAddObject = "Add object:";
constexpr const char* kIdentityAdd = "&Add";
constexpr const char* kIdentityTooLong = "Object %1 of slave id %2 is longer than %3 bytes.";
// Profile.
constexpr const char* kSectionDefinition = "PollDefinition";
constexpr const char* kSectionFont = "Font";
constexpr const char* kSectionView = "View";
constexpr const char* kKeyAlwaysOnTop = "AlwaysOnTop";
constexpr const char* kKeyListenAddress = "ListenAddress";
constexpr const char* kKeyListenPort = "ListenPort";
// The names of the network transports: transporttexts::kNames.
constexpr const char* kTransportLabel = "Transport:";

// The seed of the random faults, kept between runs.
constexpr const char* kSectionFaults = "Faults";
constexpr const char* kKeyFaultSeed = "Seed";
constexpr int kRecentFileCount = 4;

}  // namespace vantorres
