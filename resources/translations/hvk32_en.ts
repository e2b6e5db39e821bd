<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ACWPSettingWidgetK32</name>
    <message>
        <source>ACWPSet</source>
        <translation>Advanced Settings</translation>
    </message>
    <message>
        <source>Version Num</source>
        <translation>Version number</translation>
    </message>
    <message>
        <source>2号板版本：</source>
        <translation>Board 2 version:</translation>
    </message>
    <message>
        <source>雷达APD温度:</source>
        <translation>APD temperature:</translation>
    </message>
    <message>
        <source>3号板版本：</source>
        <translation>Board 3 version:</translation>
    </message>
    <message>
        <source>2号板高压调节值：</source>
        <translation>Board 2 high-voltage adjustment:</translation>
    </message>
    <message>
        <source>2号板高压值：</source>
        <translation>Board 2 high voltage:</translation>
    </message>
    <message>
        <source>2号板阈值调节值：</source>
        <translation>Board 2 threshold adjustment:</translation>
    </message>
    <message>
        <source>电机转速：</source>
        <translation>Motor speed:</translation>
    </message>
    <message>
        <source>5HZ</source>
        <translation>5 Hz (300 rpm)</translation>
    </message>
    <message>
        <source>10HZ</source>
        <translation>10 Hz (600 rpm)</translation>
    </message>
    <message>
        <source>20HZ</source>
        <translation>20 Hz (1200 rpm)</translation>
    </message>
    <message>
        <source>Echo mode：</source>
        <translation>Echo mode:</translation>
    </message>
    <message>
        <source>单回波</source>
        <translation>Single echo</translation>
    </message>
    <message>
        <source>双回波</source>
        <translation>Dual echo</translation>
    </message>
    <message>
        <source>零度方向设置：</source>
        <translation>Zero-degree direction:</translation>
    </message>
    <message>
        <source>线端为0度</source>
        <translation>0° at the cable end</translation>
    </message>
    <message>
        <source>正前方为0度</source>
        <translation>0° straight ahead</translation>
    </message>
    <message>
        <source>测量量程：</source>
        <translation>Measuring range:</translation>
    </message>
    <message>
        <source>消拖尾阈值：</source>
        <translation>Tail removal threshold:</translation>
    </message>
    <message>
        <source>消拖尾距离：</source>
        <translation>Tail removal distance:</translation>
    </message>
    <message>
        <source>水平角度1：</source>
        <translation>Horizontal angle 1:</translation>
    </message>
    <message>
        <source>水平角度2：</source>
        <translation>Horizontal angle 2:</translation>
    </message>
    <message>
        <source>水平角度3：</source>
        <translation>Horizontal angle 3:</translation>
    </message>
    <message>
        <source>水平角度4：</source>
        <translation>Horizontal angle 4:</translation>
    </message>
    <message>
        <source>Dest IP：</source>
        <translation>Dest IP:</translation>
    </message>
    <message>
        <source>192.168.1.200</source>
        <translation>192.168.1.200</translation>
    </message>
    <message>
        <source>Dest Port:</source>
        <translation>Destination port:</translation>
    </message>
    <message>
        <source>2368</source>
        <translation>2368</translation>
    </message>
    <message>
        <source>Save set file</source>
        <translation>Save set file</translation>
    </message>
    <message>
        <source>Restore Laser set</source>
        <translation>Restore Laser set</translation>
    </message>
    <message>
        <source>检测GPS时间</source>
        <translation>Check GPS time</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source> 序列号：</source>
        <translation> Serial number:</translation>
    </message>
    <message>
        <source> 错误记数:</source>
        <translation> Error count:</translation>
    </message>
    <message>
        <source>Refresh state</source>
        <translation>Refresh state</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Please check the device package port！</source>
        <translation>Please check the device package port!</translation>
    </message>
    <message>
        <source>Supported Files (*.ini)</source>
        <translation>Supported Files (*.ini)</translation>
    </message>
    <message>
        <source>warring</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Tips</source>
        <translation>Tips</translation>
    </message>
    <message>
        <source>Resresh completed</source>
        <translation>Refresh completed</translation>
    </message>
    <message>
        <source>warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>请输入量程</source>
        <translation>Please enter the measuring range.</translation>
    </message>
    <message>
        <source>The range and the tail values can not be negative.</source>
        <translation>The range and the tail values can not be negative.</translation>
    </message>
    <message>
        <source>The horizontal angles must be from -327.68 to 327.67.</source>
        <translation>The horizontal angles must be from -327.68 to 327.67.</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>The settings could not be sent to %1:%2.</source>
        <translation>The settings could not be sent to %1:%2.</translation>
    </message>
    <message>
        <source>Setup completed</source>
        <translation>Setup completed</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Question</translation>
    </message>
    <message>
        <source>Whether to close the Settings form?</source>
        <translation>Close the settings window?</translation>
    </message>
    <message>
        <source>error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>抓包失败,请设置发包间隔为0!</source>
        <translation>Capturing the packet failed. Please set the packet interval to 0!</translation>
    </message>
    <message>
        <source>WireSharkCaptureFile</source>
        <translation>Settings file</translation>
    </message>
    <message>
        <source>打开文件失败,请检查!</source>
        <translation>The file could not be opened. Please check it!</translation>
    </message>
    <message>
        <source>The reset could not be sent to %1:%2.</source>
        <translation>The reset could not be sent to %1:%2.</translation>
    </message>
    <message>
        <source>Reset completed !</source>
        <translation>Reset completed.</translation>
    </message>
    <message>
        <source>The number can not be empty!</source>
        <translation>Enter the serial number first: it names the log files.</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Folder: %1
Log: %2
Errors: %3</source>
        <translation>Folder: %1
Log: %2
Errors: %3</translation>
    </message>
    <message>
        <source>The GPS time logs could not be created: %1</source>
        <translation>The GPS time logs could not be created: %1</translation>
    </message>
    <message>
        <source>Save set file reads the settings from a device-info packet captured on the network adapter &quot;%1&quot;, and none was captured there. Check that the device is connected and sends to this computer through that adapter.</source>
        <translation>Save set file reads the settings from a device-info packet captured on the network adapter &quot;%1&quot;, and none was captured there. Check that the device is connected and sends to this computer through that adapter.</translation>
    </message>
    <message>
        <source>Restore the device&apos;s factory settings? It will then use:
  device address %1, sending to %2
  data port %3, telemetry port %4
  motor speed %5 rpm
Afterwards this computer receives the device only with that address and on those ports.</source>
        <translation>Restore the device&apos;s factory settings? It will then use:
  device address %1, sending to %2
  data port %3, telemetry port %4
  motor speed %5 rpm
