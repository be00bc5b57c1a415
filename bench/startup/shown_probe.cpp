// Preloaded into the program a start-up benchmark measures (LD_PRELOAD): prints on standard output
// the moment (bench::Now) the first top-level window is shown with the CPU seconds of the process
// and its ended children by then, and the moment of its first paint; then ends the process. It
// needs no hook in the program: Qt runs the start-up function of any loaded library when the
// application object is made.
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <cstdio>
#include <string_view>

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
// The probe is for the measured program alone (ZEMBRA_BENCH_PROBED): inherited, it would load Qt
// into every gpg and gpgconf that program starts, and charge each a cost no user's run has. A
// wrapper (strace) keeps it for the program it starts.
__attribute__((constructor)) void AdoptAtLoad() {
  bench::AdoptEngineProcesses();
  const char* probed = getenv("ZEMBRA_BENCH_PROBED");
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self);
  if (probed != nullptr && length > 0 && std::string_view(self, length) == probed)
    unsetenv("LD_PRELOAD");
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallProbe)
