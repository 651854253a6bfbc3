#pragma once
// Element and attribute names of the database document, defined once.

namespace db {

// Sections and groups.
constexpr char Data[] = "Data";
constexpr char Connections[] = "Connections";
constexpr char Connection[] = "Connection";
constexpr char Users[] = "Users";
constexpr char User[] = "User";
constexpr char UnitSettings[] = "Unit_Settings";
constexpr char RxDevices[] = "RX_Devices";
constexpr char Rx[] = "RX";
constexpr char TxDevices[] = "TX_Devices";
constexpr char Tx[] = "TX";
constexpr char MgmtUnitSettings[] = "MgmtUnit_Settings";
constexpr char Mgmt[] = "Mgmt";
constexpr char AssociatedConnections[] = "Associated_connections";
constexpr char AutoConnect[] = "Auto_connect";
constexpr char ScreenResolution[] = "Screen_Resolution";
constexpr char Network[] = "Network";
constexpr char Dhcp[] = "DHCP";
constexpr char StaticIp[] = "Static_IP";
constexpr char AutoLogin[] = "AutoLogin";
constexpr char RememberLastUser[] = "RememberLastUser";
constexpr char HotKey[] = "Hot_Key";
constexpr char FunctionalHotKey[] = "Functional_HotKey";
constexpr char PowerModeGroup[] = "Power_Mode";
constexpr char GuiInactivityTimer[] = "GUI_Inactivity_Timer";
constexpr char ConnectionInactivityTimer[] = "Connection_inactivity_Timer";
constexpr char BrokerGroup[] = "Broker";

// Connection attributes.
constexpr char Name[] = "Name";
constexpr char IpAddress[] = "IP_address";
constexpr char Port[] = "Port";
constexpr char UsbRedirection[] = "USB_Redirection";
constexpr char ColourDepth[] = "Colour_depth";
constexpr char UserName[] = "User_Name";
constexpr char ViaTxPool[] = "viaTxPool";
constexpr char Pool[] = "Pool";
constexpr char Horizon[] = "Horizon";
constexpr char Password[] = "Password";
constexpr char Nla[] = "NLA";
constexpr char Audio[] = "Audio";
constexpr char ViaTx[] = "viaTX";
constexpr char ExtDesk[] = "ExtDesk";
constexpr char ViewOnly[] = "ViewOnly";
constexpr char Persistent[] = "Persistent";
constexpr char ConnectionType[] = "Connection_type";
constexpr char Broker[] = "Broker";
constexpr char LoadBal[] = "Load_Bal";
constexpr char Protocol[] = "Protocol";
constexpr char Domain[] = "Domain";
constexpr char Type[] = "type";
constexpr char TargetName[] = "Target_Name";

// User attributes.
constexpr char Privilege[] = "Privilege";
constexpr char Ad[] = "AD";
constexpr char ConnectionName[] = "Connection_Name";
constexpr char Favorite[] = "Favorite";
constexpr char AutoConnectName[] = "Auto_Connect_name";

// Unit settings attributes.
constexpr char Default[] = "Default";
constexpr char SetChecked[] = "Set_checked";
constexpr char NetworkMask[] = "Network_Mask";
constexpr char DefaultGateway[] = "Default_Gateway";
constexpr char DnsAddress[] = "DNS_Address";
constexpr char Dns2Address[] = "DNS_2_Address";
constexpr char AutoLogUser[] = "AutoLogUser";
constexpr char RememberUserName[] = "User_name";
constexpr char Hotkey[] = "hotkey";
constexpr char Key[] = "key";
constexpr char PowerMode[] = "PowerMode";
constexpr char Value[] = "Value";
constexpr char ConViaActiveDir[] = "Con_Via_Active_Dir";
constexpr char ConViaBroker[] = "Con_Via_Broker";
constexpr char VmResourse[] = "VM_Resourse";
constexpr char WebAccessAddr[] = "Web_Access_Addr";
constexpr char ConBrokerIp[] = "Con_Broker_Ip";
constexpr char DefaultBrokerIp[] = "Default_Broker_Ip";
constexpr char LoadBalInfo[] = "Load_Bal_Info";

// Device records.
constexpr char IpType[] = "IP_Type";
constexpr char Mac[] = "MAC";
constexpr char ModelNum[] = "Model_num";
constexpr char SerialNum[] = "Serial_num";
constexpr char SwVer[] = "SW_ver";
constexpr char RxScreenResolution[] = "RX_Screen_Resolution";

} // namespace db