Afterwards this computer receives the device only with that address and on those ports.</translation>
    </message>
</context>
<context>
    <name>About</name>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Software</source>
        <translation>Software</translation>
    </message>
    <message>
        <source>HVK32 Viewer</source>
        <translation>HVK32 Viewer</translation>
    </message>
    <message>
        <source>Viewer and configuration tool for HVK32 laser scanners.</source>
        <translation>Viewer and configuration tool for HVK32 laser scanners.</translation>
    </message>
    <message>
        <source>Provided as is, without warranty of any kind.</source>
        <translation>Provided as is, without warranty of any kind.</translation>
    </message>
    <message>
        <source>Hardware</source>
        <translation>Hardware</translation>
    </message>
    <message>
        <source>  Lidar ID:</source>
        <translation>  Lidar ID:</translation>
    </message>
    <message>
        <source>  FPGA 3rd board version:</source>
        <translation>  FPGA 3rd board version:</translation>
    </message>
    <message>
        <source>  FPGA 2nd board version:</source>
        <translation>  FPGA 2nd board version:</translation>
    </message>
    <message>
        <source>  Emission board version:</source>
        <translation>  Emission board version:</translation>
    </message>
    <message>
        <source>  Hardware 2nd board version:</source>
        <translation>  Hardware 2nd board version:</translation>
    </message>
    <message>
        <source>  Receive board version:</source>
        <translation>  Receive board version:</translation>
    </message>
    <message>
        <source>  Hardware 3rd board version:</source>
        <translation>  Hardware 3rd board version:</translation>
    </message>
    <message>
        <source>  Structure version:</source>
        <translation>  Structure version:</translation>
    </message>
    <message>
        <source>HVK32 Viewer   Version %1</source>
        <translation>HVK32 Viewer   Version %1</translation>
    </message>
</context>
<context>
    <name>AddressChecks</name>
    <message>
        <source>The Lidar IP can not be empty.</source>
        <translation>The Lidar IP can not be empty.</translation>
    </message>
    <message>
        <source>Incorrect Lidar IP format.</source>
        <translation>Incorrect Lidar IP format.</translation>
    </message>
    <message>
        <source>%1 is not a valid item in the first paragraph. Please specify a value between 1 and 223.</source>
        <translation>%1 is not a valid first number of the address. Please give a value from 1 to 223.</translation>
    </message>
    <message>
        <source>The Local IP can not be empty.</source>
        <translation>The Local IP can not be empty.</translation>
    </message>
    <message>
        <source>Incorrect local IP format.</source>
        <translation>Incorrect local IP format.</translation>
    </message>
    <message>
        <source>%1 is not a valid item in the first paragraph. Please specify a value between 1 and 239.</source>
        <translation>%1 is not a valid first number of the address. Please give a value from 1 to 239.</translation>
    </message>
    <message>
        <source>Incorrect SubNet Mask format.</source>
        <translation>Incorrect subnet mask format.</translation>
    </message>
    <message>
        <source>The subnet mask entered is invalid. The subnet mask must be contiguous, please re-enter the subnet mask.</source>
        <translation>The subnet mask entered is invalid: its ones must be contiguous. Please enter the subnet mask again.</translation>
    </message>
    <message>
        <source>The subnet mask can not be empty.</source>
        <translation>The subnet mask can not be empty.</translation>
    </message>
    <message>
        <source>Incorrect IP format.</source>
        <translation>Incorrect IP format.</translation>
    </message>
    <message>
        <source>The gateway is not on the same network segment (subnet) defined by the IP address and subnet mask. Are you sure to save it?</source>
        <translation>The gateway is not in the network (subnet) given by the IP address and the subnet mask. Save it anyway?</translation>
    </message>
</context>
<context>
    <name>CaptureFile</name>
    <message>
        <source>a pcapng capture: save it as pcap (libpcap) format</source>
        <translation>a pcapng capture: save it as pcap (libpcap) format</translation>
    </message>
    <message>
        <source>too short for a capture file (%1 bytes, the file header alone has %2)</source>
        <translation>too short for a capture file (%1 bytes, the file header alone has %2)</translation>
    </message>
    <message>
        <source>not a capture file</source>
        <translation>not a capture file</translation>
    </message>
    <message>
        <source>cannot open: %1</source>
        <translation>cannot open: %1</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>cannot read the file</source>
        <translation>cannot read the file</translation>
    </message>
    <message>
        <source>skipped %1 damaged bytes at offset %2</source>
        <translation>skipped %1 damaged bytes at offset %2</translation>
    </message>
    <message>
        <source>skipped %1 damaged bytes in %2 places, the first %3 bytes at offset %4</source>
        <translation>skipped %1 damaged bytes in %2 places, the first %3 bytes at offset %4</translation>
    </message>
    <message>
        <source>skipped %1 record(s) with impossible lengths, the first at offset %2</source>
        <translation>skipped %1 record(s) with impossible lengths, the first at offset %2</translation>
    </message>
    <message>
        <source>dropped the last record, cut off by the end of the file at offset %1</source>
        <translation>dropped the last record, cut off by the end of the file at offset %1</translation>
    </message>
    <message>
        <source>link type %1 is not Ethernet or Linux cooked capture</source>
        <translation>link type %1 is not Ethernet or Linux cooked capture</translation>
    </message>
    <message>
        <source>no record</source>
        <translation>no record</translation>
    </message>
    <message>
        <source>1 record</source>
        <translation>1 record</translation>
    </message>
    <message>
        <source>%1 records</source>
        <translation>%1 records</translation>
    </message>
    <message>
        <source>1 record, not one of the scanner&apos;s UDP datagrams</source>
        <translation>1 record, not one of the scanner&apos;s UDP datagrams</translation>
    </message>
    <message>
        <source>%1, none of them the scanner&apos;s UDP datagrams</source>
        <translation>%1, none of them the scanner&apos;s UDP datagrams</translation>
    </message>
    <message>
        <source>no data packet</source>
        <translation>no data packet</translation>
    </message>
    <message>
        <source>1 data packet</source>
        <translation>1 data packet</translation>
    </message>
    <message>
        <source>%1 data packets</source>
        <translation>%1 data packets</translation>
    </message>
    <message>
        <source>no device-info packet</source>
        <translation>no device-info packet</translation>
    </message>
    <message>
        <source>1 device-info packet</source>
        <translation>1 device-info packet</translation>
    </message>
    <message>
        <source>%1 device-info packets</source>
        <translation>%1 device-info packets</translation>
    </message>
    <message>
        <source>so no frame was played</source>
        <translation>so no frame was played</translation>
    </message>
    <message>
        <source>none of a board version 2 or later, so no frame was played</source>
        <translation>none of a board version 2 or later, so no frame was played</translation>
    </message>
    <message>
        <source>no whole frame among them</source>
        <translation>no whole frame among them</translation>
    </message>
    <message>
        <source>%1: %2 and %3, %4</source>
        <translation>%1: %2 and %3, %4</translation>
    </message>
