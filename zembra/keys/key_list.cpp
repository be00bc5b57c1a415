// Key holders, the usable keys of the key ring, and the texts of the key list's cells.
#include "zembra/keys/key_list.h"

#include <ctime>
#include <utility>

#include "platform/core/format.h"
#include "zembra/engine/check_result.h"
#include "zembra/engine/key_ring_repair.h"

CKeyHandle CKeyHandle::Adopt(gpgme_key_t key) { return CKeyHandle(key); }

CKeyHandle CKeyHandle::Borrow(gpgme_key_t key) {
  if (key) gpgme_key_ref(key);
  return CKeyHandle(key);
}

CKeyHandle& CKeyHandle::operator=(CKeyHandle&& other) noexcept {
  if (this != &other) {
    if (m_key) gpgme_key_unref(m_key);
    m_key = other.m_key;
    other.m_key = nullptr;
  }
  return *this;
}

CKeyHandle::~CKeyHandle() {
  if (m_key) gpgme_key_unref(m_key);
}

CKeyArray::CKeyArray(std::vector<gpgme_key_t> keys) : m_keys(std::move(keys)) {
  // GPGME reads the list up to its null entry; an empty list stays empty so keys() is null.
  if (!m_keys.empty()) m_keys.push_back(nullptr);
}

bool IsUsableKey(gpgme_key_t key) {
  return !key->revoked && !key->expired && !key->disabled && !key->invalid;
}

std::unique_ptr<CKeyHandleArray> ListUsableKeys(gpgme_ctx_t ctx) {
  auto keys = std::make_unique<CKeyHandleArray>();
  CompleteStoppedKeyRingUpdate(ctx);
  if (!CheckResult(gpgme_op_keylist_start(ctx, nullptr, 0))) return keys;
  for (;;) {
    gpgme_key_t key = nullptr;
    gpgme_error_t err = gpgme_op_keylist_next(ctx, &key);
    if (err) {
      // The end of the list ends every listing; anything else cut it short and is said.
      if (gpgme_err_code(err) != GPG_ERR_EOF) CheckResult(err);
      break;
    }
    if (!IsUsableKey(key)) {
      gpgme_key_unref(key);
      continue;
    }
    keys->push_back(CKeyHandle::Adopt(key));
  }
  CheckResult(gpgme_op_keylist_end(ctx));
  return keys;
}

std::string FormatDate(std::int64_t time) {
  std::time_t t = static_cast<std::time_t>(time);
  std::tm parts{};
  if (!gmtime_r(&t, &parts)) return std::string();
  return FormatText("%4d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
}

const char* ValidityName(int validity) {
  static const char* const names[] = {"Unknown",  "Undefined", "Never",
                                      "Marginal", "Full",      "Ultimate"};
  if (validity < 0 || validity > 5) return names[0];
  return names[validity];
}
