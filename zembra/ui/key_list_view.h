// The key list control of the operations window.
#pragma once

#include <gpgme.h>

#include <memory>

#include "platform/gui/win_api.h"
#include "zembra/keys/key_list.h"

// Sets the key list's extended styles (full-row select, grid lines) and inserts its six
// left-aligned columns, "Key ID" to "Name", sized by their shares of the client width less a
// vertical scroll bar; the "Key ID" column is at least KeyIdTextWidth wide (the "Name" column
// gives up the difference).
void InsertKeyListColumns(HWND list);
// The width a cell of the list needs to show a 16-digit key ID whole, margins included.
int KeyIdTextWidth(HWND list);

// Empties the list and fills it with the usable keys of ctx, one row per key; returns the keys,
// which the rows point at (row i shows element i), so they must outlive the rows. A failed
// listing is logged and leaves the list empty.
std::unique_ptr<CKeyHandleArray> FillKeyRows(HWND list, gpgme_ctx_t ctx);
// The rows of keys in place of the list's rows; keys must outlive them.
void ShowKeyRows(HWND list, const CKeyHandleArray& keys);
// Appends a row for key: key ID, creation and expiry dates, validity, owner trust, user id.
void ListKeyRow(HWND list, gpgme_key_t key);
// Shows key in the existing row (its item data and every cell), for a key the ring changed.
void UpdateKeyRow(HWND list, int row, gpgme_key_t key);
// The keys of the selected rows that can encrypt, in row order (listed holds the rows' keys);
// non-empty defaults stand in for the selection. Empty when nothing qualifies.
CKeyArray SelectedKeys(HWND list, const CKeyHandleArray* listed, const CKeyHandleArray* defaults);