</context>
<context>
    <name>CaptureFrameIndex</name>
    <message>
        <source>cannot open: %1</source>
        <translation>cannot open: %1</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>stopped</translation>
    </message>
</context>
<context>
    <name>CaptureRecorder</name>
    <message>
        <source>A recording is already running.</source>
        <translation>A recording is already running.</translation>
    </message>
    <message>
        <source>The adapter &quot;%1&quot; does not deliver Ethernet frames (link type %2).</source>
        <translation>The adapter &quot;%1&quot; does not deliver Ethernet frames (link type %2).</translation>
    </message>
    <message>
        <source>Cannot start the recording thread: %1</source>
        <translation>Cannot start the recording thread: %1</translation>
    </message>
</context>
<context>
    <name>CodeDialog</name>
    <message>
        <source>CodeDialog</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:16pt; font-weight:600; color:#000000;&quot;&gt;Code：&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:16pt; font-weight:600; color:#000000;&quot;&gt;Code:&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>ColourLegend</name>
    <message>
        <source>−2 m</source>
        <translation>−2 m</translation>
    </message>
    <message>
        <source>0 m</source>
        <translation>0 m</translation>
    </message>
    <message>
        <source>1 m</source>
        <translation>1 m</translation>
    </message>
    <message>
        <source>5 m</source>
        <translation>5 m</translation>
    </message>
    <message>
        <source>Intensity (0–255)</source>
        <translation>Intensity (0–255)</translation>
    </message>
    <message>
        <source>Elevation (m)</source>
        <translation>Elevation (m)</translation>
    </message>
    <message>
        <source>Azimuth (°)</source>
        <translation>Azimuth (°)</translation>
    </message>
    <message>
        <source>%1°</source>
        <translation>%1°</translation>
    </message>
    <message>
        <source>Distance (m)</source>
        <translation>Distance (m)</translation>
    </message>
</context>
<context>
    <name>CsvExport</name>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>%1 cannot be written: %2</translation>
    </message>
    <message>
        <source>No file name was given</source>
        <translation>No file name was given</translation>
    </message>
</context>
<context>
    <name>Form_QLaserSelectionK32</name>
    <message>
        <source>Select Laser channel</source>
        <translation>Select Laser channel</translation>
    </message>
    <message>
        <source>All/All no choice</source>
        <translation>Select all / none</translation>
    </message>
    <message>
        <source>Applicable to future dialogs</source>
        <translation>Applicable to future dialogs</translation>
    </message>
    <message>
        <source>All</source>
        <translation>All</translation>
    </message>
    <message>
        <source>Column1</source>
        <translation>Column1</translation>
    </message>
    <message>
        <source>Column2</source>
        <translation>Column2</translation>
    </message>
    <message>
        <source>Column3</source>
        <translation>Column3</translation>
    </message>
    <message>
        <source>Column4</source>
        <translation>Column4</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Switch selection</source>
        <translation>Switch selection</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>GpsTimeLog</name>
    <message>
        <source>		本地时间						 GPS时间</source>
        <translation>		Local time						 GPS time</translation>
    </message>
    <message>
        <source>			GPS时间 :</source>
        <translation>			GPS time :</translation>
    </message>
    <message>
        <source>-------------- GPS时间发生跳变 : </source>
        <translation>-------------- GPS time jump : </translation>
    </message>
    <message>
        <source>			GPS时间发生跳变 :</source>
        <translation>			GPS time jump :</translation>
    </message>
    <message>
        <source>GB2312</source>
        <comment>the logs&apos; text encoding, as QTextCodec names it</comment>
        <translation>UTF-8</translation>
    </message>
</context>
<context>
    <name>GpsTimeTest</name>
    <message>
        <source>Cannot open the log file %1: %2</source>
        <translation>Cannot open the log file %1: %2</translation>
    </message>
    <message>
        <source>The serial number &quot;%1&quot; cannot contain / or \.</source>
        <translation>The serial number &quot;%1&quot; cannot contain / or \.</translation>
    </message>
    <message>
        <source>Cannot create the folder %1.</source>
        <translation>Cannot create the folder %1.</translation>
    </message>
    <message>
        <source>Cannot write the log file %1: %2</source>
        <translation>Cannot write the log file %1: %2</translation>
    </message>
    <message>
        <source>The %1 text codec is not available.</source>
        <translation>The %1 text codec is not available.</translation>
    </message>
