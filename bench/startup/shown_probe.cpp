// Preloaded into the program a start-up benchmark measures (LD_PRELOAD): prints on standard output
// the moment (bench::Now) the first top-level window is shown with the CPU seconds of the process
// and its ended children by then, and the moment of its first paint; then ends the process. It
// needs no hook in the program: Qt runs the start-up function of any loaded library when the
// application object is made.
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <cstdio>

#include "bench/common/measure.h"

namespace {

class FirstPaint : public QObject {
 public:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (!object->isWidgetType() || !static_cast<QWidget*>(object)->isWindow()) return false;
    if (event->type() == QEvent::Show && m_shown == 0) {
      m_shown = bench::Now();
      bench::ReapEngineProcesses();
      m_cpu = bench::CpuSeconds();
    } else if (event->type() == QEvent::Paint && m_shown > 0) {
      std::printf("%.6f %.6f %.6f\n", m_shown, m_cpu, bench::Now());
      std::fflush(stdout);
      _exit(0);
    }
    return false;
  }

 private:
  double m_shown = 0, m_cpu = 0;
};

void InstallProbe() { QCoreApplication::instance()->installEventFilter(new FirstPaint); }

// Before main: the engine's gpg processes must end up as this process's children to be counted.
__attribute__((constructor)) void AdoptAtLoad() { bench::AdoptEngineProcesses(); }

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallProbe)
