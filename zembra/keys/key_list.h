// The keys of the key ring as the product holds them: owning handles, and the borrowed,
// null-terminated key lists that operations pass to the engine.
#pragma once

#include <gpgme.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Holds one GPGME key and owns one reference to it (or none: a null handle).
class CKeyHandle {
 public:
  CKeyHandle() = default;
  // Takes over the reference the engine handed out with the key (gpgme_op_keylist_next,
  // gpgme_get_key).
  static CKeyHandle Adopt(gpgme_key_t key);
  // Takes a reference of its own to a key another holder owns.
  static CKeyHandle Borrow(gpgme_key_t key);

  CKeyHandle(CKeyHandle&& other) noexcept : m_key(other.m_key) { other.m_key = nullptr; }
  CKeyHandle& operator=(CKeyHandle&& other) noexcept;
  CKeyHandle(const CKeyHandle&) = delete;
  CKeyHandle& operator=(const CKeyHandle&) = delete;
  ~CKeyHandle();

  gpgme_key_t get() const { return m_key; }
  explicit operator bool() const { return m_key != nullptr; }

 private:
  explicit CKeyHandle(gpgme_key_t key) : m_key(key) {}
  gpgme_key_t m_key = nullptr;
};

using CKeyHandleArray = std::vector<CKeyHandle>;

// The keys an operation acts on. It holds no references: the keys are borrowed from the listed
// keys or the default keys, so it is used within the handler that obtained it.
class CKeyArray {
 public:
  CKeyArray() = default;
  explicit CKeyArray(std::vector<gpgme_key_t> keys);  // without the terminating null
  CKeyArray(CKeyArray&&) noexcept = default;
  CKeyArray& operator=(CKeyArray&&) noexcept = default;
  CKeyArray(const CKeyArray&) = delete;
  CKeyArray& operator=(const CKeyArray&) = delete;

  // Null when there are no keys; otherwise a null-terminated list GPGME accepts.
  gpgme_key_t* keys() { return m_keys.empty() ? nullptr : m_keys.data(); }
  std::size_t count() const { return m_keys.empty() ? 0 : m_keys.size() - 1; }

 private:
  std::vector<gpgme_key_t> m_keys;  // null-terminated when not empty
};

// The usable public keys of the key ring (not revoked, expired, disabled or invalid), in the
// engine's order. A failed listing is logged; the keys gathered so far are returned.
std::unique_ptr<CKeyHandleArray> ListUsableKeys(gpgme_ctx_t ctx);
// Not revoked, expired, disabled or invalid.
bool IsUsableKey(gpgme_key_t key);

// "YYYY-MM-DD" of a time value, broken down as UTC.
std::string FormatDate(std::int64_t time);

// "Unknown", "Undefined", "Never", "Marginal", "Full", "Ultimate"; "Unknown" outside 0 to 5.
const char* ValidityName(int validity);