</context>
<context>
    <name>InetactionSetupWidgetK32</name>
    <message>
        <source>InteractionSetK32</source>
        <translation>Network Settings</translation>
    </message>
    <message>
        <source>Laser Config</source>
        <translation>Laser Config</translation>
    </message>
    <message>
        <source>Lidar IP：</source>
        <translation>Lidar IP:</translation>
    </message>
    <message>
        <source>local IP：</source>
        <translation>local IP:</translation>
    </message>
    <message>
        <source>Data Port：</source>
        <translation>Data Port:</translation>
    </message>
    <message>
        <source>device Port：</source>
        <translation>device Port:</translation>
    </message>
    <message>
        <source>Subnet Mask：</source>
        <translation>Subnet Mask:</translation>
    </message>
    <message>
        <source>default gateway：</source>
        <translation>default gateway:</translation>
    </message>
    <message>
        <source>NTP IP: </source>
        <translation>NTP IP: </translation>
    </message>
    <message>
        <source>Packet interval：</source>
        <translation>Packet interval:</translation>
    </message>
    <message>
        <source>Motor speed (RPM)：</source>
        <translation>Motor speed:</translation>
    </message>
    <message>
        <source>Motor State：</source>
        <translation>Motor State:</translation>
    </message>
    <message>
        <source>Local time：</source>
        <translation>Local time:</translation>
    </message>
    <message>
        <source>Set PPS Angle:</source>
        <translation>Set PPS Angle:</translation>
    </message>
    <message>
        <source>Gateway IP：</source>
        <translation>Gateway IP:</translation>
    </message>
    <message>
        <source>Telemetry Port：</source>
        <translation>Telemetry Port:</translation>
    </message>
    <message>
        <source>Laser State</source>
        <translation>Laser State</translation>
    </message>
    <message>
        <source>Motor speed Read：</source>
        <translation>Motor speed Read:</translation>
    </message>
    <message>
        <source>Laser Temperature:</source>
        <translation>Laser Temperature:</translation>
    </message>
    <message>
        <source>PPS Disable：</source>
        <translation>PPS Disable:</translation>
    </message>
    <message>
        <source>ErrAngle:</source>
        <translation>Error angle:</translation>
    </message>
    <message>
        <source>PPS Angle：</source>
        <translation>PPS Angle:</translation>
    </message>
    <message>
        <source>GPS\NTP time:</source>
        <translation>GPS/NTP time:</translation>
    </message>
    <message>
        <source>LVDS:</source>
        <translation>LVDS:</translation>
    </message>
    <message>
        <source>0: LVDS锁定</source>
        <translation>0: LVDS locked</translation>
    </message>
    <message>
        <source>1: LVDS未锁定</source>
        <translation>1: LVDS unlocked</translation>
    </message>
    <message>
        <source>Lidar cleanliness:</source>
        <translation>Lidar cleanliness:</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>Clean</translation>
    </message>
    <message>
        <source>Mild pollution</source>
        <translation>Mild pollution</translation>
    </message>
    <message>
        <source>Serious pollution</source>
        <translation>Serious pollution</translation>
    </message>
    <message>
        <source>Mac：</source>
        <translation>Mac:</translation>
    </message>
    <message>
        <source>GPS Posotion：</source>
        <translation>GPS Position:</translation>
    </message>
    <message>
        <source>Longitude：</source>
        <translation>Longitude:</translation>
    </message>
    <message>
        <source>Latitude：</source>
        <translation>Latitude:</translation>
    </message>
    <message>
        <source>Refresh state</source>
        <translation>Refresh state</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>warring</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Please check the device package port！</source>
        <translation>Please check the device package port!</translation>
    </message>
    <message>
        <source>Tips</source>
        <translation>Tips</translation>
    </message>
    <message>
        <source>Resresh completed</source>
        <translation>Refresh completed</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>The address &quot;%1&quot; in %2 is incomplete.</source>
        <translation>The address &quot;%1&quot; in %2 is incomplete.</translation>
    </message>
    <message>
        <source>The Lidar local IP cannot be set to the same as the destination IP.Please reset it！</source>
        <translation>The Lidar local IP cannot be set to the same as the destination IP.Please reset it!</translation>
    </message>
    <message>
        <source>Data port and device port can&apos;t be the same</source>
        <translation>Data port and device port can&apos;t be the same</translation>
    </message>
    <message>
        <source>The packet interval must be a number from 0 to 65535.</source>
        <translation>The packet interval must be a number from 0 to 65535.</translation>
    </message>
    <message>
        <source>The settings could not be sent to %1:%2.</source>
        <translation>The settings could not be sent to %1:%2.</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Question</translation>
    </message>
    <message>
        <source>Setup completed</source>
        <translation>Setup completed</translation>
    </message>
    <message>
        <source>Whether to close the Settings form?</source>
        <translation>Close the settings window?</translation>
    </message>
    <message>
        <source> 5  HZ</source>
        <translation>5 Hz (300 rpm)</translation>
    </message>
    <message>
        <source> 10 HZ</source>
        <translation>10 Hz (600 rpm)</translation>
    </message>
    <message>
        <source> 20 HZ</source>
        <translation>20 Hz (1200 rpm)</translation>
    </message>
    <message>
        <source>The form is empty: press &quot;Refresh state&quot; to fill it with the device&apos;s settings, change what you need, then press &quot;Set&quot;.</source>
        <translation>The form is empty: press &quot;Refresh state&quot; to fill it with the device&apos;s settings, change what you need, then press &quot;Set&quot;.</translation>
    </message>
    <message>
        <source>A capture is shown, and no device is connected to read the settings from. Connect to the device with the link button on the &quot;Lidar&quot; tab, then press &quot;Refresh state&quot; again.</source>
        <translation>A capture is shown, and no device is connected to read the settings from. Connect to the device with the link button on the &quot;Lidar&quot; tab, then press &quot;Refresh state&quot; again.</translation>
    </message>
</context>
<context>
    <name>PacketCapture</name>
    <message>
        <source>Capturing on a network adapter needs capture rights: run the program as root, or grant them to it once with &quot;sudo setcap cap_net_raw,cap_net_admin=eip PROGRAM&quot; (PROGRAM: the program&apos;s full path).</source>
        <translation>Capturing on a network adapter needs capture rights: run the program as root, or grant them to it once with &quot;sudo setcap cap_net_raw,cap_net_admin=eip PROGRAM&quot; (PROGRAM: the program&apos;s full path).</translation>
    </message>
    <message>
        <source>Cannot list the network adapters: %1</source>
        <translation>Cannot list the network adapters: %1</translation>
    </message>
    <message>
        <source>No network adapter was found for capturing.</source>
        <translation>No network adapter was found for capturing.</translation>
    </message>
    <message>
        <source>Cannot open the adapter %1: %2</source>
        <translation>Cannot open the adapter %1: %2</translation>
    </message>
    <message>
        <source>No adapter is open.</source>
        <translation>No adapter is open.</translation>
    </message>
    <message>
        <source>Cannot use the capture filter %1: %2</source>
        <translation>Cannot use the capture filter %1: %2</translation>
    </message>
    <message>
        <source>Cannot install the capture filter %1: %2</source>
        <translation>Cannot install the capture filter %1: %2</translation>
    </message>
    <message>
        <source>Waiting for packets failed: %1</source>
        <translation>Waiting for packets failed: %1</translation>
    </message>
    <message>
        <source>Capturing on the adapter %1 failed: %2</source>
        <translation>Capturing on the adapter %1 failed: %2</translation>
    </message>
    <message>
        <source>Cannot create the capture file: %1</source>
        <translation>Cannot create the capture file: %1</translation>
    </message>
    <message>
        <source>Cannot write the capture file %1: %2</source>
        <translation>Cannot write the capture file %1: %2</translation>
    </message>
    <message>
        <source>No capture file is open.</source>
        <translation>No capture file is open.</translation>
    </message>
    <message>
        <source>No network adapter that delivers Ethernet frames could be opened.</source>
        <translation>No network adapter that delivers Ethernet frames could be opened.</translation>
    </message>
