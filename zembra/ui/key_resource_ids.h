// Identifiers of the key dialogs: "Create Key", "Key Details" and the export options inside the
// save dialog.
#pragma once

constexpr int IDD_CREATE_KEY = 1003;
constexpr int IDD_EXPORT_OPTIONS = 1004;

constexpr int IDC_EXPIRES = 1116;
constexpr int IDC_ALGORITHM = 1120;
constexpr int IDC_KEY_LENGTH = 1121;
constexpr int IDC_COMMENT = 1122;
constexpr int IDC_EMAIL = 1124;
constexpr int IDC_NAME = 1125;
constexpr int IDC_PASSPHRASE = 1126;
constexpr int IDC_CALENDAR = 1131;
constexpr int IDC_CONFIRM_PASSPHRASE = 1145;

constexpr int IDC_FORMAT_ASCII = 1134;
constexpr int IDC_FORMAT_BINARY = 1135;
constexpr int IDC_EXPORT_PUBLIC = 1136;
constexpr int IDC_EXPORT_SECRET = 1137;

// The key upkeep dialogs: "Change Expiry" (with the calendar of "Create Key") and
// "Set Owner Trust".
constexpr int IDD_CHANGE_EXPIRY = 1150;
constexpr int IDD_OWNER_TRUST = 1151;
constexpr int IDC_NEVER_EXPIRES = 1152;
constexpr int IDC_TRUST_UNKNOWN = 1153;  // the five choices, in GnuPG's order
constexpr int IDC_TRUST_NONE = 1154;
constexpr int IDC_TRUST_MARGINAL = 1155;
constexpr int IDC_TRUST_FULL = 1156;
constexpr int IDC_TRUST_ULTIMATE = 1157;
constexpr int IDD_KEY_DETAILS = 1149;
constexpr int IDC_DETAILS_FINGERPRINT = 1140;
constexpr int IDC_DETAILS_USER_IDS = 1141;
constexpr int IDC_DETAILS_SUBKEYS = 1142;
constexpr int IDC_DETAILS_OWNER_TRUST = 1143;
constexpr int IDC_COPY_FINGERPRINT = 1144;
constexpr int IDC_DETAILS_SECRET = 1146;
