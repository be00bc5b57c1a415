// Private to platform/gui: the control widgets that need more than stock Qt behaviour.
#pragma once

#include <QLabel>
#include <string>

namespace gui_detail {

// A link: shows its text as a link and reports clicks (NM_CLICK) and Enter (NM_RETURN) with the
// address to its dialog instead of opening anything itself.
class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  LinkLabel(const std::string& text, QWidget* parent);
  void setLinkText(const std::string& text);
  const std::string& url() const { return m_url; }
  const std::string& rawText() const { return m_raw; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void notify(unsigned code);
  std::string m_raw;
  std::string m_url;
};

}  // namespace gui_detail