</context>
<context>
    <name>PlaybackSession</name>
    <message>
        <source>The capture could not be indexed: %1</source>
        <translation>The capture could not be indexed: %1</translation>
    </message>
    <message>
        <source>%1 holds no device-info packet of a board version 2 or later, so no frame was shown.</source>
        <translation>%1 holds no device-info packet of a board version 2 or later, so no frame was shown.</translation>
    </message>
    <message>
        <source>No device-info packet in %1 yet: frames are shown from the first one on.</source>
        <translation>No device-info packet in %1 yet: frames are shown from the first one on.</translation>
    </message>
    <message>
        <source>%1 frames, %2 packets lost (%3 %)</source>
        <translation>%1 frames, %2 packets lost (%3 %)</translation>
    </message>
    <message>
        <source>, %1 duplicated, %2 out of order</source>
        <translation>, %1 duplicated, %2 out of order</translation>
    </message>
</context>
<context>
    <name>Readout</name>
    <message>
        <source>Distance: %1 m  Azimuth: %2°</source>
        <translation>Distance: %1 m  Azimuth: %2°</translation>
    </message>
    <message>
        <source>device %1 µs (more than an hour)</source>
        <translation>device %1 µs (more than an hour)</translation>
    </message>
    <message>
        <source>device %1 past the hour</source>
        <translation>device %1 past the hour</translation>
    </message>
</context>
<context>
    <name>RecordingSession</name>
    <message>
        <source>HVK32_RECORDER must be &quot;adapter&quot; or &quot;socket&quot;, not &quot;%1&quot;.</source>
        <translation>HVK32_RECORDER must be &quot;adapter&quot; or &quot;socket&quot;, not &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Recording from the window&apos;s own sockets, as HVK32_RECORDER asks</source>
        <translation>Recording from the window&apos;s own sockets, as HVK32_RECORDER asks</translation>
    </message>
    <message>
        <source>Recording by adapter capture on %1, filter &quot;%2&quot;</source>
        <translation>Recording by adapter capture on %1, filter &quot;%2&quot;</translation>
    </message>
    <message>
        <source>No capture rights on this account: recording from the window&apos;s own sockets</source>
        <translation>No capture rights on this account: recording from the window&apos;s own sockets</translation>
    </message>
    <message>
        <source>Recording could not start: %1</source>
        <translation>Recording could not start: %1</translation>
    </message>
    <message>
        <source> Without them, leave HVK32_RECORDER unset or set it to &quot;socket&quot;: the window then records the datagrams its own sockets receive.</source>
        <translation> Without them, leave HVK32_RECORDER unset or set it to &quot;socket&quot;: the window then records the datagrams its own sockets receive.</translation>
    </message>
    <message>
        <source>%1 (ports %2 and %3)</source>
        <translation>%1 (ports %2 and %3)</translation>
    </message>
    <message>
        <source>The recording stopped early: %1

%2 keeps the %3 packets written before.</source>
        <translation>The recording stopped early: %1

%2 keeps the %3 packets written before.</translation>
    </message>
    <message>
        <source>Recording stopped: %1 packets (%2 MB) written to %3</source>
        <translation>Recording stopped: %1 packets (%2 MB) written to %3</translation>
    </message>
</context>
<context>
    <name>RecordingStatusText</name>
    <message>
        <source>adapter %1</source>
        <translation>adapter %1</translation>
    </message>
    <message>
        <source>own sockets</source>
        <translation>own sockets</translation>
    </message>
    <message>
        <source>REC %1 | %2 | %3 packets | %4 MB | %5 lost in the receive buffer</source>
        <translation>REC %1 | %2 | %3 packets | %4 MB | %5 lost in the receive buffer</translation>
    </message>
    <message>
        <source>REC %1 | nothing from %2, filter &quot;%3&quot;</source>
        <translation>REC %1 | nothing from %2, filter &quot;%3&quot;</translation>
    </message>
    <message>
        <source>Nothing recorded for 2 s on adapter %1 with filter &quot;%2&quot;: check that the device sends to this computer through that adapter and to that port</source>
        <translation>Nothing recorded for 2 s on adapter %1 with filter &quot;%2&quot;: check that the device sends to this computer through that adapter and to that port</translation>
    </message>
    <message>
        <source>REC %1 | nothing on UDP ports %2, %3</source>
        <translation>REC %1 | nothing on UDP ports %2, %3</translation>
    </message>
    <message>
        <source>Nothing recorded for 2 s on UDP ports %1 and %2: the window records what it receives, so press Connect, and check that the device sends to those ports</source>
        <translation>Nothing recorded for 2 s on UDP ports %1 and %2: the window records what it receives, so press Connect, and check that the device sends to those ports</translation>
    </message>
</context>
<context>
    <name>Ruler</name>
    <message>
        <source>Distance: %1
Horizontal: %2
Height: %3</source>
        <translation>Distance: %1
Horizontal: %2
Height: %3</translation>
    </message>
    <message>
        <source>Measure: A %1  click the second point</source>
        <translation>Measure: A %1  click the second point</translation>
    </message>
    <message>
        <source>Measure: click a point of the cloud</source>
        <translation>Measure: click a point of the cloud</translation>
    </message>
    <message>
        <source>Measure: Distance %1  Horizontal %2  Height %3  A %4  B %5</source>
        <translation>Measure: Distance %1  Horizontal %2  Height %3  A %4  B %5</translation>
    </message>
</context>
<context>
    <name>SaveDataOptions</name>
    <message>
        <source>SaveDataOptions</source>
        <translation>Save Data Options</translation>
    </message>
    <message>
        <source>Line select:</source>
        <translation>Line select:</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>Frame count:</source>
        <translation>Frame count:</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>Angle range:</source>
        <translation>Angle range:</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>to</source>
        <translation>to</translation>
    </message>
    <message>
        <source>360</source>
        <translation>360</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Angle range can not be empty</source>
        <translation>Angle range can not be empty</translation>
    </message>
    <message>
        <source>Invalid angle</source>
        <translation>Invalid angle</translation>
    </message>
    <message>
        <source>Angle range invalid</source>
        <translation>Angle range invalid</translation>
    </message>
</context>
<context>
    <name>SetLidarModes</name>
    <message>
        <source>Select Connecting Mode</source>
        <translation>Select the connection mode</translation>
    </message>
    <message>
        <source>单双回波：</source>
        <translation>Echo mode:</translation>
    </message>
    <message>
        <source>FirstEcho</source>
        <translation>First echo</translation>
    </message>
    <message>
        <source>SecondEcho</source>
        <translation>Second echo</translation>
    </message>
    <message>
        <source>雷达类型：</source>
        <translation>Lidar type:</translation>
    </message>
    <message>
        <source>1°</source>
        <translation>1°</translation>
    </message>
    <message>
        <source>0.33°</source>
        <translation>0.33°</translation>
    </message>
    <message>
        <source>距离分辨率：</source>
        <translation>Distance resolution:</translation>
    </message>
    <message>
        <source>0.4cm</source>
        <translation>0.4cm</translation>
    </message>
    <message>
        <source>0.25cm</source>
        <translation>0.25cm</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>SettingsFile</name>
    <message>
        <source>Cannot write the settings file %1: %2</source>
        <translation>Cannot write the settings file %1: %2</translation>
    </message>
    <message>
        <source>The adapter &quot;%1&quot; does not deliver Ethernet frames (link type %2).</source>
        <translation>The adapter &quot;%1&quot; does not deliver Ethernet frames (link type %2).</translation>
    </message>
    <message>
        <source>No device-info packet among the first %1 packets on the adapter &quot;%2&quot;.</source>
        <translation>No device-info packet among the first %1 packets on the adapter &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>No device-info packet arrived on the adapter &quot;%1&quot; within %2 ms (%3 other packets).</source>
        <translation>No device-info packet arrived on the adapter &quot;%1&quot; within %2 ms (%3 other packets).</translation>
    </message>
