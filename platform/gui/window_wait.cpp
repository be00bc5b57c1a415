#include "platform/gui/window_wait.h"

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <memory>

#include "platform/core/background_call.h"

namespace {

// Between two rounds of a busy transfer the window waits at most this long for its events.
constexpr auto kServeInterval = std::chrono::milliseconds(10);

bool AnyHappened(const std::vector<DescriptorWait>& waits) {
  return std::any_of(waits.begin(), waits.end(),
                     [](const DescriptorWait& w) { return w.happened; });
}

bool ServesWindows() {
  const QCoreApplication* app = QCoreApplication::instance();
  return qobject_cast<const QApplication*>(app) != nullptr &&
         app->thread() == QThread::currentThread();
}

}  // namespace

void WindowServingWait::Interrupt() {
  m_interrupted = true;
  if (m_loop != nullptr) m_loop->quit();
}

int WindowServingWait::Wait(std::vector<DescriptorWait>& waits) {
  m_interrupted = false;
  if (!ServesWindows()) return WaitForDescriptors(waits);
  // Readiness is always read from the descriptors themselves, so that an error, a hang-up or a
  // closed descriptor is reported exactly as the blocking wait reports it.
  if (const int error = WaitForDescriptors(waits, 0)) return error;
  if (AnyHappened(waits)) {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_served >= kServeInterval) {
      QCoreApplication::processEvents();
      m_served = std::chrono::steady_clock::now();
    }
    return 0;
  }
  for (;;) {
    {
      QEventLoop loop;
      std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
      notifiers.reserve(waits.size());
      for (const DescriptorWait& w : waits) {
        // A read notifier also wakes on a hang-up or an error, a write notifier on an error.
        notifiers.push_back(std::make_unique<QSocketNotifier>(
            w.fd, w.forWriting ? QSocketNotifier::Write : QSocketNotifier::Read));
        QObject::connect(notifiers.back().get(), &QSocketNotifier::activated, &loop,
                         &QEventLoop::quit);
      }
      m_loop = &loop;
      loop.exec();
      m_loop = nullptr;
    }
    m_served = std::chrono::steady_clock::now();
    if (m_interrupted) {
      for (DescriptorWait& w : waits) w.happened = w.invalid = false;
      return 0;
    }
    if (const int error = WaitForDescriptors(waits, 0)) return error;
    if (AnyHappened(waits)) return 0;
  }
}

void RunServingWindows(const std::function<void()>& call) {
  if (!ServesWindows()) {
    call();
    return;
  }
  BackgroundCall background(call);
  if (background.fd() < 0) return;
  WindowServingWait wait;
  std::vector<DescriptorWait> waits;
  for (;;) {
    waits.assign(1, DescriptorWait{background.fd(), false});
    if (wait.Wait(waits) != 0 || waits[0].happened) break;
  }
}
