#pragma once
// Every text kestrin shows, in one place. The user interface is Chinese; the
// port's error box and the configuration dialog's field labels keep the
// English texts users of this terminal know.

namespace kestrin::text {

inline constexpr char kProgramName[] = "kestrin";

// Terminal dialog
inline constexpr char kTerminalTitle[] = "串口通讯";
inline constexpr char kTerminalTitleWithPort[] = "串口通讯-端口%2d";
inline constexpr char kShowTiming[] = "监测接收时间";
inline constexpr char kShowSent[] = "显示发送数据";
inline constexpr char kSentMark[] = "TX:";
inline constexpr char kModeText[] = "字符串";
inline constexpr char kModeModbus[] = "Modbus";
inline constexpr char kTimedSend[] = "定时发送";
inline constexpr char kMilliseconds[] = "ms";
inline constexpr char kReceiveLabel[] = "接收：";
inline constexpr char kSendLabel[] = "发送：";
inline constexpr char kSend[] = "发送";
inline constexpr char kClear[] = "清空";
inline constexpr char kPaused[] = "已暂停接收";
inline constexpr char kReceiving[] = "正在接收";
inline constexpr char kSettings[] = "设定";
inline constexpr char kExit[] = "退出";
inline constexpr char kAboutEntry[] = "关于 Kestrin(&A)...";
inline constexpr char kOpenFailed[] = "初始化端口失败!\n再试试!";
inline constexpr char kIntervalRange[] = "Please enter an integer between %1 and %2.";

// Refusals of input that does not fit the send buffers
inline constexpr char kTooLongForSendBuffer[] = "发送数据过长：最多 %1 字节，当前 %2 字节。";
inline constexpr char kTooLongForPortBuffer[] = "发送数据过长：端口发送缓冲区为 %1 字节，当前 %2 字节。";
inline constexpr char kPortBusy[] = "端口发送缓冲区已满，请稍后再发送。";

// Text panel
inline constexpr char kFormatAscii[] = "ASCII";
inline constexpr char kFormatHex[] = "HEX二进制(字节间用空格分开)";

// Modbus panel
inline constexpr char kStation[] = "站号";
inline constexpr char kFunction[] = "功能码";
inline constexpr char kRegisterAddress[] = "寄存器地址";
inline constexpr char kQuantity[] = "数量";
inline constexpr char kWriteValue[] = "写入值";
inline constexpr char kFrame[] = "数据帧";
inline constexpr char kStationTooLarge[] = "ModBus----站号>256";
inline constexpr char kBadFunction[] = "ModBus----功能代码错误";
inline constexpr char kFieldTooLarge[] = "ModBus----寄存器地址/数量/写入值>65535";

// Port configuration dialog
inline constexpr char kConfigTitle[] = "端口配置";
inline constexpr char kPortLabel[] = "端口：";
inline constexpr char kBaudLabel[] = "BaudRate:";
inline constexpr char kParityLabel[] = "Parity:";
inline constexpr char kDataBitsLabel[] = "Databits:";
inline constexpr char kStopBitsLabel[] = "Stopbits:";
inline constexpr char kSendBufferLabel[] = "Sendbuffer:";
inline constexpr char kEventsLabel[] = "Events:";
inline constexpr char kOk[] = "OK";
inline constexpr char kCancel[] = "Cancel";
inline constexpr char kEventBreak[] = "Detect break on input";
inline constexpr char kEventCts[] = "Clear To Send changed state";
inline constexpr char kEventDsr[] = "Data Set Ready changed state";
inline constexpr char kEventErr[] = "Line status error occurred";
inline constexpr char kEventRing[] = "Ring detected";
inline constexpr char kEventRlsd[] = "Receive Line Signal changed state";
inline constexpr char kEventRxChar[] = "Character was received";
inline constexpr char kEventRxFlag[] = "Event character was received";
inline constexpr char kEventTxEmpty[] = "Last character in outputbuffer was send";

// Port devices dialog (context menu): the device behind each port number
inline constexpr char kPortDevicesEntry[] = "串口设备(&P)...";
inline constexpr char kPortDevicesTitle[] = "串口设备";
inline constexpr char kPortDevicesHint[] = "各端口号对应的设备：从列表中选择，或输入设备路径（留空为默认设备）。";
inline constexpr char kPortDeviceLabel[] = "端口 %1：";

// Port error box (monitor thread and open)
inline constexpr char kErrorBoxTitle[] = "Application Error";
inline constexpr char kErrorBoxFormat[] = "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n";

}  // namespace kestrin::text