</context>
<context>
    <name>SocketRecorder</name>
    <message>
        <source>the device is not open for writing</source>
        <translation>the device is not open for writing</translation>
    </message>
    <message>
        <source>Cannot create the capture file %1: %2</source>
        <translation>Cannot create the capture file %1: %2</translation>
    </message>
    <message>
        <source>capture file</source>
        <translation>capture file</translation>
    </message>
    <message>
        <source>only %1 of %2 bytes were written (is the disk full?)</source>
        <translation>only %1 of %2 bytes were written (is the disk full?)</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
</context>
<context>
    <name>VerticalAngleSetting</name>
    <message>
        <source>Vertical Angle Setting</source>
        <translation>Vertical Angle Setting</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Tips</translation>
    </message>
    <message>
        <source>连接错误</source>
        <translation>Connection error</translation>
    </message>
    <message>
        <source>刷新成功</source>
        <translation>Refresh succeeded</translation>
    </message>
    <message>
        <source>设置成功</source>
        <translation>Set succeeded</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>ReView Angle</source>
        <translation>Read-back angle</translation>
    </message>
    <message>
        <source>Set Angle</source>
        <translation>Set Angle</translation>
    </message>
    <message>
        <source>回读：通道%1  偏差大于正负1.5
</source>
        <translation>Read back: channel %1 deviates by more than ±1.5 degrees
</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>No vertical layout is selected, so the table was not sent.</source>
        <translation>No vertical layout is selected, so the table was not sent.</translation>
    </message>
    <message>
        <source>The vertical angles could not be sent to %1:%2.</source>
        <translation>The vertical angles could not be sent to %1:%2.</translation>
    </message>
</context>
<context>
    <name>ViewToolsPanel</name>
    <message>
        <source> px</source>
        <translation> px</translation>
    </message>
    <message>
        <source>Size of the cloud&apos;s points (also + and - in the view)</source>
        <translation>Size of the cloud&apos;s points (also + and - in the view)</translation>
    </message>
    <message>
        <source>Point size:</source>
        <translation>Point size:</translation>
    </message>
    <message>
        <source>Background:</source>
        <translation>Background:</translation>
    </message>
    <message>
        <source>Scale of the Intensity, Elevation and Azimuth colourings</source>
        <translation>Scale of the Intensity, Elevation and Azimuth colourings</translation>
    </message>
    <message>
        <source>Show and export only the points within these distances of the scanner</source>
        <translation>Show and export only the points within these distances of the scanner</translation>
    </message>
    <message>
        <source> m</source>
        <translation> m</translation>
    </message>
    <message>
        <source>to</source>
        <translation>to</translation>
    </message>
    <message>
        <source>Fit view</source>
        <translation>Fit view</translation>
    </message>
    <message>
        <source>Frame the whole cloud, keeping the direction of view</source>
        <translation>Frame the whole cloud, keeping the direction of view</translation>
    </message>
    <message>
        <source>Save image</source>
        <translation>Save image</translation>
    </message>
    <message>
        <source>Write the 3-D view to a PNG image</source>
        <translation>Write the 3-D view to a PNG image</translation>
    </message>
    <message>
        <source>Export frame</source>
        <translation>Export frame</translation>
    </message>
    <message>
        <source>Black</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>Dark grey</source>
        <translation>Dark grey</translation>
    </message>
    <message>
        <source>Grey</source>
        <translation>Grey</translation>
    </message>
    <message>
        <source>White</source>
        <translation>White</translation>
    </message>
    <message>
        <source>Legend</source>
        <translation>Legend</translation>
    </message>
    <message>
        <source>Distance</source>
        <translation>Distance</translation>
    </message>
    <message>
        <source>With readout</source>
        <translation>With readout</translation>
    </message>
    <message>
        <source>Keep the distance and azimuth under the mouse in the saved image</source>
        <translation>Keep the distance and azimuth under the mouse in the saved image</translation>
    </message>
    <message>
        <source>Write the frame on screen to a file: %1</source>
        <translation>Write the frame on screen to a file: %1</translation>
    </message>
    <message>
        <source>Map</source>
        <translation>Map</translation>
    </message>
    <message>
        <source>Register the frames shown (a capture playing or the live stream) one after another, and show the map they make with the scanner&apos;s path</source>
        <translation>Register the frames shown (a capture playing or the live stream) one after another, and show the map they make with the scanner&apos;s path</translation>
    </message>
    <message>
        <source>Save map</source>
        <translation>Save map</translation>
    </message>
    <message>
        <source>Write the map to a file: %1</source>
        <translation>Write the map to a file: %1</translation>
    </message>
</context>
<context>
    <name>ViewerScene</name>
    <message>
        <source>%1 m</source>
        <translation>%1 m</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>%1 cannot be written: %2</translation>
    </message>
    <message>
        <source>the view could not be read</source>
        <translation>the view could not be read</translation>
    </message>
</context>
<context>
    <name>WindowStatusBar</name>
    <message>
        <source>&lt;a href=&quot;%1&quot;&gt;HVK32 user guide&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;%1&quot;&gt;HVK32 user guide&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Frames sent: %1</source>
        <translation>Frames sent: %1</translation>
    </message>
    <message>
        <source>Drawn: %1</source>
        <translation>Drawn: %1</translation>
    </message>
    <message>
        <source>Skipped: %1</source>
        <translation>Skipped: %1</translation>
    </message>
    <message>
        <source>Device rate: %1 Hz</source>
        <translation>Device rate: %1 Hz</translation>
    </message>
    <message>
        <source>Lost packets: %1 (%2 % in 10 s)</source>
        <translation>Lost packets: %1 (%2 % in 10 s)</translation>
    </message>
    <message>
        <source>Receive drops: %1 (buffer %2 KiB)</source>
        <translation>Receive drops: %1 (buffer %2 KiB)</translation>
    </message>
    <message>
        <source>Receive drops: %1</source>
        <translation>Receive drops: %1</translation>
    </message>
    <message>
        <source>Data packets missing from the device&apos;s stream since Connect; %1 more came twice and %2 out of order</source>
        <translation>Data packets missing from the device&apos;s stream since Connect; %1 more came twice and %2 out of order</translation>
    </message>
    <message>
        <source>
