// Resource and control identifiers of the operations window.
#pragma once

#include "zembra/operations/window_commands.h"

constexpr int IDD_PROGRESS = 1006;
constexpr int IDR_POPUP_MENU = 108;
constexpr int IDI_ZEMBRA = 102;

constexpr int IDC_CLOSE = 8;
constexpr int IDC_CREATE_KEY = 1102;
constexpr int IDC_DECRYPT = 1103;
constexpr int IDC_DECRYPT_CLIPBOARD = 1104;  // command without a control
constexpr int IDC_DELETE_KEYS = 1105;
constexpr int IDC_ENCRYPT = 1106;
constexpr int IDC_EXPORT_KEYS = 1108;
constexpr int IDC_IMPORT_KEYS = 1109;
constexpr int IDC_SIGN = 1112;
constexpr int IDC_VERIFY = 1113;
constexpr int IDC_USE_DEFAULT_KEYS = 1119;
constexpr int IDC_LOG = 1123;
constexpr int IDC_KEY_LIST = 1130;
constexpr int IDC_PROGRESS = 1133;
constexpr int IDC_UPDATE_LINK = 1138;

// Items of the key list's pop-up menu after those of the template.
constexpr int ID_MENU_CHANGE_PASSPHRASE = 1220;
constexpr int ID_MENU_CHANGE_EXPIRY = 1221;
constexpr int ID_MENU_SET_OWNER_TRUST = 1222;
constexpr int ID_MENU_EXPORT_REVOCATION = 1223;
constexpr int ID_MENU_ENCRYPT_PASSPHRASE = 1224;

// Posted to the notification window when "&Use Default Keys" changes.
constexpr unsigned WM_USE_DEFAULT_KEYS_CHANGED = 0x0400 + 2;
