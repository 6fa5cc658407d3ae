// Identifiers of the window program's dialogs, controls, menus, commands and
// other resources. Each control carries its id as its objectName, so the same
// numbers find a control in the window and in the tests.
#pragma once

namespace velmora {

// Dialogs.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_MAIN_DIALOG = 102;
constexpr int IDD_SETTINGS = 130;
constexpr int IDD_ZONE = 140;
constexpr int IDD_UPLOAD_HISTORY = 150;

// Standard buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Controls of the main dialog.
constexpr int IDC_SEND = 1000;
constexpr int IDC_ADD = 1001;
constexpr int IDC_DST_DELETE = 1002;
constexpr int IDC_DATE_LIST = 1003;
constexpr int IDC_BEGIN_DATE = 1004;
constexpr int IDC_END_DATE = 1005;
constexpr int IDC_ROW_COUNT = 1006;
constexpr int IDC_PROGRESS = 1007;

// Controls of the Settings dialog (1006 is reused there for the timeout).
constexpr int IDC_TIMEOUT = 1006;
constexpr int IDC_PORT = 1008;
constexpr int IDC_DAY_FIRST = 1009;
constexpr int IDC_MONTH_FIRST = 1010;
constexpr int IDC_JUDGE_AT_ONCE = 1011;
constexpr int IDC_RECORD_UPLOADS = 1012;
// The device behind the chosen COM port, and what is known of it.
constexpr int IDC_DEVICE = 1020;
constexpr int IDC_DEVICE_STATE = 1021;

// Controls of the New from Time Zone dialog.
constexpr int IDC_ZONE_FILTER = 1030;
constexpr int IDC_ZONE_LIST = 1031;
constexpr int IDC_ZONE_FIRST_YEAR = 1032;
constexpr int IDC_ZONE_ROWS = 1033;
constexpr int IDC_ZONE_PREVIEW = 1034;
constexpr int IDC_ZONE_REASON = 1035;

// Controls of the Upload History dialog.
constexpr int IDC_HISTORY_LIST = 1040;
constexpr int IDC_HISTORY_STATE = 1041;

// Menus: the main menu bar and the list's popup.
constexpr int IDR_MAIN_MENU = 129;
constexpr int IDR_POPUP_MENU = 131;

// Commands.
constexpr int ID_FILE_OPEN = 32771;
constexpr int ID_FILE_SAVE = 32772;
constexpr int ID_SETTINGS = 32773;
constexpr int ID_ABOUT = 32774;
constexpr int ID_POPUP_ADD = 32775;
constexpr int ID_POPUP_DELETE = 32776;
constexpr int ID_POPUP_DELETE_ALL = 32777;
constexpr int ID_FILE_NEW_FROM_ZONE = 32778;
constexpr int ID_FILE_UPLOAD_HISTORY = 32779;

// The About item of the window menu and its text (string 101).
constexpr int IDM_ABOUTBOX = 0x0010;
inline constexpr const char* kAboutMenuText = "&About Velmora...";

// Window-menu commands that keep their default handling.
constexpr int SC_MINIMIZE = 0xF020;
constexpr int SC_CLOSE = 0xF060;

// The window's icon (resource 128).
inline constexpr const char* kIconResource = ":/velmora/icon128.png";

// The reply timer of an exchange.
constexpr int ID_REPLY_TIMER = 101;

// Message box types.
constexpr unsigned MB_OK = 0x00000000;
constexpr unsigned MB_ICONERROR = 0x00000010;
constexpr unsigned MB_ICONINFORMATION = 0x00000040;
constexpr unsigned MB_ICONMASK = 0x000000F0;

// Notification codes carried with a command.
constexpr int BN_CLICKED = 0;

}  // namespace velmora