Receive buffer: %1 KiB</source>
        <translation>
Receive buffer: %1 KiB</translation>
    </message>
    <message>
        <source> of the %1 KiB asked for: the system&apos;s limit is lower. To keep up with bursts, raise it with &quot;sudo sysctl -w net.core.rmem_max=%2&quot; and press Connect again.</source>
        <translation> of the %1 KiB asked for: the system&apos;s limit is lower. To keep up with bursts, raise it with &quot;sudo sysctl -w net.core.rmem_max=%2&quot; and press Connect again.</translation>
    </message>
    <message>
        <source>Datagrams this computer dropped because the receive buffer was full</source>
        <translation>Datagrams this computer dropped because the receive buffer was full</translation>
    </message>
    <message>
        <source>Selected: %1 points</source>
        <translation>Selected: %1 points</translation>
    </message>
    <message>
        <source>Data packets missing from the capture&apos;s stream in the part played; %1 more came twice and %2 out of order</source>
        <translation>Data packets missing from the capture&apos;s stream in the part played; %1 more came twice and %2 out of order</translation>
    </message>
    <message>
        <source>Copy path</source>
        <translation>Copy path</translation>
    </message>
    <message>
        <source>Playback rate: %1 Hz</source>
        <translation>Playback rate: %1 Hz</translation>
    </message>
    <message>
        <source>Frames the capture is played at per second, set by the speed list</source>
        <translation>Frames the capture is played at per second, set by the speed list</translation>
    </message>
    <message>
        <source>Frames the device sends per second, measured as they arrive</source>
        <translation>Frames the device sends per second, measured as they arrive</translation>
    </message>
    <message>
        <source>Nothing has arrived for %1 s on ports %2 (data) and %3 (telemetry)</source>
        <translation>Nothing has arrived for %1 s on ports %2 (data) and %3 (telemetry)</translation>
    </message>
    <message>
        <source>No datagram has reached the window&apos;s ports since then. Check the cable and that the device sends to this computer on these ports: a factory reset sends to its factory ports.</source>
        <translation>No datagram has reached the window&apos;s ports since then. Check the cable and that the device sends to this computer on these ports: a factory reset sends to its factory ports.</translation>
    </message>
    <message>
        <source>, gaps: %1 (%2 s, %3 packets)</source>
        <translation>, gaps: %1 (%2 s, %3 packets)</translation>
    </message>
    <message>
        <source>
Gaps: silences of more than a second after which the stream went on, not counted as lost</source>
        <translation>
Gaps: silences of more than a second after which the stream went on, not counted as lost</translation>
    </message>
</context>
<context>
    <name>manwindow</name>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>The Lidar version is lower than V2.8. Does not support display</source>
        <translation>The scanner&apos;s firmware is older than V2.8: its frames cannot be displayed.</translation>
    </message>
    <message>
        <source>No browser could be started to show the guide. It is here:
%1</source>
        <translation>No browser could be started to show the guide. It is here:
