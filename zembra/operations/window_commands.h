// The commands of the operations window that a job start posts or makes the default.
#pragma once

constexpr int IDC_ENCRYPT_CLIPBOARD = 1107;  // command without a control

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
constexpr int ID_MENU_DETAILS = 1214;
