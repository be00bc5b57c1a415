// Resource and control identifiers of the operations window.
#pragma once

constexpr int IDD_PROGRESS = 1006;
constexpr int IDR_POPUP_MENU = 108;
constexpr int IDI_ZEMBRA = 102;

constexpr int IDC_CLOSE = 8;
constexpr int IDC_CREATE_KEY = 1102;
constexpr int IDC_DECRYPT = 1103;
constexpr int IDC_DECRYPT_CLIPBOARD = 1104;  // command without a control
constexpr int IDC_DELETE_KEYS = 1105;
constexpr int IDC_ENCRYPT = 1106;
constexpr int IDC_ENCRYPT_CLIPBOARD = 1107;  // command without a control
constexpr int IDC_EXPORT_KEYS = 1108;
constexpr int IDC_IMPORT_KEYS = 1109;
constexpr int IDC_SIGN = 1112;
constexpr int IDC_VERIFY = 1113;
constexpr int IDC_USE_DEFAULT_KEYS = 1119;
constexpr int IDC_LOG = 1123;
constexpr int IDC_KEY_LIST = 1130;
constexpr int IDC_PROGRESS = 1133;
constexpr int IDC_UPDATE_LINK = 1138;

constexpr int ID_AUTO_PROCESS_FILES = 1202;
constexpr int ID_DECRYPT_FILES = 1203;
constexpr int ID_MENU_ENCRYPT = 1205;
constexpr int ID_ENCRYPT_CLIPBOARD = 1206;
constexpr int ID_MENU_EXPORT = 1207;
constexpr int ID_MENU_SET_DEFAULT = 1208;
constexpr int ID_MENU_SIGN = 1209;
constexpr int ID_MENU_SIGN_CLIPBOARD = 1210;
constexpr int ID_MENU_VERIFY = 1212;
constexpr int ID_MENU_VERIFY_CLIPBOARD = 1213;

// Posted to the notification window when "&Use Default Keys" changes.
constexpr unsigned WM_USE_DEFAULT_KEYS_CHANGED = 0x0400 + 2;