%1</translation>
    </message>
    <message>
        <source>Waiting for the device on telemetry port %1</source>
        <translation>Waiting for the device on telemetry port %1</translation>
    </message>
    <message>
        <source>Receiving %1 data on port %2</source>
        <translation>Receiving %1 data on port %2</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>Display frozen: frames are not shown until Pause is pressed again</source>
        <translation>Display frozen: frames are not shown until Pause is pressed again</translation>
    </message>
    <message>
        <source>Export written to %1</source>
        <translation>Export written to %1</translation>
    </message>
    <message>
        <source>Save CSV</source>
        <translation>Save CSV</translation>
    </message>
    <message>
        <source>The export could not start: %1</source>
        <translation>The export could not start: %1</translation>
    </message>
    <message>
        <source>Exporting the next %1 frame(s) to %2</source>
        <translation>Exporting the next %1 frame(s) to %2</translation>
    </message>
    <message>
        <source>WireSharkCaptureFile</source>
        <translation>Open Capture File</translation>
    </message>
    <message>
        <source>%1 cannot be played: %2</source>
        <translation>%1 cannot be played: %2</translation>
    </message>
    <message>
        <source>Capture %1 opened: press Play</source>
        <translation>Capture %1 opened: press Play</translation>
    </message>
    <message>
        <source>Save PCAP</source>
        <translation>Save PCAP</translation>
    </message>
    <message>
        <source>WireSharkCaptureFile (*.pcap)</source>
        <translation>Capture files (*.pcap)</translation>
    </message>
    <message>
        <source>%1 selected points written to %2</source>
        <translation>%1 selected points written to %2</translation>
    </message>
    <message>
        <source>Measure: no point of the cloud near the click</source>
        <translation>Measure: no point of the cloud near the click</translation>
    </message>
    <message>
        <source>View</source>
        <translation>View</translation>
    </message>
    <message>
        <source>Fit view: no points are shown</source>
        <translation>Fit view: no points are shown</translation>
    </message>
    <message>
        <source>Save image</source>
        <translation>Save image</translation>
    </message>
    <message>
        <source>PNG image (*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>Image written to %1</source>
        <translation>Image written to %1</translation>
    </message>
    <message>
        <source>Export frame: no frame is shown yet</source>
        <translation>Export frame: no frame is shown yet</translation>
    </message>
    <message>
        <source>Export frame</source>
        <translation>Export frame</translation>
    </message>
    <message>
        <source>%1 points written to %2</source>
        <translation>%1 points written to %2</translation>
    </message>
    <message>
        <source></source>
        <translation></translation>
    </message>
    <message>
        <source>When the frame shown began: the capture&apos;s time of its first packet, and that packet&apos;s time stamp from the device, which counts minutes and seconds within the hour of the device&apos;s clock</source>
        <translation>When the frame shown began: the capture&apos;s time of its first packet, and that packet&apos;s time stamp from the device, which counts minutes and seconds within the hour of the device&apos;s clock</translation>
    </message>
    <message>
        <source>SingleEcho</source>
        <translation>Single echo</translation>
    </message>
    <message>
        <source>Map: the frames shown from now on are registered one after another</source>
        <translation>Map: the frames shown from now on are registered one after another</translation>
    </message>
    <message>
        <source>Map: %1 frames, %2 points</source>
        <translation>Map: %1 frames, %2 points</translation>
    </message>
    <message>
        <source>; %1 frames skipped while registering fell behind (the map is less exact after a skip)</source>
        <translation>; %1 frames skipped while registering fell behind (the map is less exact after a skip)</translation>
    </message>
    <message>
        <source>; full at %1 points: later frames extend only the path</source>
        <translation>; full at %1 points: later frames extend only the path</translation>
    </message>
    <message>
        <source>; thinned to %1 m to stay within %2 points</source>
        <translation>; thinned to %1 m to stay within %2 points</translation>
    </message>
    <message>
        <source>Save map: the map is empty; turn Map on and play a capture or connect</source>
        <translation>Save map: the map is empty; turn Map on and play a capture or connect</translation>
    </message>
    <message>
        <source>Save map</source>
        <translation>Save map</translation>
    </message>
    <message>
        <source>%1: a map is written as %2</source>
        <translation>%1: a map is written as %2</translation>
    </message>
    <message>
        <source>Map of %1 points written to %2</source>
        <translation>Map of %1 points written to %2</translation>
    </message>
    <message>
        <source> Serve Port:</source>
        <translation> Serve Port:</translation>
    </message>
    <message>
        <source>any</source>
        <translation>any</translation>
    </message>
    <message>
        <source>The TCP port the Serve switch listens on (on this computer only); any: a free port</source>
        <translation>The TCP port the Serve switch listens on (on this computer only); any: a free port</translation>
    </message>
    <message>
        <source>Serve</source>
        <translation>Serve</translation>
    </message>
    <message>
        <source>Serve the frames shown (live or played), the device-info packets and the stream&apos;s health to Foxglove: Open connection -&gt; Foxglove WebSocket -&gt; ws://127.0.0.1:PORT</source>
        <translation>Serve the frames shown (live or played), the device-info packets and the stream&apos;s health to Foxglove: Open connection -&gt; Foxglove WebSocket -&gt; ws://127.0.0.1:PORT</translation>
    </message>
    <message>
        <source>Cannot serve on port %1: %2
Choose another port (any: a free one) and turn Serve on again.</source>
        <translation>Cannot serve on port %1: %2
Choose another port (any: a free one) and turn Serve on again.</translation>
    </message>
    <message>
        <source>Serving on ws://127.0.0.1:%1 (clients: %2)</source>
        <translation>Serving on ws://127.0.0.1:%1 (clients: %2)</translation>
    </message>
</context>
<context>
    <name>manwindowClass</name>
    <message>
        <source>HVK32</source>
        <translation>HVK32</translation>
    </message>
    <message>
        <source>Lidar</source>
        <translation>Lidar</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>LidarData</source>
        <translation>LidarData</translation>
    </message>
    <message>
        <source>MeaGrid</source>
        <translation>Grid</translation>
    </message>
    <message>
        <source>Coordinate</source>
        <translation>Axes</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Front</source>
        <translation>Front</translation>
    </message>
    <message>
        <source>Top</source>
        <translation>Top</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>Left</translation>
    </message>
    <message>
        <source> Data Port:</source>
        <translation> Data Port:</translation>
    </message>
    <message>
        <source>2368</source>
        <translation>2368</translation>
    </message>
    <message>
        <source> Telemetry Port：</source>
        <translation> Telemetry Port:</translation>
    </message>
    <message>
        <source>2369</source>
        <translation>2369</translation>
    </message>
    <message>
        <source> Multicast IP:</source>
        <translation> Multicast IP:</translation>
    </message>
    <message>
        <source>224.1.1.1</source>
        <translation>224.1.1.1</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>1.0x</source>
        <translation>1.0x</translation>
    </message>
    <message>
        <source>2.0x</source>
        <translation>2.0x</translation>
    </message>
    <message>
        <source>4.0x</source>
        <translation>4.0x</translation>
    </message>
    <message>
        <source>0.5x</source>
        <translation>0.5x</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Distance</source>
        <translation>Distance</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>SaveData</source>
        <translation>Save data</translation>
    </message>
    <message>
        <source>DualEcho</source>
        <translation>Dual echo</translation>
    </message>
    <message>
        <source>StrongEcho</source>
        <translation>Strongest echo</translation>
    </message>
    <message>
        <source>SecondEcho</source>
        <translation>Second echo</translation>
    </message>
    <message>
        <source>Intensity</source>
        <translation>Intensity</translation>
    </message>
    <message>
        <source>Solid</source>
        <translation>Solid</translation>
    </message>
    <message>
        <source>Elevation</source>
        <translation>Elevation</translation>
    </message>
    <message>
        <source>Azimuth</source>
        <translation>Azimuth</translation>
    </message>
    <message>
        <source>LaserID</source>
        <translation>Laser ID</translation>
    </message>
    <message>
        <source>Degree1</source>
        <translation>1° layout</translation>
    </message>
    <message>
        <source>Degree0.33</source>
        <translation>0.33° layout</translation>
    </message>
    <message>
        <source>SetMode</source>
        <translation>Set mode</translation>
    </message>
    <message>
        <source>Angle1</source>
        <translation>Angle1</translation>
    </message>
    <message>
        <source>Angle2</source>
        <translation>Angle2</translation>
    </message>
    <message>
        <source>Angle3</source>
        <translation>Angle3</translation>
    </message>
    <message>
        <source>Angle4</source>
        <translation>Angle4</translation>
    </message>
    <message>
        <source>俯仰角度信息</source>
        <translation>Vertical angles</translation>
    </message>
    <message>
        <source>显示角度:</source>
        <translation>Display angle:</translation>
    </message>
    <message>
        <source>360.0</source>
        <translation>360.0</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>UserGuide</source>
        <translation>User guide</translation>
    </message>
    <message>
        <source>Develop</source>
        <translation>Developer guide</translation>
    </message>
    <message>
        <source>Measure between two points of the cloud: click one point, then another</source>
        <translation>Measure between two points of the cloud: click one point, then another</translation>
    </message>
    <message>
        <source>Measure</source>
        <translation>Measure</translation>
    </message>
    <message>
        <source>Go to frame (Enter)</source>
        <translation>Go to frame (Enter)</translation>
    </message>
    <message>
        <source>Indexing %p%</source>
        <translation>Indexing %p%</translation>
    </message>
    <message>
        <source>Export selection</source>
        <translation>Export selection</translation>
    </message>
    <message>
        <source>Write the selected points of the frame on screen to a CSV, PCD or PLY file</source>
        <translation>Write the selected points of the frame on screen to a CSV, PCD or PLY file</translation>
    </message>
</context>
</TS>
