// The busy cursor over the whole application while an object of this class lives, for work
// that blocks the window's thread.
#pragma once

class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

 private:
  bool m_shown = false;  // no cursor without a display
};

// True while a busy cursor is shown.
bool IsWaitCursorShown();
